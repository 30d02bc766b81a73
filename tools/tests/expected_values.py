#!/usr/bin/env python3
"""Works out the expected values used by the tools tests, independently of the
C++ code. Run it and paste its output into the tests when a case changes."""
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

# Stub instrument: left 0.5, right -0.25 everywhere.
peak = 0.5
rms = math.sqrt((0.5 ** 2 + 0.25 ** 2) / 2)
print("stub peak dB %.4f rms dB %.4f" % (20 * math.log10(peak), 20 * math.log10(rms)))
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
# middle (frame 512k + 256), plus the stop block's note at the last frame.
ticks_list = [ticks(512 * k + 256, 48000, 90) for k in range(750)] + [ticks(frames, 48000, 90)]
print("stub midi events", len(ticks_list), "last tick", ticks_list[-1],
      "tick sum", sum(ticks_list), "note sum", sum(60 + k % 12 for k in range(751)))
