#!/usr/bin/env python3
"""Works out the expected values of the vornix-render tests, independently of
the C++ code. Run it and paste its output into the tests when a case changes.

render_e2e_test.cpp: the stub render (frames, levels, MIDI events and their
tick sums), the key file's frames; files_test.cpp: the two-track file's
frames; plugin_host_test.cpp: the transport script's blocks and positions.
The MIDI file bytes and tick roundings are what a render's file must hold."""
import math


def varlen(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.insert(0, (v & 0x7F) | 0x80)
        v >>= 7
    return out


for v in (0, 127, 128, 16383, 16384, 0x0FFFFFFF):
    print("varlen", v, " ".join("%02X" % b for b in varlen(v)))

# Tiny format-0 file: 480 ticks per beat, 120 BPM, 4/4, then
# (tick, message) in time order; equal ticks keep insertion order.
events = [(0, [0x90, 0x3C, 0x64]), (127, [0x80, 0x3C, 0x00]), (255, [0xC0, 0x05]),
          (255 + 16383, [0x90, 0x3E, 0x7F]), (255 + 16383 + 16384, [0x80, 0x3E, 0x00]),
          (255 + 16383 + 16384, [0x90, 0x40, 0x50])]
tempo = round(60_000_000 / 120)
track = [0x00, 0xFF, 0x51, 0x03, (tempo >> 16) & 0xFF, (tempo >> 8) & 0xFF, tempo & 0xFF]
track += [0x00, 0xFF, 0x58, 0x04, 4, 2, 24, 8]
prev = 0
for tick, msg in events:
    track += varlen(tick - prev) + msg
    prev = tick
track += [0x00, 0xFF, 0x2F, 0x00]
header = list(b"MThd") + [0, 0, 0, 6, 0, 0, 0, 1, 480 >> 8, 480 & 0xFF]
chunk = list(b"MTrk") + list(len(track).to_bytes(4, "big"))
data = header + chunk + track
print("smf bytes", len(data), "track length", len(track))
for i in range(0, len(data), 12):
    print("  " + ", ".join("0x%02X" % b for b in data[i:i + 12]) + ",")

for bpm in (120, 140, 90, 1):
    print("tempo us", bpm, min(round(60_000_000 / bpm), 0xFFFFFF))


def ticks(frame, rate, bpm, tpb=480):
    return math.floor(frame * bpm * tpb / (60 * rate) + 0.5)


for frame, rate, bpm in ((0, 44100, 120), (22, 44100, 120), (23, 44100, 120),
                         (5512, 44100, 120), (22050, 44100, 120), (352800, 44100, 120),
                         (48000, 48000, 140), (1, 48000, 140), (44100 * 3600, 44100, 120)):
    print("ticks", frame, rate, bpm, ticks(frame, rate, bpm))

# Stub instrument: left 1.5 (an over), right -0.25 everywhere.
peak = 1.5
rms = math.sqrt((1.5 ** 2 + 0.25 ** 2) / 2)
print("stub peak dB %.4f rms dB %.4f" % (20 * math.log10(peak), 20 * math.log10(rms)))
# The level meter: constant 0.5 and -0.25, and 0.5 alone.
print("meter peak dB %.4f rms dB %.4f" % (20 * math.log10(0.5), 20 * math.log10(math.sqrt((0.5 ** 2 + 0.25 ** 2) / 2))))
# A full-scale sine has an RMS of 1/sqrt(2): -3.0103 dB.
print("sine rms dB %.4f" % (20 * math.log10(1 / math.sqrt(2))))
# Stub render of 3 bars at 90 BPM, 48 kHz, 512-frame blocks.
frames = round(3 * 4 * 60 * 48000 / 90)
print("stub frames", frames, "blocks", math.ceil(frames / 512))
# Host time info: 150 BPM at 48 kHz advances 256 * 150 / (60 * 48000) beats per 256-frame block.
print("ppq per 256-frame block at 150 BPM, 48 kHz:", 256 * 150 / (60 * 48000), "= 1/75")
print("time info flags first block 0x%04X, later 0x%04X, stopped with change 0x%04X" % (
    0x1 | 0x2 | 0x200 | 0x400 | 0x800 | 0x2000, 0x2 | 0x200 | 0x400 | 0x800 | 0x2000,
    0x1 | 0x200 | 0x400 | 0x800 | 0x2000))

# The MIDI file of that stub render: one note-on per block at the block's
# middle (frame 512k + 256), plus the notes of the stopped tail at the last
# frame: blocks until 1024 frames have passed (two of 512), then one more.
tail_blocks = math.ceil(1024 / 512) + 1
ticks_list = [ticks(512 * k + 256, 48000, 90) for k in range(750)] + [ticks(frames, 48000, 90)] * tail_blocks
print("stub midi events", len(ticks_list), "last tick", ticks_list[-1],
      "tick sum", sum(ticks_list), "note sum", sum(60 + k % 12 for k in range(len(ticks_list))))

# ---- MIDI file reader, transport script and MIDI feed ----
# Tick times under a tempo map: seconds = sum over segments of
# ticks * microseconds per beat / 1e6 / ticks per beat.


def seconds_at(tick, tpb, tempos):
    """tempos: [(tick, us)], sorted, first at tick 0."""
    s, prev_tick, us = 0.0, 0, 500000
    for t, u in tempos:
        if t > tick:
            break
        s += (t - prev_tick) * us / 1e6 / tpb
        prev_tick, us = t, u
    return s + (tick - prev_tick) * us / 1e6 / tpb


# The key file of the end-to-end render: 96 ticks per beat, 120 BPM, then
# 60 BPM from tick 192. Keys: 48 on at 96, off at 192; 55 on at 240, off at 264.
keys_tempos = [(0, 500000), (192, 1000000)]
for tick in (96, 192, 240, 264):
    s = seconds_at(tick, 96, keys_tempos)
    print("keys tick", tick, "seconds", s, "frame", math.floor(s * 44100 + 0.5),
          "block start", math.floor(s * 44100 + 0.5) // 512 * 512)
print("keys: without the tempo change tick 240 would be frame", math.floor(240 / 96 * 0.5 * 44100 + 0.5))

# Format 1 reader case: 480 ticks per beat, tempo track 100 BPM (600000 us)
# then 150 BPM (400000 us) from tick 960.
f1_tempos = [(0, 600000), (960, 400000)]
for tick in (0, 480, 960, 1440, 34208):
    s = seconds_at(tick, 480, f1_tempos)
    print("format1 tick", tick, "seconds %.6f" % s, "frame at 48000", math.floor(s * 48000 + 0.5))

# Transport script against the stub: 120 BPM, 44100 Hz, 4096-frame blocks,
# cues at beats 1 (stop), 1.5 (play@16), 2 (play@4); 2.5 beats rendered.
cue_frames = [round(b * 60 * 44100 / 120) for b in (1, 1.5, 2, 2.5)]
print("cue frames", cue_frames)
starts, pos = [], 0
bounds = cue_frames
while pos < cue_frames[-1]:
    nxt = min([b for b in bounds if b > pos] + [pos + 4096])
    starts.append((pos, nxt - pos))
    pos = nxt
print("blocks (start, frames)", starts)
print("ppq at block 20480:", 20480 / 22050, " 16 + 4096/22050 =", 16 + 4096 / 22050,
      " samplePos at ppq 16:", 16 * 22050, " at ppq 4:", 4 * 22050)
# beatsToFrames: 0.3 beat at 48000 Hz, 140 BPM = 0.3 * 60 * 48000 / 140
print("beats to frames 0.3 @ 48000/140:", 0.3 * 60 * 48000 / 140, "->", math.floor(0.3 * 60 * 48000 / 140 + 0.5))
