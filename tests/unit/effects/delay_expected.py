#!/usr/bin/env python3
"""Works out the constants that delay_test.cpp checks against.

Run it and paste the printed values into the test when a formula changes.
Only the rules of the echo are used here (lengths from beats, filter
coefficient formulas, the glide speeds), never the C++ code.
"""
import math
import struct


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


LINE = 131072
MAX_LEN = LINE - 1
MIN_LEN = 176


def spb(tempo, rate):
    return rate * 60.0 / tempo


def clamp_len(n):
    return max(MIN_LEN, min(MAX_LEN, n))


FACTORS = [0.125, 0.25, 0.375, 0.5, 0.75, 1.0, 1.5, 2.0]

print("// Synced lengths at 120 BPM / 44100 Hz, k = 0..7")
print([clamp_len(math.trunc(fa * spb(120, 44100))) for fa in FACTORS])
print("// Synced 1.0 at 40 BPM:", clamp_len(math.trunc(2.0 * spb(40, 44100))),
      "(uncut", math.trunc(2.0 * spb(40, 44100)), ")")
print("// Free 0.5 at 40 BPM:", clamp_len(math.trunc(2 * f32(0.5) * spb(40, 44100))))
print("// Free 0.3 at 120 BPM:", clamp_len(math.trunc(2 * f32(0.3) * spb(120, 44100))))
print("// Synced 0.5 at 120 BPM / 48000 Hz:", clamp_len(math.trunc(0.5 * spb(120, 48000))))
print("// Synced 0.5 at 97 BPM / 44100 Hz:", clamp_len(math.trunc(0.5 * spb(97, 44100))))

# Tone control.
def lp(f, res=0.1):
    q = 1 - f
    p = f + 0.8 * f * q
    k = 2 * p - 1
    r = (1 + 0.5 * q * (1 - q + 5.6 * q * q)) * f32(res * 0.89)
    return p, k, r

for t in (0.25, 0.05):
    c = max(0.1, t)
    f = c * c
    p, k, r = lp(f)
    print(f"// Dly filt {t}: cutoff {f:.9g} p {p:.9g} k {k:.9g} r {r:.9g} DC gain {1/(1+r):.9g}")

for t in (0.75, 1.0):
    print(f"// Dly filt {t}: hp coefficient {0.051 * (2 * t - 1) + 0.0068027:.9g}")

# Three one-pole high-pass sections, coefficient a, fed with an impulse of
# height h: the first outputs.
def hp_impulse(a, h, n):
    s = [0.0, 0.0, 0.0]
    out = []
    for i in range(n):
        x = h if i == 0 else 0.0
        for j in range(3):
            s[j] += (x - s[j]) * a
            x = x - s[j]
        out.append(max(-1.0, min(1.0, x)))
    return out

a = f32(0.0323027)
print("// High-pass impulse response (a = 0.0323027, h = 0.5):",
      [f"{v:.9g}" for v in hp_impulse(a, 0.5, 4)])
print("// High-pass impulse response (a = 0.0323027, h = 5.0):",
      [f"{v:.9g}" for v in hp_impulse(a, 5.0, 2)])

# Glides. The line runs settled at L1; an impulse is written at output 0;
# the time is changed to L2 just before output T. Read j after the change
# reads the sample written at T - L1 + floor(speed * j) while the heads
# have not met; the new read index reads T + j - L2.
def glide(L1, L2, T):
    speed = 1.5 if L2 < L1 else 0.5
    hits = []
    j = 0
    while True:
        pos = T - L1 + math.floor(speed * j)
        idx = T + j - L2
        still = (idx < pos) if speed < 1 else (idx > pos)
        if pos == 0:
            hits.append(T + j)
        if not still:
            return hits, j  # j: the read at which the heads meet
        j += 1

for L1, L2, T in ((11025, 22050, 1000), (22050, 11025, 1001), (22050, 11025, 1000)):
    hits, meet = glide(L1, L2, T)
    print(f"// glide {L1} -> {L2}, change before output {T}: impulse at {hits}, "
          f"heads meet at read {meet} after the change (output {T + meet})")

# Ping-pong fade: 50 / 44100 per sample, from 1 at the flip.
step = f32(50.0 / 44100)
g = 1.0
gs = {}
for m in range(0, 900):
    gs[m] = g
    g = max(0.0, f32(g - step))
print("// ping fade after 0, 1, 100, 441, 881, 882 samples:",
      [f"{gs[m]:.9g}" for m in (0, 1, 100, 441, 881, 882)])
