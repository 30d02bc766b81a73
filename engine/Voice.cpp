#include "engine/Voice.h"

#include <cmath>

#include "engine/Tables.h"
#include "engine/VoiceKernel.h"

namespace {
constexpr long double kHalfPi = 1.5707963265L;
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
  block.phaseIncrement = voicekernel::kTwoPi * block.tuneMul / (4.0L * block.sr);
  block.filterRate = resonantRate(block.sr);
  block.doubleRates = voicekernel::ratesAreDoubles(block);
  return block;
}

long double cutoffCoefficient(long double octaves, long double cutBase) {
  return voicekernel::cutoffCoefficient(octaves, cutBase);
}

VoiceSample sequencerVoiceAdvance(VoiceState& state, const VoiceBlock& block) {
  using namespace voicekernel;
  VoiceSample sample;
  sample.noteActive = state.m_noteFreq != 0.0L ? 1.0L : 0.0L;
  driftStep(state.m_cutoffDrift, state.m_accentOn, block.driftRateAccent, block.driftRatePlain);
  sample.ampTarget = state.m_noteReleased ? 0.0L : 1.0L;
  sample.ampRate = state.m_noteReleased ? block.ampRateReleased : block.ampRateOpen;
  approach(state.m_ampEnv, sample.ampTarget, sample.ampRate);
  noteLevelStep(state.m_noteLevel, block.noteLevelRate);
  accentChargeStep(state.m_accentCharge, block.accentChargeDecrement);
  accentTargetStep(state.m_accentLevelTarget, block.accentTargetDecrement);
  approach(state.m_accentEnv, state.m_accentCharge, block.accentEnvRate);
  approach(state.m_accentLevel, state.m_accentLevelTarget, block.accentLevelRate);
  state.m_filterEnv *= block.decayMul;
  const double octaves =
      sequencerOctaves(state.m_cutoffDrift, state.m_filterEnv, state.m_accentEnv, block.envMod, block.accK);
  sample.cutCoef = voicekernel::cutoffCoefficient(octaves, block.cutBase);
  phaseStep(state.m_phase, state.m_noteFreq, block.phaseIncrement);
  return sample;
}

void sequencerVoiceRelease(VoiceState& state, const VoiceSample& sample) {
  state.m_noteReleased = true;
  voicekernel::approach(state.m_ampEnv, sample.ampTarget, sample.ampRate);
}

namespace {

// Oscillator and pre-filters, shared by both voices; only the sequencer
// voice's oscillator has the note-active factor.
template <bool Sequencer>
inline long double oscillatorAndPreFilter(VoiceState& state, const VoiceBlock& block, float bandLimited,
                                          long double noteActive) {
  using namespace voicekernel;
  long double osc = block.bandLimited ? 0.5L * bandLimited : directOscillator(state.m_phase, block.square);
  if (Sequencer) osc = osc * noteActive;
  return preFilterStep(state.m_preLowpass.s0, state.m_preHighpass.s0, state.m_preHighpass.s1, state.m_preHighpass.s2,
                       block.square, block.preLowpassSmooth, block.preLowpassSquarePositive, block.preHighpass, osc);
}

}  // namespace

double sequencerVoiceOutput(VoiceState& state, const VoiceBlock& block, const VoiceSample& sample,
                            float bandLimited) {
  using namespace voicekernel;
  const long double y2 = oscillatorAndPreFilter<true>(state, block, bandLimited, sample.noteActive);
  const long double r =
      resonanceOf(state.m_accentLevel, block.resoAmt, block.accK, sawFactor(block.square, 1.1f));
  const long double y3 = resonantLowpass(state.m_lp3, sample.cutCoef, resonanceWeight(block.square) * r,
                                         y2 * state.m_ampEnv, state.m_noteFreq * block.k, block.filterRate);
  return dist_dist(
      sequencerLevel(y3, r, state.m_accentLevel, state.m_noteLevel, sawFactor(block.square, 1.5f)));
}

float keyboardVoiceSample(VoiceState& state, const VoiceBlock& block, float bandLimited) {
  using namespace voicekernel;
  declickStep(state.m_declickOffset, state.m_declickStep);
  accentChargeStep(state.m_accentCharge, block.accentChargeDecrement);
  accentTargetStep(state.m_accentLevelTarget, block.accentTargetDecrement);
  approach(state.m_accentEnv, state.m_accentCharge, block.accentEnvRate);
  approach(state.m_accentLevel, state.m_accentLevelTarget, block.accentLevelRate);
  state.m_filterEnv *= block.decayMul;
  const double octaves = keyboardOctaves(state.m_filterEnv, state.m_accentEnv, block.envMod, block.accK);
  const long double cutCoef = voicekernel::cutoffCoefficient(octaves, block.cutBase);
  phaseStep(state.m_phase, state.m_noteFreq, block.phaseIncrement);

  const long double y2 = oscillatorAndPreFilter<false>(state, block, bandLimited, 1.0L);
  const long double r =
      resonanceOf(state.m_accentLevel, block.resoAmt, block.accK, sawFactor(block.square, 1.1f));
  const long double y3 = resonantLowpass(state.m_lp3, cutCoef, resonanceWeight(block.square) * r, y2,
                                         state.m_noteFreq * block.k, block.filterRate);
  const long double out = keyboardLevel(y3, r, state.m_accentLevel, state.m_noteLevel, block.square);
  const float result = static_cast<float>((dist_dist(out) + state.m_declickOffset) * state.m_keyFadeGain);
  state.m_lastOutput = result;
  return result;
}
