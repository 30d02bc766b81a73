// The single voice: envelopes and accent circuits, how cutoff, resonance,
// envelope modulation, decay and accent combine into the resonant filter's
// inputs, the oscillator, the filter stages, the output gains and the
// waveshaper. The engine loop owns note events, gates and fades and calls
// this once per sample.
//
// Rates: every per-sample rate constant is defined at 44100 Hz and scaled
// by k = 44100 / sr, so envelope times stay in seconds at any rate (the
// filter envelope's decay multiplier is the exception: it is per sample).
// State and arithmetic are extended precision; single-precision constants
// are written as float literals on purpose.
#pragma once

#include "engine/Filters.h"

// The raw 0..1 sound parameters the voice reads at each block start.
struct VoiceParameters {
  float waveform = 0.0f;  // 0 saw, 1 square
  float tuning = 0.5f;
  float cutoff = 0.09375f;
  float resonance = 0.919375f;
  float envMod = 0.170625f;
  float decay = 0.9f;
  float accent = 0.304375f;
  float antialias = 1.0f;
};

struct VoiceState {
  long double m_noteFreq = 0.0L;  // table frequency; the voice sounds a quarter of it
  long double m_slideFactor = 1.0L;
  long double m_slideTargetFreq = 0.0L;
  int m_sliding = 0;
  int m_tieToNext = 0;
  long double m_phase = 0.0L;
  long double m_filterEnv = 2.5L;
  long double m_cutoffDrift = 0.0L;
  long double m_ampEnv = 0.0L;
  bool m_noteReleased = true;
  long double m_noteLevel = 1.0L;
  bool m_accentOn = false;
  long double m_accentCharge = 0.0L;
  long double m_accentEnv = 0.0L;
  long double m_accentLevelTarget = 0.0L;
  long double m_accentLevel = 0.0L;
  tbiquadFIR m_preLowpass;
  tbiquad m_preHighpass;
  tbiquad m_lp3;
  bool m_squareWave = false;

  // Keyboard voice.
  int m_samplesInStep = 0;
  bool m_keyReleaseFade = false;
  double m_keyFadeGain = 1.0;
  float m_declickOffset = 0.0f;
  double m_declickStep = 1.0 / 441.0;
  float m_lastOutput = 0.0f;

  // The construction reset: every value above to its start value and the
  // three filter records cleared.
  void reset();
};

// Constants of one block, from the parameters of that moment.
struct VoiceBlock {
  double sr = 44100.0;
  long double k = 1.0L;
  long double tuneMul = 1.0L;
  long double accK = 0.0L;
  long double envMod = 0.0L;
  long double cutBase = 0.0L;
  long double resoAmt = 0.25L;
  long double decayMul = 1.0L;
  bool square = false;
  bool bandLimited = false;  // read the band-limited oscillator buffer

  // Per-sample rates already scaled by k, and the rate terms of the filter,
  // so that no sample repeats a block's work.
  long double driftRateAccent = 0.0L, driftRatePlain = 0.0L;
  long double ampRateOpen = 0.0L, ampRateReleased = 0.0L;
  long double noteLevelRate = 0.0L;
  long double accentChargeDecrement = 0.0L, accentTargetDecrement = 0.0L;
  long double accentEnvRate = 0.0L, accentLevelRate = 0.0L;
  long double preLowpassSmooth = 0.0L, preLowpassSquarePositive = 0.0L, preHighpass = 0.0L;
  long double phaseIncrement = 0.0L;  // phase advance per unit of note frequency
  ResonantRate filterRate;
  // The rates above that k scales, k, envMod and accK are all exactly
  // doubles (at 44100 Hz and its power-of-two multiples): the block
  // renderer may then multiply with doubles. False is always safe.
  bool doubleRates = false;
};

// sr: the rendering rate; bandLimitedRate: the oscillator buffer is filled
// (host rates from 22050 Hz, never in the 44100 Hz low-rate routines).
VoiceBlock voiceBlockConstants(const VoiceParameters& parameters, const VoiceState& state, double sr,
                               bool bandLimitedRate);

// What the first half of a sample leaves for the gate test and the second
// half.
struct VoiceSample {
  long double noteActive = 0.0L;
  long double cutCoef = 0.0L;
  long double ampTarget = 0.0L;  // amplitude target and rate of this sample,
  long double ampRate = 0.0L;    // for the gate's extra step
};

// Sequencer voice, steps up to the phase advance: envelopes, accent
// drivers, cutoff and phase.
VoiceSample sequencerVoiceAdvance(VoiceState& state, const VoiceBlock& block);
// The gate closing inside a sample: release and one more amplitude step
// toward this sample's target at this sample's rate (scaled by k like every
// rate, so the release takes the same time at every sample rate).
void sequencerVoiceRelease(VoiceState& state, const VoiceSample& sample);
// Sequencer voice, from the oscillator to the waveshaper. `bandLimited` is
// this sample of the oscillator buffer (ignored unless block.bandLimited).
double sequencerVoiceOutput(VoiceState& state, const VoiceBlock& block, const VoiceSample& sample,
                            float bandLimited);

// Keyboard voice: one whole sample including the click offset and the key
// fade gain; the result is also stored in m_lastOutput.
float keyboardVoiceSample(VoiceState& state, const VoiceBlock& block, float bandLimited);

// A run of samples that nothing interrupts (no step start, key, oscillator
// chunk boundary or end of a fade). The engine loop hands the voice whole
// runs, so the voice can keep its extended-precision values in registers
// for the run instead of storing them after every sample. A run gives the
// same bits as its samples one by one through the functions above.
struct VoiceRun {
  static constexpr int kMaxLength = 32;
  int length = 0;  // 1..kMaxLength
  // Sequencer voice: the first sample whose gate test closes the gate (from
  // there on every sample takes the gate's extra release step); length when
  // it stays open through the run.
  int gateFrom = 0;
  // Keyboard voice: the samples after which m_noteFreq still glides by
  // m_slideFactor; m_slideFactor is 1 after them.
  int glideSamples = 0;
  const float* bandLimited = nullptr;  // the oscillator buffer's samples, when block.bandLimited
  const double* gain = nullptr;        // per sample: the stop fade, or the key fade gain
  float* out = nullptr;
};

// The sequencer voice over a run, gate test included: out[j] = voice *
// gain[j], m_noteFreq glides by m_slideFactor after every sample.
void sequencerVoiceRun(VoiceState& state, const VoiceBlock& block, const VoiceRun& run);
// The keyboard voice over a run (keyboardVoiceSample with m_keyFadeGain =
// gain[j]), the glide included.
void keyboardVoiceRun(VoiceState& state, const VoiceBlock& block, const VoiceRun& run);

// Cutoff in octaves to the resonant low-pass coefficient: interpolated
// 2^C times the block's cutoff base. C outside the table is held at its
// ends.
long double cutoffCoefficient(long double octaves, long double cutBase);
