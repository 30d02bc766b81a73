#include "engine/Voice.h"

#include <cmath>

#include "engine/Tables.h"

namespace {

// Extended-precision constants, used exactly as written.
constexpr long double kHalfPi = 1.5707963265L;
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

// The voice's oscillator value before the pre-filter.
long double oscillatorValue(const VoiceState& state, const VoiceBlock& block, float bandLimited) {
  if (block.bandLimited) return 0.5L * bandLimited;
  if (block.square) return state.m_phase > kPi ? 0.5L : -0.5L;
  return (kTwoPi - state.m_phase) * kInvTwoPi;
}

// The pre-filters: the square's negative half is smoothed more than its
// positive half.
long double preFilter(VoiceState& state, const VoiceBlock& block, long double osc) {
  const long double a = (block.square && osc >= 0.0L) ? block.preLowpassSquarePositive : block.preLowpassSmooth;
  const long double y1 = IIR_FIRlp(state.m_preLowpass, a, osc);
  return IIR_doIIRhigh(state.m_preHighpass, block.preHighpass, y1);
}

long double resonance(const VoiceState& state, const VoiceBlock& block) {
  long double r = block.resoAmt + 0.04f * state.m_accentLevel * block.accK;
  if (!block.square) r *= 1.1f;
  return r;
}

// Accent drivers and the filter envelope (steps shared by both voices).
void advanceAccentAndFilterEnvelope(VoiceState& state, const VoiceBlock& block) {
  if (state.m_accentCharge > 0.0L)
    state.m_accentCharge -= block.accentChargeDecrement;
  else
    state.m_accentCharge = 0.0L;
  if (state.m_accentLevelTarget > 0.0L) state.m_accentLevelTarget -= block.accentTargetDecrement;
  state.m_accentEnv += (state.m_accentCharge - state.m_accentEnv) * block.accentEnvRate;
  state.m_accentLevel += (state.m_accentLevelTarget - state.m_accentLevel) * block.accentLevelRate;
  state.m_filterEnv *= block.decayMul;
}

void advancePhase(VoiceState& state, const VoiceBlock& block) {
  state.m_phase += state.m_noteFreq * block.phaseIncrement;
  if (state.m_phase > kTwoPi) state.m_phase -= kTwoPi;
}

}  // namespace

void VoiceState::reset() { *this = VoiceState(); }

VoiceBlock voiceBlockConstants(const VoiceParameters& parameters, const VoiceState& state, double sr,
                               bool bandLimitedRate) {
  VoiceBlock block;
  block.sr = sr > 0.0 && std::isfinite(sr) ? sr : 44100.0;
  block.k = 44100.0L / block.sr;
  const long double u = 2.0L * parameters.tuning - 1.0L;
  block.tuneMul = std::exp2(static_cast<double>(u));
  block.accK = 0.65f * static_cast<long double>(parameters.accent);
  const float p1 = std::pow(2.0f, 0.5f * parameters.cutoff);
  const float p2 = std::pow(2.0f, (p1 - 1.0f) * 0.8f);
  const long double keyTrack = state.m_noteFreq / block.sr * 0.33f;
  block.cutBase = static_cast<long double>(p2) - 0.987f + keyTrack;
  block.resoAmt = (std::sin(static_cast<double>(parameters.resonance * kHalfPi)) * 75.0L + 25.0L) / 100.0L;
  block.decayMul = 0.9995f + 0.0005f * static_cast<long double>(parameters.decay);
  block.envMod = parameters.envMod;
  block.square = parameters.waveform != 0.0f;
  block.bandLimited = parameters.antialias != 0.0f && bandLimitedRate;

  const long double k = block.k;
  block.driftRateAccent = 9e-5f * k;
  block.driftRatePlain = 8.2e-6f * k;
  block.ampRateOpen = 0.9f * k;
  block.ampRateReleased = 0.004f * k;
  block.noteLevelRate = 1e-5f * k;
  block.accentChargeDecrement = 0.00044444445f * k;
  block.accentTargetDecrement = 0.00015f * k;
  block.accentEnvRate = 0.00144f * k;
  block.accentLevelRate = 0.03f * k;
  block.preLowpassSmooth = 0.7f * k;
  block.preLowpassSquarePositive = 0.125f * k;
  block.preHighpass = 0.0068027f * k;
  block.phaseIncrement = kTwoPi * block.tuneMul / (4.0L * block.sr);
  block.filterRate = resonantRate(block.sr);
  return block;
}

long double cutoffCoefficient(long double octaves, long double cutBase) {
  long double x = (octaves + 8.0L) * 32.0L;
  // The voice keeps C inside -3.75..5.25; hold anything else at the table's
  // ends rather than read outside it.
  if (!(x >= 0.0L)) x = 0.0L;
  if (x > kFunTab2Size - 1) x = kFunTab2Size - 1;
  int j = truncateIndex(x);
  if (j > kFunTab2Size - 2) j = kFunTab2Size - 2;
  return (funTab2[j] + (x - j) * (funTab2[j + 1] - funTab2[j])) * cutBase;
}

VoiceSample sequencerVoiceAdvance(VoiceState& state, const VoiceBlock& block) {
  VoiceSample sample;
  sample.noteActive = state.m_noteFreq != 0.0L ? 1.0L : 0.0L;

  // The cutoff sags over a note, faster and deeper when accented.
  const long double driftTarget = state.m_accentOn ? -1.75f : -1.0f;
  const long double driftRate = state.m_accentOn ? block.driftRateAccent : block.driftRatePlain;
  state.m_cutoffDrift += (driftTarget - state.m_cutoffDrift) * driftRate;

  sample.ampTarget = state.m_noteReleased ? 0.0L : 1.0L;
  sample.ampRate = state.m_noteReleased ? 0.004f : 0.9f;
  state.m_ampEnv += (sample.ampTarget - state.m_ampEnv) * (state.m_noteReleased ? block.ampRateReleased : block.ampRateOpen);

  state.m_noteLevel += (0.0L - state.m_noteLevel) * block.noteLevelRate;
  if (state.m_noteLevel < 0.5L) state.m_noteLevel = 0.5L;

  advanceAccentAndFilterEnvelope(state, block);

  // Cutoff in octaves, rounded to double, then its coefficient.
  const double octaves =
      static_cast<double>(state.m_cutoffDrift + block.envMod * (state.m_filterEnv - 2.0L) + block.accK * state.m_accentEnv);
  sample.cutCoef = cutoffCoefficient(octaves, block.cutBase);
  advancePhase(state, block);
  return sample;
}

void sequencerVoiceRelease(VoiceState& state, const VoiceSample& sample) {
  state.m_noteReleased = true;
  state.m_ampEnv += (sample.ampTarget - state.m_ampEnv) * sample.ampRate;
}

double sequencerVoiceOutput(VoiceState& state, const VoiceBlock& block, const VoiceSample& sample,
                            float bandLimited) {
  const long double osc = oscillatorValue(state, block, bandLimited) * sample.noteActive;
  const long double y2 = preFilter(state, block, osc);
  const long double r = resonance(state, block);
  const long double q = block.square ? 0.992f : 0.9f;
  const long double y3 =
      resonantLowpass(state.m_lp3, sample.cutCoef, q * r, y2 * state.m_ampEnv, state.m_noteFreq * block.k, block.filterRate);
  long double out = y3 * (1.0L + 1.5L * (1.0L - r)) * (1.0L + 3.0L * state.m_accentLevel) * state.m_noteLevel * 0.26666668f;
  if (!block.square) out *= 1.5L;
  return dist_dist(out);
}

float keyboardVoiceSample(VoiceState& state, const VoiceBlock& block, float bandLimited) {
  // The click offset left by a key that interrupted a release ramps away.
  if (state.m_declickOffset != 0.0f) {
    state.m_declickOffset = static_cast<float>(state.m_declickOffset - state.m_declickStep);
    if ((state.m_declickStep < 0.0 && state.m_declickOffset >= 0.0f) ||
        (state.m_declickStep > 0.0 && state.m_declickOffset <= 0.0f))
      state.m_declickOffset = 0.0f;
  }
  advanceAccentAndFilterEnvelope(state, block);
  const double octaves = static_cast<double>(block.envMod * (state.m_filterEnv - 2.0L) + block.accK * state.m_accentEnv);
  const long double cutCoef = cutoffCoefficient(octaves, block.cutBase);
  advancePhase(state, block);

  const long double osc = oscillatorValue(state, block, bandLimited);
  const long double y2 = preFilter(state, block, osc);
  const long double r = resonance(state, block);
  const long double q = block.square ? 0.992f : 0.9f;
  const long double y3 = resonantLowpass(state.m_lp3, cutCoef, q * r, y2, state.m_noteFreq * block.k, block.filterRate);
  long double out = y3 * (1.0L + 1.5L * (1.0L - r)) * (1.0L + 3.0L * state.m_accentLevel);
  // The keyboard saw ignores the output droop; the square keeps whatever
  // level the sequencer voice last left.
  out = block.square ? out * state.m_noteLevel * 0.26666668f : out * 0.26666668f * 1.5L;
  const float result = static_cast<float>((dist_dist(out) + state.m_declickOffset) * state.m_keyFadeGain);
  state.m_lastOutput = result;
  return result;
}
