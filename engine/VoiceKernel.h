// The steps of the voice's per-sample computation, each on the values it
// changes. The per-sample functions of Voice.h compose them over the stored
// VoiceState; the block renderer (VoiceRun.cpp) composes the same steps
// over local copies, grouped so that few extended-precision values are live
// at once. Either way every value goes through exactly the same operations
// in the same order, so both give the same bits.
//
// A rate comes as long double, or as double when its value is exactly a
// double (at 44100 Hz and its multiples, where k is a power of two): the
// product is the same and the x87 multiply reads the double from memory.
#pragma once

#include <initializer_list>

#include "engine/Filters.h"
#include "engine/Tables.h"
#include "engine/Voice.h"

namespace voicekernel {

// Extended-precision constants, used exactly as written.
constexpr long double kTwoPi = 6.283185306L;
constexpr long double kPi = 3.141592653L;
constexpr long double kInvTwoPi = 0.15915494312177461L;

// trunc(x) for 0 <= x <= 512 without the x87 rounding-mode switch that a
// direct long double -> int conversion costs. Rounding x to double moves it
// to the next integer only when x lies within half a double ulp below that
// integer (the integers are doubles and the rounding is monotonic), so the
// truncated double is trunc(x) or trunc(x) + 1, and in the second case it
// exceeds x: one comparison takes it back. Exact for every such x.
inline int truncateIndex(long double x) {
  const int j = static_cast<int>(static_cast<double>(x));
  return j > x ? j - 1 : j;
}

inline long double cutoffCoefficient(long double octaves, long double cutBase) {
  long double x = (octaves + 8.0L) * 32.0L;
  // The voice keeps C inside -3.75..5.25; hold anything else at the table's
  // ends rather than read outside it.
  if (!(x >= 0.0L)) x = 0.0L;
  if (x > kFunTab2Size - 1) x = kFunTab2Size - 1;
  int j = truncateIndex(x);
  if (j > kFunTab2Size - 2) j = kFunTab2Size - 2;
  return (funTab2[j] + (x - j) * (funTab2[j + 1] - funTab2[j])) * cutBase;
}

// A one-pole move of s toward target.
template <class R>
inline void approach(long double& s, long double target, R rate) {
  s += (target - s) * rate;
}

// The cutoff sag over a note, faster and deeper when accented.
template <class R>
inline void driftStep(long double& drift, bool accentOn, R accentRate, R plainRate) {
  const long double target = accentOn ? -1.75f : -1.0f;
  approach(drift, target, accentOn ? accentRate : plainRate);
}

// The output droop, held at 0.5.
template <class R>
inline void noteLevelStep(long double& level, R rate) {
  level += (0.0L - level) * rate;
  if (level < 0.5L) level = 0.5L;
}

// The accent charge runs down linearly and stops at 0.
template <class R>
inline void accentChargeStep(long double& charge, R decrement) {
  if (charge > 0.0L)
    charge -= decrement;
  else
    charge = 0.0L;
}

template <class R>
inline void accentTargetStep(long double& target, R decrement) {
  if (target > 0.0L) target -= decrement;
}

// Cutoff in octaves, rounded to double.
template <class E>
inline double sequencerOctaves(long double drift, long double filterEnv, long double accentEnv, E envMod,
                               E accK) {
  return static_cast<double>(drift + envMod * (filterEnv - 2.0L) + accK * accentEnv);
}
template <class E>
inline double keyboardOctaves(long double filterEnv, long double accentEnv, E envMod, E accK) {
  return static_cast<double>(envMod * (filterEnv - 2.0L) + accK * accentEnv);
}

inline void phaseStep(long double& phase, long double noteFreq, long double increment) {
  phase += noteFreq * increment;
  if (phase > kTwoPi) phase -= kTwoPi;
}

// The direct oscillator at this phase.
inline long double directOscillator(long double phase, bool square) {
  if (square) return phase > kPi ? 0.5L : -0.5L;
  return (kTwoPi - phase) * kInvTwoPi;
}

// The pre-filters: the square's negative half is smoothed more than its
// positive half.
template <class R>
inline long double preFilterStep(long double& lowpass, long double& h0, long double& h1, long double& h2,
                                 bool square, R smooth, R squarePositive, R highpass, long double osc) {
  const R a = (square && osc >= 0.0L) ? squarePositive : smooth;
  lowpass = lowpass + (osc - lowpass) * a;
  return highpassSections(h0, h1, h2, highpass, lowpass);
}

// The saw's resonance is 1.1 times the square's; the square's factor of 1
// changes nothing and keeps the computation free of a branch.
inline float sawFactor(bool square, float saw) { return square ? 1.0f : saw; }

// sawResonance: sawFactor(square, 1.1f).
template <class E>
inline long double resonanceOf(long double accentLevel, long double resoAmt, E accK, float sawResonance) {
  return (resoAmt + 0.04f * accentLevel * accK) * sawResonance;
}

inline float resonanceWeight(bool square) { return square ? 0.992f : 0.9f; }

// Hides from the optimiser that p is the same in every iteration of a
// loop, so a constant read through it is read where it is used: a double
// or float goes straight into the x87 operation as a memory operand, where
// a value hoisted out of the loop takes an 80-bit register and, with the
// x87's eight registers busy, an 80-bit store and reload every iteration.
template <class T>
inline const T* unhoisted(const T* p) {
  asm("" : "+r"(p));
  return p;
}

// The output gains of the sequencer voice before the waveshaper;
// sawLevel: sawFactor(square, 1.5f).
inline long double sequencerLevel(long double y3, long double r, long double accentLevel,
                                  long double noteLevel, float sawLevel) {
  return y3 * (1.0L + 1.5L * (1.0L - r)) * (1.0L + 3.0L * accentLevel) * noteLevel * 0.26666668f * sawLevel;
}

// The keyboard voice's: the saw ignores the output droop, the square keeps
// whatever level the sequencer voice last left.
inline long double keyboardLevel(long double y3, long double r, long double accentLevel,
                                 long double noteLevel, bool square) {
  const long double out = y3 * (1.0L + 1.5L * (1.0L - r)) * (1.0L + 3.0L * accentLevel);
  return square ? out * noteLevel * 0.26666668f : out * 0.26666668f * 1.5L;
}

// The click offset left by a key that interrupted a release ramps away.
inline void declickStep(float& offset, double step) {
  if (offset != 0.0f) {
    offset = static_cast<float>(offset - step);
    if ((step < 0.0 && offset >= 0.0f) || (step > 0.0 && offset <= 0.0f)) offset = 0.0f;
  }
}

// The rates a block scales by k, and the two products of single-precision
// values (EnvMod, accK), in the type the renderer multiplies with; the
// waveform's factors.
template <class R>
struct Rates {
  R driftAccent, driftPlain, ampOpen, ampReleased, noteLevel, chargeDecrement, targetDecrement, envRate,
      levelRate, preLowpassSmooth, preLowpassSquarePositive, preHighpass, k, envMod, accK;
  float weight, sawResonance, sawLevel;

  explicit Rates(const VoiceBlock& b)
      : driftAccent(static_cast<R>(b.driftRateAccent)),
        driftPlain(static_cast<R>(b.driftRatePlain)),
        ampOpen(static_cast<R>(b.ampRateOpen)),
        ampReleased(static_cast<R>(b.ampRateReleased)),
        noteLevel(static_cast<R>(b.noteLevelRate)),
        chargeDecrement(static_cast<R>(b.accentChargeDecrement)),
        targetDecrement(static_cast<R>(b.accentTargetDecrement)),
        envRate(static_cast<R>(b.accentEnvRate)),
        levelRate(static_cast<R>(b.accentLevelRate)),
        preLowpassSmooth(static_cast<R>(b.preLowpassSmooth)),
        preLowpassSquarePositive(static_cast<R>(b.preLowpassSquarePositive)),
        preHighpass(static_cast<R>(b.preHighpass)),
        k(static_cast<R>(b.k)),
        envMod(static_cast<R>(b.envMod)),
        accK(static_cast<R>(b.accK)),
        weight(b.square ? 0.992f : 0.9f),
        sawResonance(sawFactor(b.square, 1.1f)),
        sawLevel(sawFactor(b.square, 1.5f)) {}
};

// True when every one of them is exactly a double.
inline bool ratesAreDoubles(const VoiceBlock& b) {
  const Rates<long double> r(b);
  for (long double v : {r.driftAccent, r.driftPlain, r.ampOpen, r.ampReleased, r.noteLevel, r.chargeDecrement,
                        r.targetDecrement, r.envRate, r.levelRate, r.preLowpassSmooth,
                        r.preLowpassSquarePositive, r.preHighpass, r.k, r.envMod, r.accK})
    if (static_cast<long double>(static_cast<double>(v)) != v) return false;
  return true;
}

}  // namespace voicekernel
