// The block driver's distortion crossfades and output volume, seen from the
// host: two instruments play the factory pattern side by side from the same
// transport, so their dry voices are sample for sample identical. kDry never
// switches the distortion on and supplies the dry voice; the distorted sound
// comes from a standalone DistortionUnit kept in the same state as the other
// instrument's, fed with that dry voice, and the fades are mixed here from
// the written rules (len = min(frames, 64), g = 1 - i / len):
//   switch on:  out[i] = (1 - g) dist[i] + g dry[i], the first len samples
//   switch off: out[i] = g dist[i] + (1 - g) dry[i], the last len samples
//   algorithm:  out[i] = (1 - g) new[i] + g old[i],  g = 1 - i / frames
// The delay stays off, so the output is the stage's left channel times the
// settled output volume, and the right channel must equal the left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "effects/DistortionUnit.h"
#include "plugin/Tolvane.h"

namespace {

constexpr double kRate = 44100.0, kTempo = 120.0;
constexpr int kBlock = 512, kFade = 64;
constexpr float kDrive = 0.7f, kPrm2 = 0.5f;  // "Dist prm1", "Dist prm2" everywhere

// From crossfade_expected.py: the volume smoother's fixed point at "Volume"
// 1 and its steps (left, right of frames 0..7) after the target drops to 0.5.
constexpr double kSettledGain = 0.999999166;
constexpr double kHalfVolumeSteps[16] = {9.825031161e-01, 9.656193256e-01, 9.493263364e-01, 9.336034656e-01,
                                         9.184307456e-01, 9.037889838e-01, 8.896595836e-01, 8.760246038e-01,
                                         8.628666997e-01, 8.501692414e-01, 8.379160762e-01, 8.260917068e-01,
                                         8.146810532e-01, 8.036696911e-01, 7.930436730e-01, 7.827894688e-01};

// The driver mixes in float (worst rounding seen 8.4e-8, plus one ulp from
// dividing the volume out of the dry voice). A fade gain one sample out
// moves a sample by |dist - dry| / len: 1e-3 for the 64-sample fades, still
// above 5e-6 for the algorithm crossfade of a 40000-frame block.
constexpr double kTolerance = 1e-6;

VstTimeInfo g_time;
VstIntPtr VST_CALL hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&g_time);
  return opcode == audioMasterProcessEvents ? 1 : 0;
}

using Samples = std::vector<float>;
using Expected = std::vector<double>;
enum { kDry = 0, kFx = 1 };

// Two instruments in host sync at 120 BPM.
struct Rig {
  explicit Rig(int maxBlock) {
    g_time = VstTimeInfo{};
    g_time.sampleRate = kRate;
    g_time.tempo = kTempo;
    g_time.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTransportChanged;
    for (auto& synth : synths) {
      synth = std::make_unique<Tolvane>(hostCallback);
      synth->setSampleRate(static_cast<float>(kRate));
      synth->setBlockSize(maxBlock);
      synth->resume();
      synth->setParameter(kDistParam1, kDrive);
      synth->setParameter(kDistParam2, kPrm2);
    }
  }
  void render(int frames) {
    for (int k = 0; k < 2; ++k) {
      left[k].resize(static_cast<size_t>(frames));
      right[k].resize(static_cast<size_t>(frames));
      float* outputs[2] = {left[k].data(), right[k].data()};
      synths[k]->processReplacing(nullptr, outputs, frames);
    }
    g_time.ppqPos += frames * kTempo / (60.0 * kRate);
    g_time.flags &= ~kVstTransportChanged;
  }
  // kDry's output with the settled volume divided out.
  Samples dry() const {
    Samples d(left[kDry].size());
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<float>(left[kDry][i] / kSettledGain);
    return d;
  }
  std::unique_ptr<Tolvane> synths[2];
  Samples left[2], right[2];
};

// A distortion unit set up like the instrument's.
struct Mirror : DistortionUnit {
  Mirror() {
    setSampleRate(static_cast<float>(kRate));
    setDistoParam1(kDrive);
    setDistoParam2(kPrm2);
  }
  Expected distort(Samples x) {
    Samples right(x.size());
    float* channels[2] = {x.data(), right.data()};
    processDisto(channels, static_cast<int>(x.size()));
    return Expected(x.begin(), x.end());
  }
};

// Switch on (first len samples) or off (last len) between dry and dist.
Expected fade(const Samples& dry, Expected e, bool on) {
  const int n = static_cast<int>(dry.size()), len = std::min(n, kFade), first = on ? 0 : n - len;
  for (int i = first; i < first + len; ++i) {
    const double g = on ? 1.0 - static_cast<double>(i) / len : static_cast<double>(i - first) / len;
    e[i] = (1.0 - g) * e[i] + g * dry[i];
  }
  return e;
}

// The algorithm change over the block: the new algorithm runs first, then
// the previous one over the same dry block (the order matters for the
// oversampler the 4x algorithms share); the mirror keeps the new one.
Expected change(Mirror& mirror, float select, const Samples& dry) {
  int other = mirror.m_distoAlgorithm;
  mirror.setDisto(select);
  Expected e = mirror.distort(dry);
  std::swap(mirror.m_distoAlgorithm, other);
  const Expected oldSound = mirror.distort(dry);
  std::swap(mirror.m_distoAlgorithm, other);
  for (size_t i = 0; i < e.size(); ++i) {
    const double g = 1.0 - static_cast<double>(i) / static_cast<double>(e.size());
    e[i] = (1.0 - g) * e[i] + g * oldSound[i];
  }
  return e;
}

::testing::AssertionResult matches(const Rig& rig, const Expected& expected) {
  const Samples& out = rig.left[kFx];
  if (rig.right[kFx] != out) return ::testing::AssertionFailure() << "right channel differs from left";
  for (size_t i = 0; i < out.size(); ++i)
    if (!(std::fabs(out[i] - kSettledGain * expected[i]) <= kTolerance))
      return ::testing::AssertionFailure()
             << "sample " << i << " is " << out[i] << ", expected " << kSettledGain * expected[i];
  return ::testing::AssertionSuccess();
}

// Something sounds under a fade at [from, from + 64): otherwise a wrong fade
// could pass unseen.
double rms(const Samples& s, size_t from) {
  double e = 0.0;
  for (size_t i = from; i < from + kFade && i < s.size(); ++i) e += double(s[i]) * s[i];
  return std::sqrt(e / kFade);
}

}  // namespace

// Per row: 512-frame blocks of lead-in (the distortion on from the third to
// the third-last, so the per-slice smoothers have settled and the sound no
// longer depends on how a block is cut), then blocks of `frames`: switch on,
// one algorithm change per entry of `changes`, switch off, and dry again.
// The long rows exceed the driver's 16384-frame buffers, which it works
// through in segments; the lead-ins put a note under every fade.
TEST(DistortionCrossfade, SwitchOnChangeAndSwitchOff) {
  struct Case {
    int frames, leadIn;
    std::vector<float> changes;  // "Dist Sel" values
  };
  const Case cases[] = {
      {32, 12, {0.5f}}, {512, 12, {0.25f, 0.75f}}, {20000, 167, {0.75f}}, {40000, 105, {0.75f}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frames);
    Rig rig(std::max(c.frames, kBlock));
    Tolvane& fx = *rig.synths[kFx];
    Mirror mirror;
    for (int b = 0; b < c.leadIn; ++b) {
      if (b == 2 || b == c.leadIn - 3) fx.setParameter(kDisto, b == 2 ? 1.0f : 0.0f);
      rig.render(kBlock);
      if (b >= 2 && b <= c.leadIn - 3) mirror.distort(rig.dry());
    }
    ASSERT_EQ(rig.left[kFx], rig.left[kDry]);

    fx.setParameter(kDisto, 1.0f);
    rig.render(c.frames);
    Samples dry = rig.dry();
    ASSERT_GT(rms(dry, 0), 0.05) << "no note under the fade";
    EXPECT_TRUE(matches(rig, fade(dry, mirror.distort(dry), true)));
    for (float select : c.changes) {
      fx.setParameter(kDistSel, select);
      rig.render(c.frames);
      EXPECT_TRUE(matches(rig, change(mirror, select, rig.dry()))) << select;
      EXPECT_FALSE(fx.m_disto.m_distoAlgorithmChanged);
    }
    fx.setParameter(kDisto, 0.0f);
    rig.render(c.frames);
    dry = rig.dry();
    ASSERT_GT(rms(dry, dry.size() - std::min<size_t>(dry.size(), kFade)), 0.02) << "no note under the fade";
    EXPECT_TRUE(matches(rig, fade(dry, mirror.distort(dry), false)));
    rig.render(c.frames);
    EXPECT_EQ(rig.left[kFx], rig.left[kDry]);
  }
}

// "Volume" is a linear gain reached through a 4 ms one-pole smoother that the
// output stage steps twice per frame, once for each channel.
TEST(OutputVolume, HalfVolumeFollowsTheSmootherTwoStepsPerFrame) {
  Rig rig(kBlock);
  for (int b = 0; b < 12; ++b) rig.render(kBlock);
  rig.synths[kFx]->setParameter(kVolume, 0.5f);
  rig.render(kBlock);
  for (int k = 0; k < 16; ++k) {  // left and right of frames 0..7
    const Samples* out = k % 2 ? rig.right : rig.left;
    ASSERT_GT(std::fabs(out[kDry][k / 2]), 1e-3f) << "too quiet for a 1e-6 ratio";
    EXPECT_NEAR(out[kFx][k / 2] / out[kDry][k / 2], kHalfVolumeSteps[k] / kSettledGain, 1e-6) << k;
  }
}
