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
long double brenik_IIR_IIRlp3pole(tbiquad& t, long double c, long double r,
                                  long double x, long double f, double sr);

// Rational soft clipper, stateless and odd: slope 0.99832 at 0, 0.76193 at
// x = 1, overshooting slightly to 1.00173 at 4 and tending to +-1.00479.
// Computed in double precision.
double dist_dist(long double x);
