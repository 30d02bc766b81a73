#!/usr/bin/env python3
"""Expected values for the table player's tests, worked out from the
formulas alone (no project code). Run with python3; the output is pasted into
the *_test.cpp files beside this script."""
import cmath
import math

# The pyramid's 81-tap low-pass, centre and right half h0..h40.
H = [0.4900273874, 0.3176382757, 0.009908930771, -0.1041018935, -0.009719550593,
     0.06037160312, 0.009411374397, -0.04095867041, -0.008993687303, 0.02971806374,
     0.008479591244, -0.02225965965, -0.007884756779, 0.01690351872, 0.007226610031,
     -0.01286996135, -0.006524811739, 0.009746961422, 0.00579846115, -0.007294029088,
     -0.005067457982, 0.005358361364, 0.004347045423, -0.003838234309, -0.003657747155,
     0.002655276516, 0.003009892088, -0.001750193532, -0.00241732264, 0.001076466716,
     0.001886374043, -0.0005903598292, -0.001427331739, 0.0002618629784, 0.001043007134,
     -5.638448426e-05, -0.0007641618462, -5.20770713e-05, 0.0007321838627, 0.000652681315,
     0.0001991612514]
dc = H[0] + 2 * sum(H[1:])
print(f"mip-map DC gain              {dc:.10f}")
# Level 1 of a constant 1 at n = -1: taps reaching level-0 samples >= 0
# are those at 2n + i >= 0, i = 2..40.
print(f"level 1 at n=-1 (DC source)  {sum(H[2:]):.10f}")
print(f"level 1 at n=-20             {H[40]:.10f}")


def mip_gain(f):
    return abs(H[0] + sum(2 * H[i] * math.cos(2 * math.pi * f * i) for i in range(1, 41)))


for f in (0.1, 0.2, 0.35):
    print(f"mip-map |H({f})|            {mip_gain(f):.10f}")
f3 = next(i / 100000 for i in range(20000, 30000) if mip_gain(i / 100000) < 10 ** (-3 / 20))
print(f"mip-map -3 dB at             {f3}")

# Decimator: 2x-rate response B(z^2) + z A(z^2), DC gain 2.
C = [0.0457281, 0.168088, 0.332501, 0.504486, 0.663202, 0.803781, 0.933856]


def allpass(cs, z):
    r = 1
    for c in cs:
        r *= (c + 1 / z) / (1 + c / z)
    return r


def dec_gain(f):
    z = cmath.exp(2j * math.pi * f)
    return abs(allpass(C[1::2], z * z) + z * allpass(C[0::2], z * z))


for f in (0.05, 0.2, 0.24, 0.245, 0.25, 0.28, 0.3, 0.4):
    print(f"decimator gain at {f:<5}       {dec_gain(f):.10g}  ({20*math.log10(dec_gain(f)/2):.3f} dB re 2)")

# Pitch of a note: trunc(log2((f / 4) / (sr / 1024)) * 65536 + (2t - 1) * 65536)
for freq, tuning, sr in ((523.2511306011972, 0.5, 44100), (130.8127826502993, 0.0, 44100),
                         (130.8127826502993, 0.5, 96000), (2093.004522404789, 1.0, 22050)):
    p = math.log2((freq * 0.25) / (sr / 1024)) * 65536 + (2 * tuning - 1) * 65536
    print(f"pitch f={freq:.4f} t={tuning} sr={sr}: {int(p)}")

# Step of a head: floor(2^(frac/65536) * 2^31) shifted by oct - level (+1 if normal).
for pitch, level, ovr in ((0, 0, True), (32768, 0, True), (65536 + 32768, 1, True),
                          (-32768, 0, False), (-65536, 0, False), (-98304, 0, False),
                          (-3 * 65536 + 16384, 0, False)):
    oct_, frac = pitch >> 16, pitch & 0xFFFF
    base = math.floor(2 ** (frac / 65536) * 2 ** 31)
    shift = oct_ - level + (0 if ovr else 1)
    step = base << shift if shift >= 0 else base >> -shift
    print(f"step pitch={pitch} level={level} ovr={ovr}: {step}")
