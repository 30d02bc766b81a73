#!/usr/bin/env python3
"""Expected values for oversampler_test.cpp.

Run it with plain Python 3 (no third-party modules) and paste its output into
the tests. Everything here is worked out from first principles, apart from the
coefficient tables below, which are the published figures of the two designs
the oversampler uses (copied, not computed):

1. The elliptic half-band design procedure, written out afresh: selectivity
   factor and nome from the transition width, order from the attenuation,
   coefficients from the theta series.
2. Magnitude responses from the coefficient tables, by evaluating the
   all-pass branches on the unit circle: the half-band low-pass running at
   rate R is H(z) = (A(z^2) + z^-1 B(z^2)) / 2 with A the product of
   (a + z^-2) / (1 + a z^-2) over the even-indexed coefficients and B over the
   odd-indexed ones. The coefficients are rounded to single precision first,
   as the stages store them.
"""
import cmath
import math
import struct

COEFS_8 = [0.0771150798, 0.265968527, 0.482070625, 0.665104153,
           0.796820471, 0.884101509, 0.941251428, 0.982005414]
COEFS_3 = [0.0814300232, 0.315659840, 0.709770800]


def to_float(x):
    return struct.unpack('f', struct.pack('f', x))[0]


# --- 1. The design procedure ------------------------------------------------

def transition_param(tb):
    k = math.tan((1 - 2 * tb) * math.pi / 4) ** 2
    kk = (1 - k * k) ** 0.25
    e = 0.5 * (1 - kk) / (1 + kk)
    q = e * (1 + e ** 4 * (2 + e ** 4 * (15 + 150 * e ** 4)))
    return k, q


def order_of(att, q):
    p = 10 ** (-att / 10)
    a = p / (1 - p)
    raw = math.ceil(math.log(a * a / 16) / math.log(q))
    order = raw + 1 if raw % 2 == 0 else raw
    return max(order, 3), raw


def theta_sum(term):
    total, j = 0.0, 0
    while True:
        t = term(j)
        total += t
        j += 1
        if abs(t) <= 1e-100:
            return total


def coef_of(i, k, q, order):
    c = i + 1
    num = q ** 0.25 * theta_sum(
        lambda j: (-1) ** j * q ** (j * (j + 1)) * math.sin((2 * j + 1) * c * math.pi / order))
    den = 0.5 + theta_sum(
        lambda j: (-1) ** (j + 1) * q ** ((j + 1) ** 2) * math.cos(2 * (j + 1) * c * math.pi / order))
    w2 = (num / den) ** 2
    x = math.sqrt((1 - w2 * k) * (1 - w2 / k)) / (1 + w2)
    return (1 - x) / (1 + x)


# --- 2. Responses -----------------------------------------------------------

def half_band(coefs, f):
    """|H| of the half-band low-pass at f, a fraction of the rate it runs at."""
    z2 = cmath.exp(-2j * 2 * math.pi * f)
    a_br, b_br = 1, 1
    for i, a in enumerate(coefs):
        s = (a + z2) / (1 + a * z2)
        if i % 2 == 0:
            a_br *= s
        else:
            b_br *= s
    return abs(0.5 * (a_br + cmath.exp(-2j * math.pi * f) * b_br))


C8 = [to_float(c) for c in COEFS_8]
C3 = [to_float(c) for c in COEFS_3]


def h1(f):  # f in units of the base rate fs; the first stage runs at 2 fs
    return half_band(C8, f / 2)


def h2(f):  # the second stage runs at 4 fs
    return half_band(C3, f / 4)


def db(x):
    return 20 * math.log10(x) if x > 0 else -400.0


def main():
    print('// Designer: k, q, order and raw (before the odd/minimum fix) per design.')
    for att, tb in [(69, 0.01), (69, 0.2), (100, 0.05), (40, 0.1), (96, 0.002),
                    (20, 0.3), (1, 0.4)]:
        k, q = transition_param(tb)
        order, raw = order_of(att, q)
        print(f'// att {att}, tb {tb}: k {k:.17g} q {q:.17g} raw {raw} order {order} '
              f'nbr_coefs {(order - 1) // 2}')
    for att, tb in [(69, 0.01), (69, 0.2), (100, 0.05)]:
        k, q = transition_param(tb)
        order, _ = order_of(att, q)
        coefs = ', '.join(f'{coef_of(i, k, q, order):.17g}' for i in range((order - 1) // 2))
        print(f'// coefs ({att}, {tb}): {coefs}')

    print()
    print('// Upsampler4x, host sine at f (units of fs): level of the fundamental at f')
    print('// and of the images at fs - f, fs + f and 2 fs - f, dB re the input.')
    for k in [20, 200, 500, 800, 900, 950, 980, 990]:
        f = k / 2000
        fund = h1(f) * h2(f)
        im1 = h1(1 - f) * h2(1 - f)
        im2 = h1(1 - f) * h2(1 + f)
        im3 = h1(f) * h2(2 - f)
        print(f'{{{k}, {db(fund):.4f}, {db(im1):.4f}, {db(im2):.4f}, {db(im3):.4f}}},')

    print()
    print('// Downsampler4x, 4x-rate sine at F (units of fs, F = m / 2000): output')
    print('// frequency bin (of 2000 per fs) and level, dB re the input.')
    for m in [20, 500, 980, 990, 1010, 1020, 1200, 1600, 2000, 2400, 2800, 2980,
              3020, 3400, 3800, 3980]:
        f = m / 2000
        f2 = f if f <= 1 else 2 - f   # after halving to 2 fs
        f3 = f2 if f2 <= 0.5 else 1 - f2  # after halving to fs
        level = h2(f) * h1(f2)
        print(f'{{{m}, {round(f3 * 2000)}, {db(level):.4f}}},')

    print()
    print('// Round trip gain for a host sine at f = k / 2000 fs, dB (images folding')
    print('// back onto f stay below -138 dB up to 0.49 fs and are left out).')
    for k in [20, 200, 500, 800, 900, 980]:
        f = k / 2000
        print(f'{{{k}, {db((h1(f) * h2(f)) ** 2):.7f}}},')

    print()
    worst1 = max(h1(0.51 + 0.98 * i / 4000) for i in range(4001))
    worst2 = max(h2(1.4 + 1.2 * i / 4000) for i in range(4001))
    print(f'// worst stopband: first stage {db(worst1):.3f} dB (0.51..1.49 fs), '
          f'second stage {db(worst2):.3f} dB (1.4..2.6 fs)')
    # Group delay at low frequency of one up or down pass, in base samples,
    # without the block evaluation's extra 1.5 samples.
    df = 1e-6
    def phase(f):
        z = cmath.exp(-2j * math.pi * f / 2)
        ph = 0
        for coefs, rate in [(C8, 2), (C3, 4)]:
            zz = cmath.exp(-2j * 2 * math.pi * f / rate)
            a_br, b_br = 1, 1
            for i, a in enumerate(coefs):
                s = (a + zz) / (1 + a * zz)
                if i % 2 == 0:
                    a_br *= s
                else:
                    b_br *= s
            ph += cmath.phase(0.5 * (a_br + cmath.exp(-2j * math.pi * f / rate) * b_br))
        return ph
    gd = -(phase(df) - phase(0)) / (2 * math.pi * df)
    print(f'// group delay near DC of one 4x pass: {gd:.3f} base samples')


if __name__ == '__main__':
    main()
