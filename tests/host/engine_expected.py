#!/usr/bin/env python3
"""Expected numbers for the host tests of the sequencer and the voice
(sequencer_test.cpp, keyboard_test.cpp, engine_fingerprint_test.cpp).

Worked out from the rules of the step clock, the gate and the pattern-change
grid, independently of the instrument's code. Run it and paste the printed
constants into the tests when a rule changes.
"""
import math
import struct


def f32(x):
    return struct.unpack('f', struct.pack('f', x))[0]


def trunc_div(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def gate_release(rate, bpm, gate, accent):
    """Samples from a step's note-on to its gate's note-off, or None when the
    gate stays open through the whole step."""
    spb = rate * 60.0 / bpm
    S = int(spb / 4)                       # samples per step, truncated
    G = trunc_div(trunc_div(int(spb), 4) * 2, 5)
    offset = int(-(2.0 * gate - 1.0) * G)  # trunc toward zero
    # S * 0.5263158 in single precision, as the literal is a float.
    T = offset + f32(S * f32(0.5263158)) * (1.0 - 0.25 * accent)
    # samplesInStep counts 0, 1, ... from the step's first sample; the gate
    # closes at the first j with T > S - j.
    for j in range(0, S + 2):
        if T > S - j:
            return j, S, G, offset, T
    return None, S, G, offset, T


print('// gate release offsets: (rate, bpm, gate, accent) -> samples after the note-on')
for bpm in (120.0, 133.0):
    for gate in (0.0, 0.25, 0.5, 1.0):
        for accent in (0, 1):
            j, S, G, off, T = gate_release(44100.0, bpm, gate, accent)
            print(f'bpm {bpm} gate {gate} accent {accent}: S={S} G={G} offset={off} '
                  f'T={T:.4f} release={j}')

print()
print('// step starts at 120 BPM, 44100 Hz (position >= k/4 beat, 22050 samples per beat)')
print([k * 5512.5 for k in range(17)])

print()
print('// pattern-change grid at 120 BPM, 44100 Hz')
spb = 22050.0
for mode, quantum in ((1, 0.25), (2, 1.0), (3, 4.0)):
    P = int(spb * quantum)
    print(f'mode {mode}: every {P} samples; first multiple after 10240: '
          f'{math.ceil(10240 / P) * P}')
for n in (12, 16):
    print(f'AUTO, {n} steps: every {int(n * spb / 4)} samples')

print()
print('// fundamentals (a quarter of the table frequency) and periods at 44100 Hz')
for key in (40, 43, 45, 47, 48, 49, 51, 52, 60):
    entry = key - 35
    f = round(440.0 * 2 ** ((entry - 22) / 12.0), 3) / 4
    print(f'key {key}: entry {entry} {f:.3f} Hz, period {44100 / f:.1f}')

print()
print('// 16000 Hz: the engine renders ceil(512 * 44100 / 16000) samples per block')
ratio = 44100 / 16000
count = math.ceil(512 * ratio)
print('ratio', ratio, 'count', count)
for k in range(16):
    t = math.ceil(k * 5512.5)
    print(f'step {k}: engine sample {t} -> block {t // count}, '
          f'offset {(t % count) / ratio:.1f}')
