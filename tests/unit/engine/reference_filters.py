#!/usr/bin/python3
"""Reference model of the voice's filters and waveshaper, for filters_test.cpp.

Written from the routines' equations, without looking at the C++ code,
in plain double precision (the C++ code keeps its state in 80-bit extended
precision, so the two agree to within the double rounding accumulated over a
run, not bit for bit). Single-precision literals are rounded through float32
the way the C++ compiler rounds an 'f' literal; constants written with more
digits stay double.

Run:  /usr/bin/python3 tests/unit/engine/reference_filters.py
and paste the printed values at the test's kPick into filters_test.cpp.
"""
import math

import numpy as np


def f32(v):
    """Value of a single-precision literal."""
    return float(np.float32(v))


# Resonance shaping curve: four nested quarter-sine bends of i / 64.
def fun_tab1():
    s = lambda u: math.sin(1.5707963265 * u)
    return [s(s(s(s(i / 64.0)))) for i in range(65)]


FUN_TAB1 = fun_tab1()


def fir_lp(state, a, x):
    state[0] = state[0] + (x - state[0]) * a
    return state[0]


def iir_high(state, a, x):
    """Three one-pole low-passes, each output subtracted from its input."""
    h = x
    for j in range(3):
        state[j] = state[j] + (h - state[j]) * a
        h = h - state[j]
    return min(1.0, max(-1.0, h))


def lp3(state, c, r, x, f, sr):
    """Resonant low-pass step. state = [y, v, m]."""
    q = 44100.0 / sr
    if q > f32(1.2):
        q = 1.0
    if c < f32(0.01):
        c, j, weight, low = f32(0.01), 0, f32(0.64), True
    elif c > f32(0.7):
        c, j, weight, low = f32(0.7), 44, f32(0.79999924), False
    else:
        low = c < f32(0.05)
        x64 = 64.0 * c
        j = int(math.trunc(x64))
        weight = x64 - j
    r = min(1.0, max(0.0, r))
    w = f / sr
    t = FUN_TAB1[j] + weight * (FUN_TAB1[j + 1] - FUN_TAB1[j])
    big_x = f32(1.01) * (t * (f32(0.42) * w + f32(0.023))
                         + r * (f32(0.965) - f32(0.975) * w))
    if low:
        big_x *= (2.0 * c + f32(0.9))
    g = (1.0 - big_x) / q
    h = c * q
    y, v = state[0], state[1]
    v = v + (x - g * q * v - y) * h
    y = y + h * v
    for _ in range(3):
        v = v - g * q * v * h
        y = y + h * v
    m = -g * v
    v = v + m * h
    y = y + h * v
    state[0], state[1], state[2] = y, v, m
    return y


K0 = 2.42262961841169
K1 = 2.39304178773957
K2 = 0.88080249764587
K3 = 0.940350192593669
K4 = 2.36431790907668
K5 = 0.876604976262445
K6 = 2.39707251423435


def dist(x):
    a = abs(x)
    x2 = x * x
    return x * (K1 + K0 * a + (K3 + K2 * a) * x2) / (a * (1.0 + K5 * a) * (x2 + K4) + K6)


# ---------------------------------------------------------------------------
# Input sequences, described in words in the test too.
def impulse(n):
    return [1.0] + [0.0] * (n - 1)


def step(n, height):
    return [height] * n


def saw(n, period):
    # falling ramp 1 .. 0 with the given period in samples, centred on 0
    return [0.5 - (i % period) / period for i in range(n)]


def sine(n, cycles_per_sample, amp):
    return [amp * math.sin(2.0 * math.pi * cycles_per_sample * i) for i in range(n)]


N = 256
PICK = [0, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233, 255]

# name, c, r, input, f, sr
LP3_CASES = [
    ("MidCutoffImpulse", 0.2, 0.5, impulse(N), 440.0, 44100.0),
    ("LowClampStep", 0.005, 1.3, step(N, 0.5), 110.0, 44100.0),
    ("HighClampSaw96k", 0.9, -0.2, saw(N, 37), 880.0 * 44100.0 / 96000.0, 96000.0),
    ("LowFlagSine22k", 0.03, 0.8, sine(N, 0.01, 0.7), 440.0 * 2.0, 22050.0),
    ("RateFactor40k", 0.45, 0.95, saw(N, 91), 220.0 * 44100.0 / 40000.0, 40000.0),
    ("FullResonanceRing", 0.7, 1.0, impulse(N), 0.0, 44100.0),
    ("LowFlagEdge48k", 0.045, 0.3, step(N, 0.25), 261.626 * 44100.0 / 48000.0, 48000.0),
]


def fmt(vals):
    return ", ".join("%.17g" % v for v in vals)


def main():
    print("// funTab1 as used by the model, entries 0..64 every 8:")
    print("//", fmt(FUN_TAB1[::8]))
    print("constexpr int kPick[] = {%s};" % ", ".join(str(i) for i in PICK))
    final_m = []
    for name, c, r, xs, f, sr in LP3_CASES:
        st = [0.0, 0.0, 0.0]
        ys = [lp3(st, c, r, x, f, sr) for x in xs]
        print("// %s: c=%r r=%r f=%r sr=%r" % (name, c, r, f, sr))
        print("constexpr double k%s[] = {%s};" % (name, fmt([ys[i] for i in PICK])))
        final_m.append(st[2])
    print("constexpr double kFinalM[] = {%s};" % fmt(final_m))

    # High-pass: step of 0.5 at the voice's corner, and a fast corner with
    # an alternating +-0.8 input.
    st = [0.0, 0.0, 0.0]
    hp1 = [iir_high(st, f32(0.0068027), 0.5) for _ in range(N)]
    print("constexpr double kHighStep[] = {%s};" % fmt([hp1[i] for i in PICK]))
    st = [0.0, 0.0, 0.0]
    hp2 = [iir_high(st, 0.3, 0.8 if i % 2 == 0 else -0.8) for i in range(N)]
    print("constexpr double kHighAlt[] = {%s};" % fmt([hp2[i] for i in PICK]))
    st = [0.0, 0.0, 0.0]
    hp3 = [iir_high(st, 0.05, 3.0) for _ in range(4)]
    print("// step of 3 through a=0.05: %s" % fmt(hp3))

    st = [0.0]
    lp = [fir_lp(st, 0.25, x) for x in [1.0, 1.0, 1.0, 0.0, -2.0]]
    print("// FIRlp a=0.25 on 1,1,1,0,-2: %s" % fmt(lp))

    xs = [0.0, 0.1, 0.5, 1.0, 2.0, 4.0, 10.0, 1e6, -0.5, -3.0]
    print("constexpr double kDistIn[] = {%s};" % fmt(xs))
    print("constexpr double kDistOut[] = {%s};" % fmt([dist(x) for x in xs]))


def ring_report():
    """How long an impulse rings at the top cutoff with and without resonance."""
    for r in (1.0, 0.0):
        st = [0.0, 0.0, 0.0]
        ys = [lp3(st, 0.7, r, x, 0.0, 44100.0) for x in impulse(3000)]
        print("// ring r=%g: max|y| over 2000..2999 = %.6g" % (r, max(abs(y) for y in ys[2000:])))


def worst_case_gain():
    """Largest output for a full-scale sine anywhere in the band at the most
    resonant settings, over several rates (for the bounded-output test)."""
    worst = 0.0
    for sr in (22050.0, 44100.0, 96000.0, 192000.0):
        for c in (0.01, 0.05, 0.2, 0.45, 0.7):
            for cyc in [0.001 * 1.25 ** k for k in range(30)]:
                if cyc >= 0.5:
                    continue
                st = [0.0, 0.0, 0.0]
                for i in range(4000):
                    y = lp3(st, c, 1.0, math.sin(2 * math.pi * cyc * i), 0.0, sr)
                    worst = max(worst, abs(y))
    print("// worst |y| for a unit sine at r=1: %.6g" % worst)


if __name__ == "__main__":
    main()
    ring_report()
    worst_case_gain()
