#!/usr/bin/python3
"""Expected values of the voice's tables, worked out from the formulas alone
(the note table is checked in voice_test.cpp; the other tables reach the
tests through the voice's reference runs).

Run:  /usr/bin/python3 tests/unit/engine/reference_tables.py
"""
import ctypes
import math
from fractions import Fraction

import numpy as np

# Note table: 440 * 2^((i - 22) / 12) rounded to 1/1000 Hz.
print("// cNoteFreq 1..60")
print(", ".join("%.3f" % (440 * 2 ** ((i - 22) / 12)) for i in range(1, 61)))

# Resonance curve: nested quarter sines of i / 64.
s = lambda u: math.sin(1.5707963265 * u)
ft1 = {i: s(s(s(s(i / 64.0)))) for i in (1, 8, 16, 32, 40, 44, 64)}
print("// funTab1:", ", ".join("[%d]=%.17g" % kv for kv in ft1.items()))

# Powers of two as the nearest single-precision value of the exact power.
for i in (0, 1, 17, 100, 255, 256, 300, 511, 512):
    print("// funTab2[%d] = %.17g" % (i, float(np.float32(2.0 ** (i / 32 - 8)))))

# Smoother: a = exp(-2pi / (0.001 * ms * rate)) in single precision; a
# constant input x reached from z = 0 gives z_n = x (1 - a^n).
for ms, rate in ((4.0, 44100.0), (4.0, 96000.0), (4.0, 22050.0), (10.0, 48000.0)):
    a = float(np.float32(math.exp(-6.2831855 / (0.001 * ms * rate))))
    print("// smoother(%g, %g): a = %.9g" % (ms, rate, a))
a = float(np.float32(math.exp(-6.2831855 / 176.4)))
for n in (1, 10, 176, 1000):
    print("// 4 ms @ 44100, step to 1: z_%d = %.9g" % (n, 1 - a ** n))

# random(n) = trunc(rand() * 2^-31 * n) over glibc's rand() after srand(1);
# exact integer arithmetic stands in for the extended-precision product.
libc = ctypes.CDLL("libc.so.6")
libc.srand(1)
draws = [libc.rand() for _ in range(6)]
print("// glibc rand() after srand(1):", draws)
ns = (100, 15, 12, 2, 7, 1000000)
print("// random(n) for n =", ns, "->",
      [int(Fraction(r * n, 2 ** 31)) for r, n in zip(draws, ns)])
