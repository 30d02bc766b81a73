#!/usr/bin/env python3
"""Works out the constants that distortion_test.cpp checks against.

Run it and paste the printed values into the tests when a rule changes.
Everything here follows the written rules of the four distortion
algorithms (smoothers, ramps, curves, tables), never the C++ code; the
valve in particular uses its four-exponential form, which the C++ code
factors differently.
"""
import math
import struct


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


class Smoother:
    """The one-pole parameter smoother, in single precision."""

    def __init__(self, ms=4.0, rate=44100.0):
        self.a = f32(math.exp(-6.2831855 / (0.001 * ms * rate)))
        self.b = f32(1.0 - self.a)
        self.z = 0.0

    def step(self, x):
        self.z = f32(f32(x * self.b) + f32(self.z * self.a))
        return self.z


# --------------------------------------------------------------------------
# Overdrive

class Overdrive:
    def __init__(self):
        self.drive, self.mix, self.s = 0.0, 1.0, 0.0
        self.sd, self.sm = Smoother(), Smoother()

    def process(self, xs):
        d = self.sd.step(self.drive)
        g = 1.0 + 19.0 * d
        pct = 100.0 * self.sm.step(self.mix)
        w, w2 = 0.01 * pct, 0.0001 * pct * pct
        t = 10.0 ** ((0.0 - 0.5 * g) * 0.05)
        out = []
        for x in xs:
            self_s = 0.999 * self.s + (1.0 - 0.999) * t
            self.s = self_s
            a = abs(w * x)
            q = (g + a) * self.s / (1.0 + (g - 1.0) * a + w2 * x * x)
            out.append(f32(x * (w * q + (1.0 - w))))
        return out


def sine(n, amp, cycles_per_sample, offset=0.0):
    return [f32(amp * math.sin(2.0 * math.pi * cycles_per_sample * i) + offset) for i in range(n)]


print("// Overdrive, fresh, mix 0.5, drive 0: first call on x = 0.5")
od = Overdrive()
od.mix = f32(0.5)
y = od.process([0.5] * 64)
print("// y[0], y[1], y[63]:", repr(y[0]), repr(y[1]), repr(y[63]))

print("// Overdrive golden: drive 0.7, mix 0.5, x = 0.8 sin(2 pi 0.01 n), slices of 64")
od = Overdrive()
od.drive, od.mix = f32(0.7), f32(0.5)
xs = sine(192, 0.8, 0.01)
ys = []
for k in range(3):
    ys += od.process(xs[64 * k:64 * k + 64])
for i in (5, 20, 63, 64, 110, 191):
    print(f"//   y[{i}] = {ys[i]!r}")

print("// Overdrive settled at drive 1, mix 1 (400 slices of silence, then one call):")
od = Overdrive()
od.drive, od.mix = 1.0, 1.0
for k in range(400):
    od.process([0.0] * 64)
print("//  ", ", ".join(repr(v) for v in od.process([f32(1e-4), 1.0, -0.5])))

# --------------------------------------------------------------------------
# Valve

class Valve:
    def __init__(self, rate=44100.0):
        self.drive, self.db = 0.0, 0.0
        self.sd = Smoother(4.0, rate)

    def process(self, xs):
        v = self.sd.step(self.drive)
        g = f32(1.0 - 0.75 * math.log(1.0 + 100.0 * v) / 2.302585092994046 * 0.5)
        level = f32(f32(32.0 * v) + 3.0)
        out = []
        for x in xs:
            self.db = 0.99 * self.db + (1.0 - 0.99) * level
            k = 10.0 ** (self.db * 0.05)
            u, b = k * x, 0.25 / k
            y = f32((math.exp((1.0 - b) * u) - math.exp(-(1.0 + b) * u)) /
                    ((1.0 + b) * (math.exp(u) + math.exp(-u))) * 0.7692307692307692)
            out.append(f32(y * g))
        return out


print("// Valve golden: drive 0.8, x = 0.7 sin(2 pi 0.013 n) - 0.2, slices of 64")
va = Valve()
va.drive = f32(0.8)
xs = sine(192, 0.7, 0.013, -0.2)
ys = []
for k in range(3):
    ys += va.process(xs[64 * k:64 * k + 64])
for i in (0, 7, 63, 64, 120, 191):
    print(f"//   y[{i}] = {ys[i]!r}")
print("// Valve output gain at v = 1:", repr(f32(1.0 - 0.375 * math.log10(101.0))))
print("// Valve smoother a at 4 x 44100 and at 44100, 4 x 48000:",
      repr(Smoother(4.0, 176400.0).a), repr(Smoother(4.0, 44100.0).a), repr(Smoother(4.0, 192000.0).a))

# --------------------------------------------------------------------------
# Cruncher (by hand): k = 1000 drive^3, out = +-t/2 beyond t / k, else x / 2

print("// Cruncher setDrive(1) / setThreshold(1):", repr(f32(0.3 * 1.0 + 0.11)), repr(f32(0.4 * 1.0 + 0.2)))
print("// Cruncher setDrive(0) / setThreshold(0):", repr(f32(0.11)), repr(f32(0.2)))
print("// Cruncher setThreshold(0.9):", repr(f32(0.4 * f32(0.9) + 0.2)),
      " setDrive(0.8):", repr(f32(0.3 * f32(0.8) + 0.11)))

# --------------------------------------------------------------------------
# Clipper12

TABLE_A = [
    0, -0.02970945, -0.06001068, -0.09091578, -0.1224267, -0.1545128, -0.1870433, -0.2195973, -0.2510493, -0.2792692,
    -0.3022299, -0.3197647, -0.333093, -0.3435023, -0.3519095, -0.3589089, -0.3648847, -0.3700921, -0.3747063, -0.3788512,
    -0.3826171, -0.3860716, -0.3892664, -0.3922418, -0.3950299, -0.3976564, -0.4001424, -0.4025053, -0.4047598, -0.4069181,
    -0.4089908, -0.4109868, -0.4129141, -0.4147793, -0.4165886, -0.4183471, -0.4200597, -0.4217304, -0.4233631, -0.4249613,
    -0.426528, -0.428066, -0.4295779, -0.4310663, -0.4325332, -0.4339807, -0.4354108, -0.4368252, -0.4382258, -0.4396141,
    -0.4409917, -0.4423601, -0.4437206, -0.4450748, -0.4464239, -0.4477693, -0.4491123, -0.4504542, -0.4517964, -0.45314,
    -0.4544863, -0.4558369, -0.4571929, -0.4585558, -0.4599269, -0.4613079, -0.4627002, -0.4641055, -0.4655254, -0.4669618,
    -0.4684167, -0.469892, -0.47139, -0.4729131, -0.474464, -0.4760454, -0.4776606, -0.479313, -0.4810065, -0.4827454,
    -0.4845346, -0.4863795, -0.4882865, -0.4902627, -0.4923164, -0.4944575, -0.4966974, -0.4990497, -0.501531, -0.5041612,
    -0.5069654, -0.5099749, -0.51323, -0.516784, -0.5207087, -0.5251053, -0.5301217, -0.535988, -0.5430904, -0.5521558]
_B_COMMON = [
    0.006030151, 0.01809045, 0.03015075, 0.04221106, 0.05427136, 0.06633165, 0.07839196, 0.09045226, 0.1025126, 0.1145729,
    0.1266332, 0.1386935, 0.1507538, 0.1628141, 0.1748744, 0.1869347, 0.198995, 0.2110553, 0.2231156, 0.2351759,
    0.2472362]
TABLE_BP = _B_COMMON + [
    0.2592965, 0.2713568, 0.2834171, 0.2954774, 0.3075377, 0.319598, 0.3316582, 0.3437185, 0.3557788,
    0.367839, 0.3798992, 0.3919593, 0.4040194, 0.4160793, 0.4281391, 0.4401987, 0.4522578, 0.4643163, 0.476374,
    0.4884304, 0.5004849, 0.5125365, 0.5245838, 0.5366247, 0.5486561, 0.5606732, 0.5726692, 0.5846339, 0.5965524,
    0.6084032, 0.6201556, 0.631767, 0.6431798, 0.6543199, 0.6650978, 0.6754143, 0.6851713, 0.6942862, 0.7027048,
    0.710408, 0.7174102, 0.7237514, 0.7294872, 0.7346799, 0.7393917, 0.743681, 0.7476004, 0.7511963, 0.7545087,
    0.7575722, 0.7604163, 0.7630664, 0.7655439, 0.7678678, 0.7700539, 0.7721162, 0.7740667, 0.7759159, 0.7776729,
    0.7793459, 0.780942, 0.7824673, 0.7839276, 0.7853278, 0.7866724, 0.7879654, 0.7892103, 0.7904105, 0.7915689,
    0.7926881, 0.7937707, 0.7948187, 0.7958343, 0.7968193, 0.7977754, 0.7987043, 0.7996073, 0.8004858, 0.8013412]
TABLE_BN = _B_COMMON + [
    0.2592964, 0.2713567, 0.283417, 0.2954772, 0.3075375, 0.3195976, 0.3316577, 0.3437177, 0.3557774,
    0.3678367, 0.3798955, 0.3919533, 0.4040097, 0.4160635, 0.4281133, 0.4401567, 0.4521896, 0.4642057, 0.4761947,
    0.4881403, 0.500017, 0.5117854, 0.5233867, 0.5347366, 0.5457225, 0.5562086, 0.5660515, 0.5751293, 0.5833668,
    0.590749, 0.5973144, 0.6031362, 0.6083028, 0.6129032, 0.6170195, 0.6207235, 0.6240758, 0.6271273, 0.6299204,
    0.6324902, 0.6348656, 0.6370713, 0.6391275, 0.6410516, 0.642858, 0.6445594, 0.6461664, 0.6476883, 0.649133,
    0.6505075, 0.651818, 0.6530699, 0.6542678, 0.6554161, 0.6565184, 0.6575782, 0.6585984, 0.6595819, 0.660531,
    0.661448, 0.6623349, 0.6631935, 0.6640256, 0.6648327, 0.665616, 0.6663771, 0.6671171, 0.667837, 0.6685379,
    0.6692208, 0.6698865, 0.6705359, 0.6711696, 0.6717885, 0.6723933, 0.6729844, 0.6735624, 0.6741281, 0.6746817]
assert len(TABLE_A) == len(TABLE_BP) == len(TABLE_BN) == 100
TABLE_A, TABLE_BP, TABLE_BN = ([f32(v) for v in t] for t in (TABLE_A, TABLE_BP, TABLE_BN))
SCALE, B_MIN = f32(101.97), f32(0.006)


def lookup(table, lo, v):
    i = (v - lo) * SCALE
    k = math.trunc(i)
    if k < 0:
        return table[0]
    if k >= 99:
        return table[99]
    return (1.0 - (i - k)) * table[k] + (i - k) * table[k + 1]


class Clipper:
    def __init__(self, rate=44100, oversample=True):
        self.rate, self.oversample = rate, oversample
        self.drive, self.setting = 0.0, 0.0
        self.sd, self.ss = Smoother(4.0, 44100.0), Smoother(4.0, 44100.0)
        self.hp = [0.0, 0.0, 0.0]
        self.r0 = self.r1 = self.r2 = 0.0
        self.e1 = self.e2 = self.g1 = self.j1 = self.k1 = self.f1 = self.f2 = self.u1 = 0.0

    def pre(self, xs):
        r = 4 * self.rate if self.oversample else self.rate
        ratio = 44100.0 / r
        d = self.sd.step(self.drive)
        gain = max(4.0, f32(d * 100.0 * 0.32))
        w = (f32(0.025) * f32(0.25) + f32(0.001700675)) * ratio
        out = []
        for x in xs:
            h = x
            for j in range(3):
                self.hp[j] += (h - self.hp[j]) * w
                h -= self.hp[j]
            h = f32(min(1.0, max(-1.0, h)))
            y = min(f32(0.8), max(-f32(0.8), f32(h * gain)))
            out.append(f32(y * 0.25))
        return out

    def circuit(self, xs):
        level = f32(0.45 - 0.2 * self.setting)
        p = 10.0 ** (0.05 * f32(32.0 * level - 20.0))
        t1 = f32(0.3 * self.ss.step(self.setting))
        out = []
        for x in xs:
            self.r0 = 0.993 * self.r0 + (1 - 0.993) * 1.0
            a = 3.91923990498812e-05 * self.r0
            big_r = 44100.0 * (3.91923990498812e-05 - a) + 0.0593824228028504
            big_rp = 44100.0 * (a - 3.91923990498812e-05) + 0.0593824228028504
            self.r1 = 0.993 * self.r1 + (1 - 0.993) * t1
            m = 0.75 * self.r1 + 0.5
            e = x - 1.095880362452828 * (-0.14108955456562763 * self.e1 - 0.7697603331553252 * self.e2)
            g = 0.804528311900251 * e + 0.000829239653576842 * self.e1 - 0.804528311900251 * self.e2
            h = 1.095880362452828 * g
            rho = (500000.0 * self.r1 + 5700.0) * 0.0041454
            j = 0.05350095357567101 * ((1 + rho) * g + (1 - rho) * self.g1) + 0.9023598644364358 * self.j1
            d = j - h
            t = lookup(TABLE_A, 0.0, abs(d) / (abs(d) + 3.0))
            tp = -abs(t) if d > 0 else abs(t)
            k = h - tp + 0.9999951753867531 * self.k1
            l = 1.088435160816422 * (0.91874796376781 * k - 0.91874796376781 * self.k1)
            f = l - 1.1846463462940695 * (-1.6874744750945754 * self.f1 + 0.8433408300428958 * self.f2)
            o = (-9.26800656732889e-10 * m * f + 1.85360131346578e-09 * m * self.f1
                 - 9.26800656732889e-10 * m * self.f2)
            q = 2303912060.7361693 * o
            v = lookup(TABLE_BP, B_MIN, abs(q)) if q >= 0 else lookup(TABLE_BN, B_MIN, abs(q))
            vp = -abs(v) if q < 0 else abs(v)
            u = vp - big_rp / big_r * self.u1
            self.r2 = 0.993 * self.r2 + (1 - 0.993) * p
            out.append(f32((self.u1 + u) * self.r2 / big_r * 0.0593824228028504))
            self.e2, self.e1, self.g1, self.j1, self.k1 = self.e1, e, g, j, k
            self.f2, self.f1, self.u1 = self.f1, f, u
        return out

    def process(self, xs):
        return self.circuit(self.pre(xs))


def clip_level(setting):
    level = f32(0.45 - 0.2 * setting)
    return 10.0 ** (0.05 * f32(32.0 * level - 20.0))


offset = abs(lookup(TABLE_BP, B_MIN, 0.0))
print("// Clipper: second element's offset at q = 0:", repr(offset))
for s in (0.0, 0.5, 1.0):
    print(f"// Clipper silence constant at setting {s}: {offset * clip_level(f32(s))!r} (P = {clip_level(f32(s))!r})")

cl = Clipper()
cl.setting = f32(0.5)
ys = []
for k in range(40):
    ys += cl.process([0.0] * 64)
print("// Clipper fade-in, silence, setting 0.5: y[0], y[1], y[10], y[100], y[500], y[2559]")
print("//  ", ", ".join(repr(ys[i]) for i in (0, 1, 10, 100, 500, 2559)))

for drive in (0.0, 0.1, 0.5, 1.0):
    cl = Clipper()
    cl.drive = f32(drive)
    for k in range(400):
        cl.pre([0.0] * 64)
    print(f"// Pre-stage, drive {drive} settled over 400 calls, first sample of a 0.01 step:",
          repr(cl.pre([f32(0.01)])[0]))

print("// Clipper golden: drive 0.6, setting 0.3, x = 0.9 sin(2 pi n / 800), slices of 256")
cl = Clipper()
cl.drive, cl.setting = f32(0.6), f32(0.3)
xs = sine(4096, 0.9, 1.0 / 800.0)
ys = []
for k in range(16):
    ys += cl.process(xs[256 * k:256 * k + 256])
for i in (300, 1000, 2047, 3000, 4095):
    print(f"//   y[{i}] = {ys[i]!r}")

print("// Clipper golden, loud: drive 1, setting 0.9, x = sin(2 pi n / 1600), slices of 256")
cl = Clipper()
cl.drive, cl.setting = 1.0, f32(0.9)
xs = sine(8192, 1.0, 1.0 / 1600.0)
ys = []
for k in range(32):
    ys += cl.process(xs[256 * k:256 * k + 256])
for i in (500, 1000, 1400, 4500, 6000, 8191):
    print(f"//   y[{i}] = {ys[i]!r}")
tail = ys[4096:]
print("//   max, min over the second half:", repr(max(tail)), repr(min(tail)),
      " (P x 0.8013, P x -0.6747:", clip_level(f32(0.9)) * 0.8013412, clip_level(f32(0.9)) * -0.6746817, ")")
