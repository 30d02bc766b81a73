#!/usr/bin/env python3
"""Works out the display texts and read-back values that the host tests expect.

The numbers are derived from the rules of the parameter table alone (the
formatters' truncation rules, the derived sample counts), never from the
plug-in. Each value is computed twice, once with the operands rounded to
single precision as the plug-in stores them and once in double precision;
a case whose text differs between the two, or that lies within a hair of a
truncation boundary, is flagged so the tests can steer clear of it.

Run it and paste the printed constants into the tests:
    python3 tests/host/expected_displays.py
"""
import math
import struct
from decimal import Decimal, getcontext

getcontext().prec = 60


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def f32_bits(x):
    return struct.unpack("<I", struct.pack("<f", x))[0]


def float2string(x):
    """Sign, integer digits and point take 8 characters, the rest are
    fraction digits, truncated. Returns (text, margin) where margin is how
    far (in units of the last digit) the value sits above its truncation."""
    if x > 99999999 or x < -9999999:
        return "Huge!", 1.0
    d = Decimal(x)
    text = "-" if d < 0 else ""
    d = abs(d)
    ip = int(d)
    text += str(ip)
    if len(text) >= 8:
        return text[:8], 1.0
    text += "."
    nfrac = 8 - len(text)
    scaled = (d - ip) * (Decimal(10) ** nfrac)
    digits = int(scaled)
    margin = float(scaled - digits)
    return text + str(digits).rjust(nfrac, "0"), margin


def int2string(n):
    if n > 99999999:
        return "Huge!"
    return ("-" if n < 0 else "") + (str(abs(n)) if n != 0 else "")


def db2string(v):
    if v <= 0:
        return "-oo", 1.0
    return float2string(20 * math.log10(v))


def ms2string(samples, rate):
    return float2string(samples * 1000 / rate)


def safe(label, value, exact=False):
    """Print the text for value (a double). The case is flagged when a
    single-precision computation (a few ulps either way) could truncate to
    a different text, unless the value is exactly representable and the
    computation exact, in which case every path agrees."""
    text, margin = float2string(value)
    # A correctly rounded single-precision result sits within half an ulp;
    # allow one and a half for a log10 or a chain of two operations.
    ulp = abs(value) * 2.0 ** -23 * 1.5
    nudged = {float2string(value - ulp)[0], float2string(value + ulp)[0], float2string(f32(value))[0]}
    ok = exact or nudged == {text}
    flag = "" if ok else "   <-- avoid (precision-sensitive)"
    print(f"  {label:44s} \"{text}\"{flag}")


def gate_offset(v, samples_per_beat):
    d = ((samples_per_beat // 4) * 2) // 5
    return int(-(2 * v - 1) * d)


print("Defaults (float bits):")
for name, v in [("Resonance", 0.919375), ("EnvMod", 0.170625),
                ("Decay", 0.9), ("Accent", 0.304375), ("NB STEP 15/63", 15 / 63),
                ("tempo 120 (80/260)", 80 / 260)]:
    print(f"  {name:40s} 0x{f32_bits(v):08X} = {f32(v)!r}")

print("Volume / Dly vol (dB2string):")
for v in [1.0, 0.5, 0.25, 0.3, 0.0]:
    x = f32(v)
    if x <= 0:
        print(f"  dB2string({v})", '"-oo"')
    else:
        safe(f"dB2string({v})", 20 * math.log10(x), exact=(x == 1.0))

print("Tuning / Resonance (float2string):")
for v in [0.5, 0.0, 0.25, 1.0, 0.125, 0.0625, 0.8125, 2 / 3, 0.919375, 0.123]:
    x = f32(v)
    safe(f"float2string({v})", x, exact=(x == v))

print("int2string(trunc(100 v)):")
for v in [0.0, 0.5, 0.09375, 0.170625, 0.304375, 0.9, 0.123, 1.0, 0.999]:
    x = f32(v)
    exact = int(Decimal(x) * 100)
    single = int(f32(x * 100))
    note = "" if exact == single else "   <-- avoid (float product rounds across)"
    print(f"  int2string(trunc(100*{v})) = \"{int2string(exact)}\"{note}")

print("Gate display at 44100 Hz, 22050 samples per beat, 5512.5 samples per step:")
for v in [0.0, 0.1, 0.25, 0.5, 0.75, 1.0]:
    off = gate_offset(f32(v), 22050)
    samples = int(5512.5) - off
    safe(f"gate {v}: offset {off}, {samples} samples", samples * 1000 / 44100.0,
         exact=(samples * 1000 % 44100 == 0))

print("Gate display after a block at 48000 Hz, 120 BPM (24000 per beat, 6000 per step):")
for v in [0.0, 0.5, 1.0]:
    off = gate_offset(f32(v), 24000)
    samples = 6000 - off
    safe(f"gate {v}: offset {off}", samples * 1000 / 48000.0, exact=(samples * 1000 % 48000 == 0))

print("Gate display after a block at 44100 Hz, 140 BPM:")
spb = 44100 * 60 / 140
sps = spb * 0.25
for v in [0.0, 0.5]:
    off = gate_offset(f32(v), int(spb))
    samples = int(sps) - off
    safe(f"gate {v}: spb {spb} step {sps} offset {off}", samples * 1000 / 44100.0)

print("Slide Time display (samples = trunc(v^3 * 60000 + 5512)):")
for v in [0.0, 0.25, 0.5, 0.75, 1.0]:
    x = f32(v)
    samples = int(x ** 3 * 60000 + 5512)
    samples_f = int(f32(f32(f32(x * x) * x) * 60000) + 5512)
    note = "" if samples == samples_f else "   <-- avoid (sample count precision)"
    safe(f"slide {v}: {samples} samples{note}", samples * 1000 / 44100.0)
    safe(f"slide {v} at 48000 Hz", samples * 1000 / 48000.0)
print("  slide 1.0 at 0.5 Hz:", ms2string(65512, 0.5)[0])

print("Dly time display, int2string(trunc(length*1000/rate)):")
def delay_length(f, sync, spb):
    if sync:
        k = int(7 * f)
        factor = {0: .125, 1: .25, 2: .375, 3: .5, 4: .75, 5: 1.0, 6: 1.5, 7: 2.0}.get(k, 0)
        n = int(factor * spb)
    else:
        n = int(2 * f32(f) * spb)
    return min(max(n, 176), 131071)
for f, sync, spb, rate, what in [
        (0.5, True, 22050, 44100, "default, 120 BPM"),
        (1.0, True, 22050, 44100, "sync, 1.0"),
        (0.0, True, 22050, 44100, "sync, 0.0"),
        (0.5, False, 22050, 44100, "sync off, 0.5"),
        (0.25, False, 22050, 44100, "sync off, 0.25"),
        (0.0, False, 22050, 44100, "sync off, 0.0"),
        (0.5, True, 44100 * 60 / 140, 44100, "sync, 0.5, host tempo 140"),
        (0.5, True, 24000, 48000, "sync, 0.5, 48000 Hz")]:
    n = delay_length(f, sync, spb)
    print(f"  {what:40s} {n} samples -> \"{int2string(n * 1000 // rate)}\"")

print("Dly filt display, int2string(trunc((2v-1)*100)):")
for v in [0.5, 0.25, 0.0, 1.0]:
    print(f"  {v}: \"{int2string(int((2 * f32(v) - 1) * 100))}\"")

print("Internal tempo (parameter 27): roundf(260 v + 40), read back (T-40)/260:")
for v in [0.5, 0.001, 0.0058, 0.3, 1.0, 0.0]:
    t = math.floor(f32(260 * f32(v)) + 40 + 0.5)
    print(f"  {v}: {t} BPM, reads back {f32((t - 40) / 260)!r} (0x{f32_bits((t - 40) / 260):08X})")

print("Chunk sizes:")
print("  default:", 120 + 64 * (130 + 3 * 16))
print("  current pattern at 64 steps:", 120 + 63 * (130 + 3 * 16) + 130 + 3 * 64)
