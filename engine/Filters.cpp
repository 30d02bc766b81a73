#include "engine/Filters.h"

#include "engine/Tables.h"

void IIR_resetIIR(tbiquad& t) { t = tbiquad{}; }

void IIR_resetFIR(tbiquadFIR& f) { f = tbiquadFIR{}; }

long double IIR_FIRlp(tbiquadFIR& f, long double a, long double x) {
  f.s0 = f.s0 + (x - f.s0) * a;
  return f.s0;
}

long double IIR_doIIRhigh(tbiquad& t, long double a, long double x) {
  long double h = x;
  t.s0 = t.s0 + (h - t.s0) * a;
  h = h - t.s0;
  t.s1 = t.s1 + (h - t.s1) * a;
  h = h - t.s1;
  t.s2 = t.s2 + (h - t.s2) * a;
  h = h - t.s2;
  if (h < -1.0L) {
    return -1.0L;
  }
  if (h > 1.0L) {
    return 1.0L;
  }
  return h;
}

long double brenik_IIR_IIRlp3pole(tbiquad& t, long double c, long double r,
                                  long double x, long double f, double sr) {
  // Host quirk upstream: a zero or garbage rate must not divide by zero.
  if (!(sr > 0.0 && sr < 1.0e7)) {
    sr = 44100.0;
  }

  // Rate factor: the step size is tuned for 44100 Hz. Faster rates take
  // proportionally smaller steps; slower ones take up to 1.2 times larger
  // steps (36750..44100 Hz) and below that run unscaled.
  long double q = 44100.0L / sr;
  if (q > 1.2f) {
    q = 1.0L;
  }

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

  long double w = f / sr;
  if (!(w >= 0.0L)) {
    w = 0.0L;
  } else if (w > 0.5L) {
    w = 0.5L;
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
  const long double g = (1.0L - X) / q;
  const long double h = c * q;
  const long double gq = g * q;  // the damping of sub-steps 1..4, 1 - X

  long double y = t.s0;
  long double v = t.s1;
  // The input enters once, then three steps only damp the velocity and a
  // fifth damps it with g alone (differs from 1 - X above 36750 Hz).
  v = v + (x - gq * v - y) * h;
  y = y + h * v;
  v = v - gq * v * h;
  y = y + h * v;
  v = v - gq * v * h;
  y = y + h * v;
  v = v - gq * v * h;
  y = y + h * v;
  const long double m = -g * v;
  v = v + m * h;
  y = y + h * v;

  t.s0 = y;
  t.s1 = v;
  t.s2 = m;
  return y;
}

double dist_dist(long double xl) {
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
  return x * (K1 + K0 * a + (K3 + K2 * a) * x2) /
         (a * (1.0 + K5 * a) * (x2 + K4) + K6);
}
