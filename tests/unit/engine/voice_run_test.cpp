// The voice's run renderer (what the engine loop plays) against the
// per-sample functions, which it must equal bit for bit in every variant it
// dispatches to: rates whose constants are exact doubles or not, the
// resonant low-pass's q of 1 or not, band-limited or direct oscillator, saw
// and square, sequencer and keyboard voice. And the gate's release, which
// must take the same time in seconds at every rate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/Tables.h"
#include "engine/Voice.h"

namespace {

bool same(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }

bool sameVoice(const VoiceState& a, const VoiceState& b) {
  const long double VoiceState::*fields[] = {
      &VoiceState::m_noteFreq,    &VoiceState::m_slideFactor,      &VoiceState::m_phase,
      &VoiceState::m_filterEnv,   &VoiceState::m_cutoffDrift,      &VoiceState::m_ampEnv,
      &VoiceState::m_noteLevel,   &VoiceState::m_accentCharge,     &VoiceState::m_accentEnv,
      &VoiceState::m_accentLevel, &VoiceState::m_accentLevelTarget};
  for (auto f : fields)
    if (!same(a.*f, b.*f)) return false;
  return same(a.m_preLowpass.s0, b.m_preLowpass.s0) && same(a.m_preHighpass.s0, b.m_preHighpass.s0) &&
         same(a.m_preHighpass.s1, b.m_preHighpass.s1) && same(a.m_preHighpass.s2, b.m_preHighpass.s2) &&
         same(a.m_lp3.s0, b.m_lp3.s0) && same(a.m_lp3.s1, b.m_lp3.s1) && same(a.m_lp3.s2, b.m_lp3.s2) &&
         a.m_noteReleased == b.m_noteReleased && a.m_declickOffset == b.m_declickOffset &&
         a.m_lastOutput == b.m_lastOutput;
}

// A note as a step event or a key starts it: accented, gliding down.
void startNote(VoiceState& v, int note) {
  v.m_noteFreq = cNoteFreq[note];
  v.m_slideFactor = 0.99995L;
  v.m_phase = 0.0L;
  v.m_filterEnv = 4.0L;
  v.m_cutoffDrift = 0.0L;
  v.m_noteLevel = 1.0L;
  v.m_noteReleased = false;
  v.m_accentOn = true;
  v.m_accentLevelTarget = 0.6f;
  v.m_accentCharge = v.m_accentEnv + 2.0L;
}

TEST(VoiceRun, EqualsTheVoiceSampleBySample) {
  initFunTab1();
  initFunTab2();
  struct Variant {
    double rate;  // 22050, 32000: q 1, long double rates; 88200: double rates, q 1/2
    bool square, bandLimited, keyboard;
  };
  const Variant variants[] = {{22050, false, true, false}, {32000, true, false, false},
                              {88200, true, true, false},  {96000, false, false, false},
                              {32000, false, true, true},  {88200, true, false, true}};
  for (const Variant& c : variants) {
    SCOPED_TRACE(testing::Message() << c.rate << (c.square ? " square" : " saw")
                                    << (c.keyboard ? " keyboard" : ""));
    VoiceParameters p;
    p.waveform = c.square ? 1.0f : 0.0f;
    VoiceState runs, samples;
    runs.reset();
    runs.m_declickOffset = 0.2f;  // a key that interrupted a release
    runs.m_declickStep = 0.2 / 110.0;
    startNote(runs, 20);
    samples = runs;
    const VoiceBlock block = voiceBlockConstants(p, runs, c.rate, c.bandLimited);
    float osc[VoiceRun::kMaxLength], out[VoiceRun::kMaxLength];
    double gain[VoiceRun::kMaxLength];
    for (int start = 0, length = 1; start < 3000;
         start += length, length = length % 25 + 8) {
      for (int j = 0; j < length; ++j) {
        osc[j] = std::sin(0.37f * static_cast<float>(start + j));
        gain[j] = 1.0 - (start + j) / 4000.0;
      }
      if (start >= 1500 && start < 1540) startNote(runs, 33), startNote(samples, 33);
      VoiceRun run;
      run.length = length;
      run.gateFrom = std::min(length, std::max(0, 700 - start));  // the gate closes at sample 700
      run.glideSamples = std::min(length, std::max(0, 2000 - start));
      run.bandLimited = osc;
      run.gain = gain;
      run.out = out;
      c.keyboard ? keyboardVoiceRun(runs, block, run) : sequencerVoiceRun(runs, block, run);
      for (int j = 0; j < length; ++j) {
        float expected;
        if (c.keyboard) {
          samples.m_keyFadeGain = gain[j];
          expected = keyboardVoiceSample(samples, block, osc[j]);
          if (j < run.glideSamples)
            samples.m_noteFreq *= samples.m_slideFactor;
          else
            samples.m_slideFactor = 1.0L;
        } else {
          const VoiceSample s = sequencerVoiceAdvance(samples, block);
          if (j >= run.gateFrom) sequencerVoiceRelease(samples, s);
          expected = static_cast<float>(sequencerVoiceOutput(samples, block, s, osc[j]) * gain[j]);
          samples.m_noteFreq *= samples.m_slideFactor;
        }
        ASSERT_EQ(std::memcmp(&out[j], &expected, sizeof expected), 0) << "sample " << start + j;
      }
      ASSERT_TRUE(sameVoice(runs, samples)) << "after sample " << start + length;
    }
  }
}

TEST(VoiceRun, GateReleaseTakesTheSameTimeAtEveryRate) {
  // Once the gate is closed the envelope takes two steps a sample toward 0,
  // its own and the gate's, both at 0.004 k: after 10 ms (n samples) it is
  // at (1 - 0.004 k)^(2 n) of where it was, 0.029157, 0.029173 and 0.029268
  // at 44.1, 48 and 96 kHz. (Were the gate's step not scaled by k, 96 kHz
  // would give 0.00365.)
  const double rates[] = {44100, 48000, 96000};
  const double expected[] = {0.029157, 0.029173, 0.029268};
  for (int r = 0; r < 3; ++r) {
    VoiceState v;
    v.reset();
    startNote(v, 20);
    v.m_ampEnv = 1.0L;
    v.m_noteReleased = true;
    const VoiceBlock block = voiceBlockConstants(VoiceParameters(), v, rates[r], false);
    float out[VoiceRun::kMaxLength];
    const double gain[VoiceRun::kMaxLength] = {};
    const int n = static_cast<int>(std::lround(0.01 * rates[r]));
    for (int done = 0; done < n; done += VoiceRun::kMaxLength) {
      VoiceRun run;
      run.length = std::min(VoiceRun::kMaxLength, n - done);
      run.gateFrom = 0;
      run.gain = gain;
      run.out = out;
      sequencerVoiceRun(v, block, run);
    }
    EXPECT_NEAR(static_cast<double>(v.m_ampEnv), expected[r], 1e-6) << rates[r];
  }
}

}  // namespace
