// The voice's run renderer (what the engine loop plays) against the
// per-sample functions, which it must equal bit for bit in every variant it
// dispatches to: rates whose constants are exact doubles or not, the
// resonant low-pass's q of 1 or not, band-limited or direct oscillator, saw
// and square, sequencer and keyboard voice. And the gate's release, which
// must take the same time in seconds at every rate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/Tables.h"
#include "engine/Voice.h"

namespace {

constexpr int kMax = VoiceRun::kMaxLength;

// An accented note gliding down, as a step event or a key starts it.
void startNote(VoiceState& v, int note) {
  v.m_noteFreq = cNoteFreq[note];
  v.m_slideFactor = 0.99995L;
  v.m_phase = 0.0L;
  v.m_filterEnv = 4.0L;
  v.m_cutoffDrift = 0.0L;
  v.m_noteReleased = false;
  v.m_accentOn = true;
  v.m_accentLevelTarget = 0.6f;
  v.m_accentCharge = v.m_accentEnv + 2.0L;
}

TEST(VoiceRun, EqualsTheVoiceSampleBySample) {
  initFunTab1();
  initFunTab2();
  struct Variant {
    double rate;  // 22050, 32000: q 1, rates in long double; 88200: rates in double, q 1/2
    bool square, bandLimited, keyboard;
  } const variants[] = {{22050, false, true, false}, {32000, true, false, false},
                        {88200, true, true, false},  {96000, false, false, false},
                        {32000, false, true, true},  {88200, true, false, true}};
  for (const Variant& c : variants) {
    SCOPED_TRACE(testing::Message() << c.rate << (c.square ? " square" : " saw")
                                    << (c.keyboard ? " keys" : ""));
    VoiceParameters p;
    p.waveform = c.square ? 1.0f : 0.0f;
    VoiceState runs;
    runs.reset();
    runs.m_declickOffset = 0.2f;  // a key that interrupted a release
    startNote(runs, 20);
    VoiceState samples = runs;
    const VoiceBlock block = voiceBlockConstants(p, runs, c.rate, c.bandLimited);
    float osc[kMax], out[kMax];
    double gain[kMax];
    for (int start = 0, length = 1; start < 3000; start += length, length = length % 25 + 8) {
      for (int j = 0; j < length; ++j) {
        osc[j] = std::sin(0.37f * static_cast<float>(start + j));
        gain[j] = 1.0 - (start + j) / 4000.0;
      }
      if (start >= 1500 && start < 1540) startNote(runs, 33), startNote(samples, 33);
      // The gate closes at sample 700, the key's glide ends at 2000.
      const VoiceRun run{length,
                         std::min(length, std::max(0, 700 - start)),
                         std::min(length, std::max(0, 2000 - start)),
                         osc,
                         gain,
                         out};
      c.keyboard ? keyboardVoiceRun(runs, block, run) : sequencerVoiceRun(runs, block, run);
      for (int j = 0; j < length; ++j) {
        float expected;
        if (c.keyboard) {
          samples.m_keyFadeGain = gain[j];
          expected = keyboardVoiceSample(samples, block, osc[j]);
          if (j >= run.glideSamples) samples.m_slideFactor = 1.0L;
        } else {
          const VoiceSample s = sequencerVoiceAdvance(samples, block);
          if (j >= run.gateFrom) sequencerVoiceRelease(samples, s);
          expected = static_cast<float>(sequencerVoiceOutput(samples, block, s, osc[j]) * gain[j]);
        }
        samples.m_noteFreq *= samples.m_slideFactor;
        ASSERT_EQ(std::memcmp(&out[j], &expected, sizeof expected), 0) << "sample " << start + j;
      }
    }
    for (auto [a, b] : {std::pair{runs.m_lp3.s2, samples.m_lp3.s2},
                        {runs.m_noteFreq, samples.m_noteFreq},
                        {runs.m_ampEnv, samples.m_ampEnv},
                        {runs.m_phase, samples.m_phase}})
      EXPECT_EQ(std::memcmp(&a, &b, 10), 0);
  }
}

TEST(VoiceRun, GateReleaseTakesTheSameTimeAtEveryRate) {
  // Once the gate is closed the envelope takes two steps a sample toward 0,
  // its own and the gate's, both at 0.004 k: after 10 ms (n samples) it is
  // at (1 - 0.004 k)^(2 n) of where it was, 0.029157, 0.029173 and 0.029268
  // at 44.1, 48 and 96 kHz. (Without k on the gate's step 96 kHz gives
  // 0.00365.)
  const double rates[] = {44100, 48000, 96000}, expected[] = {0.029157, 0.029173, 0.029268};
  for (int r = 0; r < 3; ++r) {
    VoiceState v;
    v.reset();
    startNote(v, 20);
    v.m_ampEnv = 1.0L;
    v.m_noteReleased = true;
    const VoiceBlock block = voiceBlockConstants(VoiceParameters(), v, rates[r], false);
    float out[kMax];
    const double gain[kMax] = {};
    const int n = static_cast<int>(std::lround(0.01 * rates[r]));
    for (int done = 0; done < n; done += kMax)
      sequencerVoiceRun(v, block, VoiceRun{std::min(kMax, n - done), 0, 0, nullptr, gain, out});
    EXPECT_NEAR(static_cast<double>(v.m_ampEnv), expected[r], 1e-6) << rates[r];
  }
}

}  // namespace
