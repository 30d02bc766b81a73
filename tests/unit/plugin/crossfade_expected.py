#!/usr/bin/env python3
"""Expected output-volume smoother values for crossfade_test.cpp.

The output stage multiplies every sample by a one-pole smoother that is
stepped once for the left and once for the right sample of each frame:
    a = float(exp(-6.2831855 / (0.001 * 4 * 44100))),  b = float(1 - a)
    z = float(float(x * b) + float(z * a))
Products of two floats are exact in double, so rounding each product and
the sum to single precision reproduces float arithmetic step by step.

Prints the state the smoother settles at with the target 1.0 (the default
"Volume"), the first values after the target drops to 0.5, and the state
it settles at then.
"""
import math
import struct


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


a = f32(math.exp(-6.2831855 / 176.4))
b = f32(1.0 - a)


def step(z, x):
    return f32(f32(x * b) + f32(z * a))


z = 0.0
for _ in range(100000):
    z = step(z, 1.0)
settled = z
print("a = %.9g, b = %.9g" % (a, b))
print("settled at target 1.0: %.9g" % settled)

values = []
for _ in range(16):
    z = step(z, 0.5)
    values.append(z)
print("after the target drops to 0.5 (left, right of frames 0..7):")
print(",\n".join("    %.9ef" % v for v in values))
for _ in range(100000):
    z = step(z, 0.5)
print("settled at target 0.5: %.9g" % z)
