#!/usr/bin/python3
"""Reference model of the sequencer voice and the keyboard voice, for
voice_test.cpp.

Written from the voice's equations alone, without looking at the C++ code,
in plain double precision (the C++ voice keeps its state in 80-bit extended
precision, so the two agree to within the double rounding accumulated over a
run, not bit for bit). A decimal constant is a single-precision literal
unless it is one of the long ones (pi/2, 2pi, pi, 1/2pi), so it goes through
float32 here exactly as the compiler rounds an 'f' literal. The parameters
arrive as floats (they are the host's normalised values).

Scenarios (every one from the construction reset):
  * note 13 (261.626 Hz table frequency, 65.4 Hz sounding) starts at sample
    0 as a step event starts it; the block constants are taken after the
    note event (as in the second block of a note), once, for the whole run;
  * the gate closes at sample G: from that sample on the gate test fires on
    every sample (its condition stays true until the next step), each time
    giving the amplitude envelope one more step without k toward the target
    of that sample;
  * an accented step sets the accent drivers as the step event does;
  * a rest is a step event with note 0 (after a note held with the gate
    open, so the rest itself releases the envelope);
  * a keyboard note starts from a note level of 0.75 left by the sequencer
    voice where so stated (only the square reads it).
The direct oscillator is used at every rate (band-limited off).

Run:  /usr/bin/python3 tests/unit/engine/reference_voice.py
and paste the printed values at the test's kPick / kPick96 into voice_test.cpp.
"""
import math

import numpy as np


def f32(v):
    """Value of a single-precision literal (or a float parameter)."""
    return float(np.float32(v))


HALF_PI = 1.5707963265
TWO_PI = 6.283185306
PI = 3.141592653
INV_TWO_PI = 0.15915494312177461

NOTE13 = 261.626  # 440 * 2^((13 - 22) / 12) to three decimals


def s_bend(u):
    return math.sin(HALF_PI * u)


FUN_TAB1 = [s_bend(s_bend(s_bend(s_bend(i / 64.0)))) for i in range(65)]
FUN_TAB2 = [f32(2.0 ** (i / 32.0 - 8.0)) for i in range(513)]


# ---- Filters and waveshaper -------------------------------------------------
def fir_lp(st, a, x):
    st[0] = st[0] + (x - st[0]) * a
    return st[0]


def iir_high(st, a, x):
    h = x
    for j in range(3):
        st[j] = st[j] + (h - st[j]) * a
        h = h - st[j]
    return min(1.0, max(-1.0, h))


def lp3(st, c, r, x, f, sr):
    """st = [y, v, m]"""
    q = 44100.0 / sr
    if q > f32(1.2):
        q = 1.0
    if c < f32(0.01):
        c, j, wt, low = f32(0.01), 0, f32(0.64), True
    elif c > f32(0.7):
        c, j, wt, low = f32(0.7), 44, f32(0.79999924), False
    else:
        low = c < f32(0.05)
        x64 = 64.0 * c
        j = int(x64)
        wt = x64 - j
    r = min(1.0, max(0.0, r))
    w = f / sr
    t = FUN_TAB1[j] + wt * (FUN_TAB1[j + 1] - FUN_TAB1[j])
    big_x = f32(1.01) * (t * (f32(0.42) * w + f32(0.023)) + r * (f32(0.965) - f32(0.975) * w))
    if low:
        big_x *= 2.0 * c + f32(0.9)
    g = (1.0 - big_x) / q
    h = c * q
    y, v = st[0], st[1]
    v = v + (x - g * q * v - y) * h
    y = y + h * v
    for _ in range(3):
        v = v - g * q * v * h
        y = y + h * v
    m = -g * v
    v = v + m * h
    y = y + h * v
    st[0], st[1], st[2] = y, v, m
    return y


K0, K1, K2, K3 = 2.42262961841169, 2.39304178773957, 0.88080249764587, 0.940350192593669
K4, K5, K6 = 2.36431790907668, 0.876604976262445, 2.39707251423435


def dist(x):
    a = abs(x)
    return x * (K1 + K0 * a + (K3 + K2 * a) * x * x) / (a * (1.0 + K5 * a) * (x * x + K4) + K6)


# ---- Parameters and block constants ----------------------------------------
FACTORY = dict(tuning=0.5, cutoff=0.09375, resonance=0.919375, envmod=0.170625, decay=0.9,
               accent=0.304375)


class Block:
    def __init__(self, p, note_freq, sr, square):
        tuning, cutoff, reso = f32(p["tuning"]), f32(p["cutoff"]), f32(p["resonance"])
        self.sr = sr
        self.k = 44100.0 / sr
        self.tune_mul = 2.0 ** (2.0 * tuning - 1.0)
        accent = f32(p["accent"])
        self.acc_k = f32(0.65) * accent
        self.envmod = f32(p["envmod"])
        p1 = np.float32(2.0) ** (np.float32(0.5) * np.float32(cutoff))
        p2 = float(np.float32(2.0) ** ((p1 - np.float32(1.0)) * np.float32(0.8)))
        self.cut_base = p2 - f32(0.987) + note_freq / sr * f32(0.33)
        self.reso_amt = (math.sin(reso * HALF_PI) * 75.0 + 25.0) / 100.0
        self.decay_mul = f32(0.9995) + f32(0.0005) * f32(p["decay"])
        self.square = square


# ---- Voice state -----------------------------------------------------------
class Voice:
    def __init__(self):
        self.note_freq = 0.0
        self.phase = 0.0
        self.filter_env = 2.5
        self.drift = 0.0
        self.amp_env = 0.0
        self.released = True
        self.note_level = 1.0
        self.accent_on = False
        self.acc_charge = 0.0
        self.acc_env = 0.0
        self.acc_level_target = 0.0
        self.acc_level = 0.0
        self.pre_lp = [0.0]
        self.pre_hp = [0.0, 0.0, 0.0]
        self.lp = [0.0, 0.0, 0.0]
        self.declick_offset = 0.0
        self.declick_step = 1.0 / 441.0
        self.key_fade_gain = 1.0
        self.last_output = 0.0

    def step_note(self, freq, accent):
        """A step event starting a new (not gliding) note."""
        self.note_freq = freq
        self.phase = 0.0
        self.filter_env = 4.0
        self.drift = 0.0
        self.note_level = 1.0
        self.released = freq == 0.0
        self.accent_on = accent
        if accent:
            self.acc_level_target = f32(0.6)
            if self.acc_env > 2.0:
                self.acc_env = 2.0
                self.acc_charge = 4.0
            else:
                self.acc_charge = self.acc_env + 2.0

    def key_press(self, freq, velocity):
        """A fresh key press in keyboard mode (no fade running)."""
        self.phase = 0.0
        self.filter_env = 4.0
        self.note_freq = freq
        if velocity > 82:
            self.acc_level_target = f32(0.6)
            self.acc_charge = min(self.acc_env + 2.0, 5.0)
        self.key_fade_gain = 1.0

    # Envelope steps shared by both voices (accent charge .. phase).
    def accent_and_filter(self, b, with_drift):
        k = b.k
        if self.acc_charge > 0.0:
            self.acc_charge -= f32(0.00044444445) * k
        else:
            self.acc_charge = 0.0
        if self.acc_level_target > 0.0:
            self.acc_level_target -= f32(0.00015) * k
        self.acc_env += (self.acc_charge - self.acc_env) * f32(0.00144) * k
        self.acc_level += (self.acc_level_target - self.acc_level) * f32(0.03) * k
        self.filter_env *= b.decay_mul
        c = b.envmod * (self.filter_env - 2.0) + b.acc_k * self.acc_env
        if with_drift:
            c = self.drift + c
        x = (c + 8.0) * 32.0
        j = int(x)
        cut = (FUN_TAB2[j] + (x - j) * (FUN_TAB2[j + 1] - FUN_TAB2[j])) * b.cut_base
        self.phase += TWO_PI * self.note_freq * b.tune_mul / (4.0 * b.sr)
        if self.phase > TWO_PI:
            self.phase -= TWO_PI
        return cut

    def filters(self, b, cut, osc, amp):
        k = b.k
        if b.square:
            a = f32(0.7) * k if osc < 0.0 else f32(0.125) * k
        else:
            a = f32(0.7) * k
        y1 = fir_lp(self.pre_lp, a, osc)
        y2 = iir_high(self.pre_hp, f32(0.0068027) * k, y1)
        r = b.reso_amt + f32(0.04) * self.acc_level * b.acc_k
        if not b.square:
            r *= f32(1.1)
        q = f32(0.992) if b.square else f32(0.9)
        y3 = lp3(self.lp, cut, q * r, y2 * amp, self.note_freq * k, b.sr)
        return y3, r

    def oscillator(self, b):
        if b.square:
            return 0.5 if self.phase > PI else -0.5
        return (TWO_PI - self.phase) * INV_TWO_PI

    def sequencer_sample(self, b, gate_closed):
        k = b.k
        note_active = 1.0 if self.note_freq != 0.0 else 0.0
        if self.accent_on:
            target, rate = f32(-1.75), f32(9e-5)
        else:
            target, rate = -1.0, f32(8.2e-6)
        self.drift += (target - self.drift) * rate * k
        amp_target, amp_rate = (0.0, f32(0.004)) if self.released else (1.0, f32(0.9))
        self.amp_env += (amp_target - self.amp_env) * amp_rate * k
        self.note_level += (0.0 - self.note_level) * f32(1e-5) * k
        if self.note_level < 0.5:
            self.note_level = 0.5
        cut = self.accent_and_filter(b, True)
        if gate_closed:
            self.released = True
            self.amp_env += (amp_target - self.amp_env) * amp_rate
        osc = self.oscillator(b) * note_active
        y3, r = self.filters(b, cut, osc, self.amp_env)
        out = y3 * (1.0 + 1.5 * (1.0 - r)) * (1.0 + 3.0 * self.acc_level) * self.note_level \
            * f32(0.26666668)
        if not b.square:
            out *= 1.5
        return dist(out)

    def keyboard_sample(self, b):
        if self.declick_offset != 0.0:
            self.declick_offset = f32(self.declick_offset - self.declick_step)
            if (self.declick_step < 0.0 and self.declick_offset >= 0.0) or \
               (self.declick_step > 0.0 and self.declick_offset <= 0.0):
                self.declick_offset = 0.0
        cut = self.accent_and_filter(b, False)
        osc = self.oscillator(b)
        y3, r = self.filters(b, cut, osc, 1.0)
        out = y3 * (1.0 + 1.5 * (1.0 - r)) * (1.0 + 3.0 * self.acc_level)
        if b.square:
            out = out * self.note_level * f32(0.26666668)
        else:
            out = out * f32(0.26666668) * 1.5
        out = f32((dist(out) + self.declick_offset) * self.key_fade_gain)
        self.last_output = out
        return out


PICK = [0, 1, 2, 5, 10, 50, 100, 200, 400, 700, 1000, 1199, 1200, 1201, 1500, 1999]
PICK96 = [0, 1, 5, 50, 200, 500, 1000, 2000, 2599, 2600, 2601, 3000, 3500, 4353]


def stats(name, out, pick):
    arr = np.array(out)
    print("constexpr double k%s[] = {%s};" % (name, ", ".join("%.17g" % out[i] for i in pick)))
    print("// %s: sum %.17g rms %.17g" % (name, float(np.sum(arr)), float(np.sqrt(np.mean(arr ** 2)))))
    return float(np.sum(arr)), float(np.sqrt(np.mean(arr ** 2)))


def sequencer_run(square, accent, sr, n, gate):
    v = Voice()
    v.step_note(NOTE13, accent)
    b = Block(FACTORY, v.note_freq, sr, square)
    out = [v.sequencer_sample(b, i >= gate) for i in range(n)]
    return out, v


def sequencer_rest_run(square, n, rest):
    """A note held with the gate open, then a rest step at sample `rest`."""
    v = Voice()
    v.step_note(NOTE13, False)
    b = Block(FACTORY, v.note_freq, 44100.0, square)
    out = []
    for i in range(n):
        if i == rest:
            v.step_note(0.0, False)
            b = Block(FACTORY, v.note_freq, 44100.0, square)
        out.append(v.sequencer_sample(b, False))
    return out, v


def keyboard_run(square, velocity, sr, n, declick=0.0, note_level=1.0):
    v = Voice()
    v.note_level = note_level  # as the sequencer voice left it
    v.key_press(NOTE13, velocity)
    if declick != 0.0:
        v.declick_offset = f32(declick)
        v.declick_step = f32(declick) / 110.0
    b = Block(FACTORY, v.note_freq, sr, square)
    out = [v.keyboard_sample(b) for _ in range(n)]
    return out, v


def main():
    print("constexpr int kPick[] = {%s};" % ", ".join(map(str, PICK)))
    print("constexpr int kPick96[] = {%s};" % ", ".join(map(str, PICK96)))
    sums = []
    for name, sq, acc in (("SawPlain", False, False), ("SawAccent", False, True),
                          ("SquarePlain", True, False), ("SquareAccent", True, True)):
        out, v = sequencer_run(sq, acc, 44100.0, 2000, 1200)
        sums.append((name,) + stats(name, out, PICK))
        print("// %s end state: ampEnv %.17g filterEnv %.17g accentLevel %.17g accentEnv %.17g "
              "noteLevel %.17g drift %.17g" % (name, v.amp_env, v.filter_env, v.acc_level,
                                               v.acc_env, v.note_level, v.drift))
    for name, sq, acc in (("Saw96k", False, False), ("SquareAccent96k", True, True)):
        out, v = sequencer_run(sq, acc, 96000.0, 4354, 2600)
        sums.append((name,) + stats(name, out, PICK96))
        print("// %s end state: ampEnv %.17g filterEnv %.17g accentLevel %.17g" %
              (name, v.amp_env, v.filter_env, v.acc_level))
    out, v = sequencer_rest_run(True, 2000, 800)
    sums.append(("SquareRest",) + stats("SquareRest", out, PICK))
    for name, sq, vel, dc, lv in (("KeySaw", False, 100, 0.0, 1.0), ("KeySquare", True, 64, 0.0, 0.75),
                                  ("KeySawDeclick", False, 64, 0.3, 0.75)):
        out, v = keyboard_run(sq, vel, 44100.0, 2000, dc, lv)
        sums.append((name,) + stats(name, out, PICK))
    print("// {sum, rms} per scenario")
    print("constexpr double kSums[][2] = {%s};" %
          ", ".join("{%.17g, %.17g}" % (s, r) for _, s, r in sums))
    print("// order:", ", ".join(n for n, _, _ in sums))


if __name__ == "__main__":
    main()
