// The voice's filter routines and waveshaper: free functions over small
// state records, called once per sample in the order IIR_FIRlp (one-pole
// pre-filter), IIR_doIIRhigh (DC-blocking high-pass), brenik_IIR_IIRlp3pole
// (the resonant low-pass) and dist_dist (soft clipper). The delay and a
// distortion algorithm use IIR_doIIRhigh too.
//
// State and arithmetic are 80-bit extended (long double) because the sound
// was voiced with it: the resonant low-pass at high resonance rings for
// thousands of samples and its tail depends on that precision. No routine
// calls a transcendental function, so extended precision costs only x87
// multiply-adds. Realtime safe: no allocation, no branches beyond clamps.
#pragma once

#include "engine/Tables.h"

// Six state slots. The resonant low-pass uses s0 (output y), s1 (velocity
// v) and s2 (last damping term, written for inspection, never read); the
// high-pass uses s0..s2 as its three section states. s3..s5 are spare.
struct tbiquad {
  long double s0 = 0.0L, s1 = 0.0L, s2 = 0.0L, s3 = 0.0L, s4 = 0.0L, s5 = 0.0L;
};

// The one-pole low-pass state.
struct tbiquadFIR {
  long double s0 = 0.0L;
};

void IIR_resetIIR(tbiquad& t);
void IIR_resetFIR(tbiquadFIR& f);

// One-pole low-pass: s += (x - s) * a; returns s. a in 0..1 (1 passes x,
// 0 holds the state); the voice uses 0.7 * k or 0.125 * k, k = 44100 / rate.
long double IIR_FIRlp(tbiquadFIR& f, long double a, long double x);

// Three cascaded sections, each subtracting a one-pole low-pass of its input
// from that input (a first-order high-pass, corner about a * rate / 2pi).
// Returns the output limited to -1..+1; the voice uses a = 0.0068027 * k
// (about 48 Hz).
long double IIR_doIIRhigh(tbiquad& t, long double a, long double x);

// The resonant three-pole low-pass, one sample.
//   c   cutoff coefficient, clamped to 0.01..0.7 (the voice passes about
//       2^octaves * cutoff base)
//   r   resonance, clamped to 0..1
//   x   input sample
//   f   note frequency in Hz times 44100 / sr: the note's pitch raises the
//       resonance shaping and lowers the resonance weight
//   sr  rendering rate in Hz; above 36750 Hz the step is scaled by 44100 / sr
// Returns the new output. A rate that is not a positive finite number is
// taken as 44100 Hz, and f / sr is limited to 0..0.5 (the voice stays below
// 0.36), which keeps the damping positive whatever arrives.
long double brenik_IIR_IIRlp3pole(tbiquad& t, long double c, long double r, long double x, long double f,
                                  double sr);

// The rate terms of the resonant low-pass, worked out once per block by the
// voice: q (44100 / sr, or 1 when that exceeds 1.2) and 1 / sr.
struct ResonantRate {
  long double q = 1.0L;
  long double invSr = 1.0L / 44100.0L;
};
ResonantRate resonantRate(double sr);

// The resonant low-pass with its rate terms given: the same step as
// brenik_IIR_IIRlp3pole without the per-sample divisions.
long double resonantLowpass(tbiquad& t, long double c, long double r, long double x, long double f,
                            const ResonantRate& rate);

// Rational soft clipper, stateless and odd: slope 0.99832 at 0, 0.76193 at
// x = 1, overshooting slightly to 1.00173 at 4 and tending to +-1.00479.
// Computed in double precision.
double dist_dist(long double x);

// Per-sample routines, defined here so the voice keeps its extended-precision
// values in registers across them instead of passing them through memory.
// The voice's block renderer calls the cores below on values it holds in
// locals; the routines above are the same cores over the state records.
// A coefficient may come as a double when its value is exactly a double
// (the product is the same, and an x87 multiply can read a double from
// memory where an 80-bit operand needs a load of its own).

// The three high-pass sections of IIR_doIIRhigh on separate states.
template <class A>
inline long double highpassSections(long double& s0, long double& s1, long double& s2, A a, long double x) {
  long double h = x;
  s0 = s0 + (h - s0) * a;
  h = h - s0;
  s1 = s1 + (h - s1) * a;
  h = h - s1;
  s2 = s2 + (h - s2) * a;
  h = h - s2;
  // The limit as two selections (a NaN passes both), which the compiler
  // can do without branches.
  h = h < -1.0L ? -1.0L : h;
  return h > 1.0L ? 1.0L : h;
}

// The resonant low-pass's q where it is exactly 1 (every rate up to
// 36750 Hz): dividing or multiplying by it changes nothing, so those steps
// are left out.
struct UnitQ {};
inline long double divideByQ(long double a, long double q) { return a / q; }
inline long double divideByQ(long double a, UnitQ) { return a; }
inline long double timesQ(long double a, long double q) { return a * q; }
inline long double timesQ(long double a, UnitQ) { return a; }

// f / sr of the resonant low-pass, limited to 0..0.5.
inline long double resonantPitch(long double f, long double invSr) {
  long double w = f * invSr;
  if (!(w >= 0.0L)) {
    w = 0.0L;
  } else if (w > 0.5L) {
    w = 0.5L;
  }
  return w;
}

// One step of the resonant low-pass on its output y and velocity v (m gets
// the last damping term), with w = resonantPitch(f, 1 / sr).
template <class Q>
inline long double resonantCore(long double& y, long double& v, long double& m, long double c, long double r,
                                long double x, long double w, Q q) {
  // Cutoff clamp and the funTab1 read position. The low flag adds damping
  // near the bottom of the range, where the curve alone rings too much.
  // Written as !(c >= ...) so a NaN cutoff lands on the low clamp instead of
  // reaching the integer conversion.
  int j;
  long double weight;
  bool low;
  if (!(c >= 0.01f)) {
    c = 0.01f;
    j = 0;
    weight = 0.64f;
    low = true;
  } else if (c > 0.7f) {
    c = 0.7f;
    j = 44;
    weight = 0.79999924f;
    low = false;
  } else {
    low = c < 0.05f;
    const double x64 = 64.0 * static_cast<double>(c);  // at most 44.8
    j = static_cast<int>(x64);
    weight = x64 - j;
  }

  if (!(r >= 0.0L)) {  // also NaN
    r = 0.0L;
  } else if (r > 1.0L) {
    r = 1.0L;
  }

  const long double t0 = funTab1[j];
  const long double t1 = funTab1[j + 1];
  const long double T = t0 + weight * (t1 - t0);

  // X near 1 means little damping: the table term grows with cutoff and
  // pitch, the resonance term shrinks with pitch.
  long double X = 1.01f * (T * (0.42f * w + 0.023f) + r * (0.965f - 0.975f * w));
  if (low) {
    X *= (2.0L * c + 0.9f);
  }
  const long double g = divideByQ(1.0L - X, q);
  const long double h = timesQ(c, q);
  const long double gq = timesQ(g, q);  // the damping of sub-steps 1..4, 1 - X
  // Sub-steps 2..4 scale the velocity by the same factor; it is formed once
  // so the three steps are one multiply each on the sample's critical path.
  const long double damp = 1.0L - gq * h;

  // The input enters once, then three steps only damp the velocity and a
  // fifth damps it with g alone (differs from 1 - X above 36750 Hz).
  v = v + (x - gq * v - y) * h;
  y = y + h * v;
  v = v * damp;
  y = y + h * v;
  v = v * damp;
  y = y + h * v;
  v = v * damp;
  y = y + h * v;
  m = -g * v;
  v = v + m * h;
  y = y + h * v;
  return y;
}

inline long double IIR_FIRlp(tbiquadFIR& f, long double a, long double x) {
  f.s0 = f.s0 + (x - f.s0) * a;
  return f.s0;
}

inline long double IIR_doIIRhigh(tbiquad& t, long double a, long double x) {
  return highpassSections(t.s0, t.s1, t.s2, a, x);
}

inline long double resonantLowpass(tbiquad& t, long double c, long double r, long double x, long double f,
                                   const ResonantRate& rate) {
  return resonantCore(t.s0, t.s1, t.s2, c, r, x, resonantPitch(f, rate.invSr), rate.q);
}

inline double dist_dist(long double xl) {
  constexpr double K0 = 2.42262961841169;
  constexpr double K1 = 2.39304178773957;
  constexpr double K2 = 0.88080249764587;
  constexpr double K3 = 0.940350192593669;
  constexpr double K4 = 2.36431790907668;
  constexpr double K5 = 0.876604976262445;
  constexpr double K6 = 2.39707251423435;
  const double x = static_cast<double>(xl);
  const double a = x < 0.0 ? -x : x;
  // Beyond 1e30 the lower-order terms no longer count but x^3 would
  // overflow to inf / inf; answer the limit instead.
  if (a > 1.0e30) {
    return x > 0.0 ? K2 / K5 : -K2 / K5;
  }
  const double x2 = x * x;
  return x * (K1 + K0 * a + (K3 + K2 * a) * x2) / (a * (1.0 + K5 * a) * (x2 + K4) + K6);
}
