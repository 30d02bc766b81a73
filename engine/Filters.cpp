#include "engine/Filters.h"

#include "engine/Tables.h"

void IIR_resetIIR(tbiquad& t) { t = tbiquad{}; }

void IIR_resetFIR(tbiquadFIR& f) { f = tbiquadFIR{}; }



ResonantRate resonantRate(double sr) {
  // Host quirk upstream: a zero or garbage rate must not divide by zero.
  if (!(sr > 0.0 && sr < 1.0e7)) {
    sr = 44100.0;
  }
  // Rate factor: the step size is tuned for 44100 Hz. Faster rates take
  // proportionally smaller steps; slower ones take up to 1.2 times larger
  // steps (36750..44100 Hz) and below that run unscaled.
  ResonantRate rate;
  rate.q = 44100.0L / sr;
  if (rate.q > 1.2f) {
    rate.q = 1.0L;
  }
  rate.invSr = 1.0L / sr;
  return rate;
}

long double brenik_IIR_IIRlp3pole(tbiquad& t, long double c, long double r,
                                  long double x, long double f, double sr) {
  return resonantLowpass(t, c, r, x, f, resonantRate(sr));
}

