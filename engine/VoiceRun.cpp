// The voice over runs of samples (VoiceRun in Voice.h).
//
// A run is rendered in passes, each over one group of the voice's values,
// because the x87 has eight registers: a pass that carries two to five
// extended values keeps them in registers through the run, where a single
// pass over all sixteen stores and reloads each of them every sample. The
// voice's values do not depend on one another across the groups except
// through what a pass leaves per sample for a later one (the cutoff in
// octaves, already rounded to double; the accent level; the filter's pitch
// term, input and output), so every value still goes through the
// operations of Voice.cpp in their order.
#include "engine/Voice.h"
#include "engine/VoiceKernel.h"

namespace {

using namespace voicekernel;

constexpr int kMax = VoiceRun::kMaxLength;

// What one pass leaves per sample for the next.
struct RunValues {
  double octaves[kMax];
  bool active[kMax];  // the note is not a rest
  long double accentLevel[kMax];
  long double pitch[kMax];   // f / sr of the resonant low-pass
  long double direct[kMax];  // the direct oscillator (when not band-limited)
  long double input[kMax];   // the resonant low-pass's input
  long double output[kMax];  // the resonant low-pass's output
};

// The pitch and front passes read the block's constants through
// unhoisted() (see VoiceKernel.h), so they stay memory operands instead of
// taking x87 registers from the values those loops carry (measured: faster
// there, slower in the other two).

// Cutoff drift (sequencer voice), accent charge and envelope, filter
// envelope -> the cutoff in octaves.
template <bool Sequencer, class R>
void cutoffPass(VoiceState& s, const VoiceBlock& block, const Rates<R>& k, int n, RunValues& v) {
  long double drift = s.m_cutoffDrift, charge = s.m_accentCharge, env = s.m_accentEnv,
              filterEnv = s.m_filterEnv;
  const bool accentOn = s.m_accentOn;
  for (int j = 0; j < n; ++j) {
    if (Sequencer) driftStep(drift, accentOn, k.driftAccent, k.driftPlain);
    accentChargeStep(charge, k.chargeDecrement);
    approach(env, charge, k.envRate);
    filterEnv *= block.decayMul;
    v.octaves[j] = Sequencer ? sequencerOctaves(drift, filterEnv, env, k.envMod, k.accK)
                             : keyboardOctaves(filterEnv, env, k.envMod, k.accK);
  }
  s.m_cutoffDrift = drift;
  s.m_accentCharge = charge;
  s.m_accentEnv = env;
  s.m_filterEnv = filterEnv;
}

// Pitch and phase (the glide after the first `glide` samples stops), accent
// level.
template <class R>
void pitchPass(VoiceState& s, const VoiceBlock& block, const Rates<R>& rates, int n, int glide,
               RunValues& v) {
  long double noteFreq = s.m_noteFreq, phase = s.m_phase, target = s.m_accentLevelTarget,
              level = s.m_accentLevel;
  const bool direct = !block.bandLimited, square = block.square;
  for (int j = 0; j < n; ++j) {
    const Rates<R>& k = *unhoisted(&rates);
    const VoiceBlock& b = *unhoisted(&block);
    v.active[j] = noteFreq != 0.0L;
    accentTargetStep(target, k.targetDecrement);
    approach(level, target, k.levelRate);
    v.accentLevel[j] = level;
    phaseStep(phase, noteFreq, b.phaseIncrement);
    if (direct) v.direct[j] = directOscillator(phase, square);
    v.pitch[j] = resonantPitch(noteFreq * k.k, b.filterRate.invSr);
    if (j < glide) noteFreq *= unhoisted(&s)->m_slideFactor;
  }
  s.m_noteFreq = noteFreq;
  s.m_phase = phase;
  s.m_accentLevelTarget = target;
  s.m_accentLevel = level;
  if (glide < n) s.m_slideFactor = 1.0L;
}

// Amplitude envelope with the gate (sequencer voice), oscillator and
// pre-filters -> the resonant low-pass's input.
template <bool Sequencer, class R>
void frontPass(VoiceState& s, const VoiceBlock& block, const Rates<R>& rates, const VoiceRun& run,
               RunValues& v) {
  long double lowpass = s.m_preLowpass.s0, h0 = s.m_preHighpass.s0, h1 = s.m_preHighpass.s1,
              h2 = s.m_preHighpass.s2, amp = s.m_ampEnv;
  bool released = s.m_noteReleased;
  const bool bandLimited = block.bandLimited, square = block.square;
  for (int j = 0; j < run.length; ++j) {
    const Rates<R>& k = *unhoisted(&rates);
    if (Sequencer) {
      // Once the gate has closed, every sample also takes its extra
      // release step (at the same rate as the envelope's own step).
      const long double ampTarget = released ? 0.0L : 1.0L;
      const R rate = released ? k.ampReleased : k.ampOpen;
      approach(amp, ampTarget, rate);
      if (j >= run.gateFrom) {
        released = true;
        approach(amp, ampTarget, rate);
      }
    }
    long double osc = bandLimited ? 0.5L * run.bandLimited[j] : v.direct[j];
    if (Sequencer) osc = osc * (v.active[j] ? 1.0L : 0.0L);
    const long double y2 = preFilterStep(lowpass, h0, h1, h2, square, k.preLowpassSmooth,
                                         k.preLowpassSquarePositive, k.preHighpass, osc);
    v.input[j] = Sequencer ? y2 * amp : y2;
  }
  s.m_preLowpass.s0 = lowpass;
  s.m_preHighpass.s0 = h0;
  s.m_preHighpass.s1 = h1;
  s.m_preHighpass.s2 = h2;
  s.m_ampEnv = amp;
  s.m_noteReleased = released;
}

// Cutoff coefficient, resonance, the resonant low-pass -> its output.
template <class R, class Q>
void filterPass(VoiceState& s, const VoiceBlock& block, const Rates<R>& k, Q q, const VoiceRun& run,
                RunValues& v) {
  long double y = s.m_lp3.s0, velocity = s.m_lp3.s1;
  for (int j = 0; j < run.length; ++j) {
    const long double c = voicekernel::cutoffCoefficient(v.octaves[j], block.cutBase);
    const long double r = resonanceOf(v.accentLevel[j], block.resoAmt, k.accK, k.sawResonance);
    long double m;  // only the last sample's is kept
    v.output[j] = resonantCore(y, velocity, m, c, k.weight * r, v.input[j], v.pitch[j], q);
    if (j + 1 == run.length) s.m_lp3.s2 = m;
  }
  s.m_lp3.s0 = y;
  s.m_lp3.s1 = velocity;
}

// Note level (sequencer voice) or click offset (keyboard voice), output
// gains, waveshaper, fade.
template <bool Sequencer, class R>
void outputPass(VoiceState& s, const VoiceBlock& block, const Rates<R>& k, const VoiceRun& run,
                const RunValues& v) {
  long double noteLevel = s.m_noteLevel;
  float declick = s.m_declickOffset, last = s.m_lastOutput;
  const double declickIncrement = s.m_declickStep;
  const bool square = block.square;
  for (int j = 0; j < run.length; ++j) {
    const long double accent = v.accentLevel[j];
    const long double r = resonanceOf(accent, block.resoAmt, k.accK, k.sawResonance);
    if (Sequencer) {
      noteLevelStep(noteLevel, k.noteLevel);
      run.out[j] = static_cast<float>(
          dist_dist(sequencerLevel(v.output[j], r, accent, noteLevel, k.sawLevel)) * run.gain[j]);
    } else {
      declickStep(declick, declickIncrement);
      last = static_cast<float>(
          (dist_dist(keyboardLevel(v.output[j], r, accent, noteLevel, square)) + declick) * run.gain[j]);
      run.out[j] = last;
    }
  }
  s.m_noteLevel = noteLevel;
  s.m_declickOffset = declick;
  s.m_lastOutput = last;
}

template <bool Sequencer, class R, class Q>
void renderRun(VoiceState& s, const VoiceBlock& b, Q q, const VoiceRun& run) {
  const Rates<R> k(b);
  RunValues v;
  cutoffPass<Sequencer>(s, b, k, run.length, v);
  pitchPass(s, b, k, run.length, Sequencer ? run.length : run.glideSamples, v);
  frontPass<Sequencer>(s, b, k, run, v);
  filterPass(s, b, k, q, run, v);
  outputPass<Sequencer>(s, b, k, run, v);
}

// The rates as doubles when they are exactly doubles (44100 Hz and its
// multiples), q left out where it is 1 (up to 44100 Hz).
template <bool Sequencer>
void dispatchRun(VoiceState& s, const VoiceBlock& b, const VoiceRun& run) {
  if (run.length < 1 || run.length > kMax) return;
  const bool unitQ = b.filterRate.q == 1.0L;
  if (b.doubleRates) {
    if (unitQ)
      renderRun<Sequencer, double>(s, b, UnitQ{}, run);
    else
      renderRun<Sequencer, double>(s, b, b.filterRate.q, run);
  } else {
    if (unitQ)
      renderRun<Sequencer, long double>(s, b, UnitQ{}, run);
    else
      renderRun<Sequencer, long double>(s, b, b.filterRate.q, run);
  }
}

}  // namespace

void sequencerVoiceRun(VoiceState& state, const VoiceBlock& block, const VoiceRun& run) {
  dispatchRun<true>(state, block, run);
}

void keyboardVoiceRun(VoiceState& state, const VoiceBlock& block, const VoiceRun& run) {
  dispatchRun<false>(state, block, run);
}
