// The block driver's distortion crossfades and output volume, seen from the
// host: several instruments play the factory pattern side by side from the
// same transport, so their dry voices are sample for sample identical. One
// of them (kDry) never switches the distortion on and supplies the dry voice;
// the expected distorted sound comes from a standalone DistortionUnit in the
// same state as the instrument's (fresh, same parameters, oversampler
// cleared) fed with that dry voice, and the fades are then mixed here from
// the written rules:
//   switch on:  out[i] = (1 - g) dist[i] + g dry[i], g = 1 - i/len, first len
//   switch off: out[i] = g dist[i] + (1 - g) dry[i], same g, last len
//   algorithm:  out[i] = (1 - g) new[i] + g old[i],  g = 1 - i/frames
// with len = min(frames, 64). The delay stays off, so the output is the
// distortion stage's left channel times the output volume, and the right
// channel must equal the left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "effects/DistortionUnit.h"
#include "plugin/Tolvane.h"

namespace {

constexpr double kRate = 44100.0;
constexpr double kTempo = 120.0;
constexpr int kBlock = 512;
constexpr int kFade = 64;
constexpr float kDrive = 0.7f;  // "Dist prm1" on every instrument and reference
constexpr float kPrm2 = 0.5f;   // "Dist prm2"

// The output volume smoother with "Volume" 1.0 settles a little below 1 in
// single precision; this is its fixed point, and then the values after the
// target drops to 0.5, left then right of frames 0..7 (two steps a frame),
// and where it settles then. All come from crossfade_expected.py.
constexpr double kSettledGain = 0.999999166;
constexpr double kSettledHalfGain = 0.500001192;
constexpr double kHalfVolumeSteps[16] = {
    9.825031161e-01, 9.656193256e-01, 9.493263364e-01, 9.336034656e-01,
    9.184307456e-01, 9.037889838e-01, 8.896595836e-01, 8.760246038e-01,
    8.628666997e-01, 8.501692414e-01, 8.379160762e-01, 8.260917068e-01,
    8.146810532e-01, 8.036696911e-01, 7.930436730e-01, 7.827894688e-01};

// Tolerance for a mixed sample: the driver mixes in float, a few roundings
// of values below 1 (the worst seen is 8.4e-8), and the dry voice recovered
// from kDry's output by dividing out the volume can be one ulp off. A fade
// gain one sample out moves a sample by |dist - dry| / len: about 1e-3 for
// the 64-sample fades and still above 5e-6 for the algorithm crossfade of a
// 40000-frame block, so 1e-6 keeps right and wrong apart.
constexpr double kTolerance = 1e-6;

// The host: one transport record, set before each call from the position of
// the instrument being rendered.
VstTimeInfo g_time;

VstIntPtr VST_CALL hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&g_time);
  if (opcode == audioMasterProcessEvents) return 1;
  return 0;
}

using Samples = std::vector<float>;
using Expected = std::vector<double>;

struct Instrument {
  std::unique_ptr<Tolvane> synth;
  long position = 0;  // frames rendered so far
  Samples left, right;
};

// Instruments playing the factory pattern in host sync at 120 BPM.
class Rig {
 public:
  Rig(int count, int maxBlock) : m_instruments(static_cast<size_t>(count)) {
    for (Instrument& in : m_instruments) {
      in.synth = std::make_unique<Tolvane>(hostCallback);
      in.synth->setSampleRate(static_cast<float>(kRate));
      in.synth->setBlockSize(maxBlock);
      in.synth->resume();
      in.synth->setParameter(kDistParam1, kDrive);
      in.synth->setParameter(kDistParam2, kPrm2);
    }
  }

  Tolvane& synth(int k) { return *m_instruments[k].synth; }
  const Samples& left(int k) const { return m_instruments[k].left; }
  const Samples& right(int k) const { return m_instruments[k].right; }

  // One block of every instrument.
  void render(int frames) {
    for (size_t k = 0; k < m_instruments.size(); ++k) renderOne(static_cast<int>(k), frames);
  }

  // One block of instrument k.
  void renderOne(int k, int frames) {
    Instrument& in = m_instruments[k];
    std::memset(&g_time, 0, sizeof g_time);
    g_time.sampleRate = kRate;
    g_time.tempo = kTempo;
    g_time.samplePos = static_cast<double>(in.position);
    g_time.ppqPos = in.position * kTempo / (60.0 * kRate);
    g_time.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
    if (in.position == 0) g_time.flags |= kVstTransportChanged;
    in.left.resize(static_cast<size_t>(frames));
    in.right.resize(static_cast<size_t>(frames));
    float* outputs[2] = {in.left.data(), in.right.data()};
    in.synth->processReplacing(nullptr, outputs, frames);
    in.position += frames;
  }

 private:
  std::vector<Instrument> m_instruments;
};

// A distortion unit set up like the instrument's.
std::unique_ptr<DistortionUnit> makeReference(float select) {
  auto unit = std::make_unique<DistortionUnit>();
  unit->setSampleRate(static_cast<float>(kRate));
  unit->setDistoParam1(kDrive);
  unit->setDistoParam2(kPrm2);
  if (select != 0.0f) unit->setDisto(select);
  unit->m_distoAlgorithmChanged = false;
  unit->clearOversampler();
  return unit;
}

Samples distort(DistortionUnit& unit, const Samples& dry) {
  Samples left = dry, right(dry.size());
  float* channels[2] = {left.data(), right.data()};
  unit.processDisto(channels, static_cast<int>(dry.size()));
  return left;
}

// The two sounds of an algorithm change: the new algorithm over the dry
// block, then the previous one over a copy of it (the order matters for the
// oversampler the 4x algorithms share).
struct Change {
  Samples newSound, oldSound;
};

Change changeAlgorithm(DistortionUnit& unit, float select, const Samples& dry) {
  const int previous = unit.m_distoAlgorithm;
  unit.setDisto(select);
  const int current = unit.m_distoAlgorithm;
  Change c;
  c.newSound = distort(unit, dry);
  unit.m_distoAlgorithm = previous;
  c.oldSound = distort(unit, dry);
  unit.m_distoAlgorithm = current;
  unit.m_distoAlgorithmChanged = false;
  return c;
}

// kDry's output with the settled volume divided out.
Samples dryOf(const Samples& out) {
  Samples dry(out.size());
  for (size_t i = 0; i < out.size(); ++i) dry[i] = static_cast<float>(out[i] / kSettledGain);
  return dry;
}

Expected scaled(const Samples& pre) {
  Expected e(pre.size());
  for (size_t i = 0; i < pre.size(); ++i) e[i] = kSettledGain * pre[i];
  return e;
}

Expected fadeIn(const Samples& dry, const Samples& dist) {
  const int n = static_cast<int>(dry.size()), len = std::min(n, kFade);
  Expected e = scaled(dist);
  for (int i = 0; i < len; ++i) {
    const double g = 1.0 - static_cast<double>(i) / len;
    e[i] = kSettledGain * ((1.0 - g) * dist[i] + g * dry[i]);
  }
  return e;
}

Expected fadeOut(const Samples& dry, const Samples& dist) {
  const int n = static_cast<int>(dry.size()), len = std::min(n, kFade);
  Expected e = scaled(dist);
  for (int i = 0; i < len; ++i) {
    const double g = 1.0 - static_cast<double>(i) / len;
    const int j = n - len + i;
    e[j] = kSettledGain * (g * dist[j] + (1.0 - g) * dry[j]);
  }
  return e;
}

// The algorithm crossfade over the whole block, applied to what the stage
// produced before it (`current`, volume already applied) and the old sound.
Expected fadeAlgorithm(const Expected& current, const Samples& oldSound) {
  const int n = static_cast<int>(current.size());
  Expected e(current.size());
  for (int i = 0; i < n; ++i) {
    const double g = 1.0 - static_cast<double>(i) / n;
    e[i] = (1.0 - g) * current[i] + g * kSettledGain * oldSound[i];
  }
  return e;
}

::testing::AssertionResult matches(const Samples& actual, const Expected& expected, size_t from,
                                   size_t to, double tolerance = kTolerance) {
  if (actual.size() < to || expected.size() < to)
    return ::testing::AssertionFailure() << "block shorter than " << to;
  double worst = 0.0;
  size_t worstAt = from;
  for (size_t i = from; i < to; ++i) {
    const double d = std::fabs(actual[i] - expected[i]);
    if (!(d <= worst)) {
      worst = d;
      worstAt = i;
    }
  }
  if (worst <= tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "sample " << worstAt << " is " << actual[worstAt] << ", expected "
                                       << expected[worstAt] << " (off by " << worst << ")";
}

::testing::AssertionResult matches(const Samples& actual, const Expected& expected) {
  return matches(actual, expected, 0, expected.size());
}

double rms(const Samples& s, size_t from, size_t to) {
  double e = 0.0;
  for (size_t i = from; i < to; ++i) e += static_cast<double>(s[i]) * s[i];
  return std::sqrt(e / static_cast<double>(to - from));
}

double largestDifference(const Samples& a, const Samples& b, size_t from, size_t to) {
  double d = 0.0;
  for (size_t i = from; i < to; ++i) d = std::max(d, static_cast<double>(std::fabs(a[i] - b[i])));
  return d;
}

// Blocks of 512 frames after which the next block starts on a sounding note
// (the voice is near silent between some steps of the factory pattern).
constexpr int kLeadIn = 12;

enum { kDry = 0 };

}  // namespace

// ---------------------------------------------------------------------------

TEST(DistortionCrossfade, SwitchingOnFadesFromDryOverAtMost64Samples) {
  enum { kOn32 = 1, kOn512 = 2 };
  Rig rig(3, kBlock);
  for (int b = 0; b < kLeadIn; ++b) rig.render(kBlock);
  auto ref32 = makeReference(0.0f), ref512 = makeReference(0.0f);

  // A 32-frame block fades over all of its 32 samples.
  rig.synth(kOn32).setParameter(kDisto, 1.0f);
  rig.render(32);
  Samples dry = dryOf(rig.left(kDry)), dist = distort(*ref32, dry);
  ASSERT_GT(rms(dry, 0, 32), 0.05) << "no note under the fade";
  ASSERT_GT(largestDifference(dry, dist, 0, 32), 0.01) << "distortion indistinguishable from dry";
  EXPECT_TRUE(matches(rig.left(kOn32), fadeIn(dry, dist)));
  EXPECT_EQ(rig.right(kOn32), rig.left(kOn32));
  EXPECT_FALSE(rig.synth(kOn32).m_distoToggled);
  EXPECT_EQ(rig.left(kOn512), rig.left(kDry));  // still off: untouched

  // The next block is fully distorted, carrying the unit's state on.
  rig.render(kBlock);
  dry = dryOf(rig.left(kDry));
  EXPECT_TRUE(matches(rig.left(kOn32), scaled(distort(*ref32, dry))));

  // A 512-frame block fades over its first 64 samples only.
  rig.synth(kOn512).setParameter(kDisto, 1.0f);
  rig.render(kBlock);
  dry = dryOf(rig.left(kDry));
  dist = distort(*ref512, dry);
  ASSERT_GT(rms(dry, 0, kFade), 0.05) << "no note under the fade";
  EXPECT_TRUE(matches(rig.left(kOn512), fadeIn(dry, dist)));
  EXPECT_EQ(rig.right(kOn512), rig.left(kOn512));
  EXPECT_TRUE(matches(rig.left(kOn32), scaled(distort(*ref32, dry))));

  rig.render(kBlock);
  dry = dryOf(rig.left(kDry));
  EXPECT_TRUE(matches(rig.left(kOn512), scaled(distort(*ref512, dry))));
  EXPECT_TRUE(matches(rig.left(kOn32), scaled(distort(*ref32, dry))));
  EXPECT_EQ(rig.right(kOn32), rig.left(kOn32));
}

TEST(DistortionCrossfade, SwitchingOffFadesToDryOverTheLast64SamplesThenStaysDry) {
  enum { kOff512 = 1, kOff32 = 2 };
  Rig rig(3, kBlock);
  for (int b = 0; b < kLeadIn - 3; ++b) rig.render(kBlock);
  auto ref512 = makeReference(0.0f), ref32 = makeReference(0.0f);
  rig.synth(kOff512).setParameter(kDisto, 1.0f);
  rig.synth(kOff32).setParameter(kDisto, 1.0f);
  for (int b = 0; b < 2; ++b) {
    rig.render(kBlock);
    const Samples dry = dryOf(rig.left(kDry));
    distort(*ref512, dry);
    distort(*ref32, dry);
  }

  // 512 frames: distorted up to the last 64, which fade to dry.
  rig.synth(kOff512).setParameter(kDisto, 0.0f);
  rig.render(kBlock);
  Samples dry = dryOf(rig.left(kDry)), dist = distort(*ref512, dry);
  ASSERT_GT(rms(dry, kBlock - kFade, kBlock), 0.02) << "no note under the fade";
  ASSERT_GT(largestDifference(dry, dist, kBlock - kFade, kBlock), 0.01);
  EXPECT_TRUE(matches(rig.left(kOff512), fadeOut(dry, dist)));
  EXPECT_EQ(rig.right(kOff512), rig.left(kOff512));
  EXPECT_FALSE(rig.synth(kOff512).m_distoToggled);
  EXPECT_TRUE(matches(rig.left(kOff32), scaled(distort(*ref32, dry))));

  // 32 frames: the whole block fades; the 512 one is dry already.
  rig.synth(kOff32).setParameter(kDisto, 0.0f);
  rig.render(32);
  dry = dryOf(rig.left(kDry));
  dist = distort(*ref32, dry);
  ASSERT_GT(rms(dry, 0, 32), 0.05) << "no note under the fade";
  ASSERT_GT(largestDifference(dry, dist, 0, 32), 0.01);
  EXPECT_TRUE(matches(rig.left(kOff32), fadeOut(dry, dist)));
  EXPECT_EQ(rig.left(kOff512), rig.left(kDry));

  // From now on both are exactly the dry instrument.
  for (int b = 0; b < 3; ++b) {
    rig.render(kBlock);
    EXPECT_EQ(rig.left(kOff512), rig.left(kDry)) << "block " << b;
    EXPECT_EQ(rig.left(kOff32), rig.left(kDry)) << "block " << b;
    EXPECT_EQ(rig.right(kOff32), rig.right(kDry)) << "block " << b;
  }
}

// A "Dist Sel" change is only crossfaded by a block that runs with the
// distortion on: one made while off (kPending), or together with the switch
// off (kOffAndChange, whose last distorted block already uses the new
// algorithm, without the algorithm crossfade), stays pending until then.
TEST(DistortionCrossfade, AlgorithmChangeWhileOffWaitsForTheFirstDistortedBlock) {
  enum { kPending = 1, kOffAndChange = 2 };
  Rig rig(3, kBlock);
  for (int b = 0; b < kLeadIn; ++b) rig.render(kBlock);
  auto overdrive = makeReference(0.0f);  // follows kOffAndChange's overdrive
  rig.synth(kOffAndChange).setParameter(kDisto, 1.0f);
  for (int b = 0; b < 3; ++b) {
    rig.render(kBlock);
    distort(*overdrive, dryOf(rig.left(kDry)));
  }

  rig.synth(kOffAndChange).setParameter(kDistSel, 0.5f);  // "HotFuzz"
  rig.synth(kOffAndChange).setParameter(kDisto, 0.0f);
  rig.render(kBlock);
  auto fuzz = makeReference(0.5f), pendingFuzz = makeReference(0.5f);
  Samples dry = dryOf(rig.left(kDry));
  ASSERT_GT(rms(dry, kBlock - kFade, kBlock), 0.02) << "no note under the fade";
  EXPECT_TRUE(matches(rig.left(kOffAndChange), fadeOut(dry, distort(*fuzz, dry))));
  EXPECT_TRUE(rig.synth(kOffAndChange).m_disto.m_distoAlgorithmChanged);

  rig.synth(kPending).setParameter(kDistSel, 0.5f);
  const DistortionUnit& unit = rig.synth(kPending).m_disto;
  EXPECT_TRUE(unit.m_distoAlgorithmChanged);
  EXPECT_EQ(unit.m_distoAlgorithm, 2);
  EXPECT_EQ(unit.m_previousDistoAlgorithm, 0);
  // While off, the blocks are the dry instrument's exactly (no saved copy
  // mixed in) and the changes stay pending.
  for (int b = 0; b < 3; ++b) {
    rig.render(kBlock);
    EXPECT_EQ(rig.left(kPending), rig.left(kDry)) << "block " << b;
    EXPECT_EQ(rig.left(kOffAndChange), rig.left(kDry)) << "block " << b;
    EXPECT_TRUE(unit.m_distoAlgorithmChanged) << "block " << b;
    EXPECT_TRUE(rig.synth(kOffAndChange).m_disto.m_distoAlgorithmChanged) << "block " << b;
  }

  // Switching on now runs both fades in one block: dry to the new algorithm
  // over 64 samples, and the old algorithm's sound to that over all 512.
  rig.synth(kPending).setParameter(kDisto, 1.0f);
  rig.synth(kOffAndChange).setParameter(kDisto, 1.0f);
  rig.render(kBlock);
  dry = dryOf(rig.left(kDry));
  ASSERT_GT(rms(dry, 0, kFade), 0.05) << "no note under the fade";
  auto freshOverdrive = makeReference(0.0f);
  const Samples newSound = distort(*pendingFuzz, dry), oldSound = distort(*freshOverdrive, dry);
  ASSERT_GT(largestDifference(newSound, oldSound, 0, kBlock), 0.05) << "algorithms sound alike";
  EXPECT_TRUE(matches(rig.left(kPending), fadeAlgorithm(fadeIn(dry, newSound), oldSound)));
  EXPECT_EQ(rig.right(kPending), rig.left(kPending));
  EXPECT_FALSE(unit.m_distoAlgorithmChanged);
  EXPECT_TRUE(matches(rig.left(kOffAndChange),
                      fadeAlgorithm(fadeIn(dry, distort(*fuzz, dry)), distort(*overdrive, dry))));
  EXPECT_FALSE(rig.synth(kOffAndChange).m_disto.m_distoAlgorithmChanged);

  rig.render(kBlock);
  dry = dryOf(rig.left(kDry));
  EXPECT_TRUE(matches(rig.left(kPending), scaled(distort(*pendingFuzz, dry))));
  EXPECT_TRUE(matches(rig.left(kOffAndChange), scaled(distort(*fuzz, dry))));
}

TEST(DistortionCrossfade, AlgorithmChangeFadesFromOldToNewOverTheWholeBlock) {
  enum { kChanging = 1, kSteady = 2 };
  Rig rig(3, kBlock);
  for (int b = 0; b < kLeadIn - 3; ++b) rig.render(kBlock);
  // The reference follows the changing instrument's unit through every block.
  auto mirror = makeReference(0.0f);
  rig.synth(kChanging).setParameter(kDisto, 1.0f);
  rig.synth(kSteady).setParameter(kDisto, 1.0f);
  for (int b = 0; b < 3; ++b) {
    rig.render(kBlock);
    distort(*mirror, dryOf(rig.left(kDry)));
  }

  // Overdrive (host rate) to ClipInferno (4x).
  rig.synth(kChanging).setParameter(kDistSel, 0.25f);
  rig.render(kBlock);
  Samples dry = dryOf(rig.left(kDry));
  Change c = changeAlgorithm(*mirror, 0.25f, dry);
  ASSERT_GT(largestDifference(c.newSound, c.oldSound, 0, kBlock), 0.05) << "algorithms sound alike";
  // The old sound is what the unchanged instrument plays.
  EXPECT_TRUE(matches(rig.left(kSteady), scaled(c.oldSound)));
  EXPECT_TRUE(matches(rig.left(kChanging), fadeAlgorithm(scaled(c.newSound), c.oldSound)));
  EXPECT_EQ(rig.right(kChanging), rig.left(kChanging));
  EXPECT_FALSE(rig.synth(kChanging).m_disto.m_distoAlgorithmChanged);

  rig.render(kBlock);
  dry = dryOf(rig.left(kDry));
  EXPECT_TRUE(matches(rig.left(kChanging), scaled(distort(*mirror, dry))));

  // ClipInferno to Ultracrunch: both 4x, the old pass runs after the new
  // one through the shared oversampler.
  rig.synth(kChanging).setParameter(kDistSel, 0.75f);
  rig.render(kBlock);
  dry = dryOf(rig.left(kDry));
  c = changeAlgorithm(*mirror, 0.75f, dry);
  EXPECT_TRUE(matches(rig.left(kChanging), fadeAlgorithm(scaled(c.newSound), c.oldSound)));
  EXPECT_EQ(rig.right(kChanging), rig.left(kChanging));

  rig.render(kBlock);
  dry = dryOf(rig.left(kDry));
  EXPECT_TRUE(matches(rig.left(kChanging), scaled(distort(*mirror, dry))));
  EXPECT_EQ(rig.right(kChanging), rig.left(kChanging));
}

// Blocks larger than the driver's 16384-frame crossfade buffers, which the
// driver works through in pieces: a switch on, an algorithm change and a
// switch off, each in one long block, must sound as if the stage had run
// over the whole block at once; the references do exactly that, in one
// processDisto call per block, with the gain of the algorithm change running
// over all frames. The distortion runs for a while first, so the per-slice
// parameter smoothers have settled and the unit's sound no longer depends on
// how a block is cut into 64-sample slices.
//
// (A comparison with the same frames rendered in 512-frame blocks is not
// possible here: the voice takes its key tracking from the note sounding at
// each block start, so even the dry voice depends on where blocks begin.)
TEST(DistortionCrossfade, BlocksLongerThanTheCrossfadeBuffers) {
  enum { kLong = 1 };
  struct Case {
    int frames;
    int leadIn;  // 512-frame blocks before the long ones, chosen so a note
                 // sounds under each fade
  };
  for (const Case& test : {Case{20000, 167}, Case{40000, 105}}) {
    SCOPED_TRACE(test.frames);
    const int n = test.frames;
    Rig rig(2, n);
    auto mirror = makeReference(0.0f);
    for (int b = 0; b < test.leadIn; ++b) {
      if (b == 2) rig.synth(kLong).setParameter(kDisto, 1.0f);
      if (b == test.leadIn - 3) rig.synth(kLong).setParameter(kDisto, 0.0f);
      rig.render(kBlock);
      if (b >= 2 && b <= test.leadIn - 3) distort(*mirror, dryOf(rig.left(kDry)));
    }
    ASSERT_EQ(rig.left(kLong), rig.left(kDry));

    // Switch on: dry to distorted over the first 64 frames only.
    rig.synth(kLong).setParameter(kDisto, 1.0f);
    rig.render(n);
    Samples dry = dryOf(rig.left(kDry));
    ASSERT_GT(rms(dry, 0, kFade), 0.05) << "no note under the fade";
    EXPECT_TRUE(matches(rig.left(kLong), fadeIn(dry, distort(*mirror, dry))));
    EXPECT_EQ(rig.right(kLong), rig.left(kLong));

    // Overdrive to Ultracrunch: old to new over all n frames.
    rig.synth(kLong).setParameter(kDistSel, 0.75f);
    rig.render(n);
    dry = dryOf(rig.left(kDry));
    const Change c = changeAlgorithm(*mirror, 0.75f, dry);
    ASSERT_GT(largestDifference(c.newSound, c.oldSound, 0, n), 0.05) << "algorithms sound alike";
    EXPECT_TRUE(matches(rig.left(kLong), fadeAlgorithm(scaled(c.newSound), c.oldSound)));
    EXPECT_EQ(rig.right(kLong), rig.left(kLong));

    // Switch off: distorted to dry over the last 64 frames only.
    rig.synth(kLong).setParameter(kDisto, 0.0f);
    rig.render(n);
    dry = dryOf(rig.left(kDry));
    ASSERT_GT(rms(dry, n - kFade, n), 0.05) << "no note under the fade";
    EXPECT_TRUE(matches(rig.left(kLong), fadeOut(dry, distort(*mirror, dry))));
    EXPECT_EQ(rig.right(kLong), rig.left(kLong));

    rig.render(n);
    EXPECT_EQ(rig.left(kLong), rig.left(kDry));
    EXPECT_EQ(rig.right(kLong), rig.right(kDry));
  }
}

// "Volume" is a linear gain reached through a 4 ms one-pole smoother that the
// output stage steps twice per frame, once for each channel.
TEST(OutputVolume, HalfVolumeFollowsTheSmootherTwoStepsPerFrame) {
  enum { kHalf = 1 };
  Rig rig(2, kBlock);
  for (int b = 0; b < kLeadIn; ++b) rig.render(kBlock);
  EXPECT_EQ(rig.left(kHalf), rig.left(kDry));

  rig.synth(kHalf).setParameter(kVolume, 0.5f);
  rig.render(kBlock);
  // Both instruments play the same voice x; the full one scales it by the
  // settled gain, the other by the smoother's steps towards 0.5.
  int checked = 0;
  for (int i = 0; i < 8; ++i) {
    const float xl = rig.left(kDry)[i], xr = rig.right(kDry)[i];
    if (std::fabs(xl) < 1e-3f) continue;  // too quiet for a 1e-6 ratio
    ++checked;
    // Two float products over the same voice sample: ratios good to ~2.4e-7.
    EXPECT_NEAR(rig.left(kHalf)[i] / xl, kHalfVolumeSteps[2 * i] / kSettledGain, 1e-6) << "frame " << i;
    EXPECT_NEAR(rig.right(kHalf)[i] / xr, kHalfVolumeSteps[2 * i + 1] / kSettledGain, 1e-6) << "frame " << i;
  }
  EXPECT_GE(checked, 6);

  // A few hundred steps later (a^n < 1e-7 from n = 453) the gain has settled
  // just above 0.5, where single precision rounding stalls it.
  rig.render(kBlock);
  checked = 0;
  for (int i = 0; i < kBlock; ++i) {
    const float x = rig.left(kDry)[i];
    if (std::fabs(x) < 1e-3f) continue;
    ++checked;
    EXPECT_NEAR(rig.left(kHalf)[i] / x, kSettledHalfGain / kSettledGain, 1e-6) << "frame " << i;
    EXPECT_NEAR(rig.right(kHalf)[i] / rig.right(kDry)[i], kSettledHalfGain / kSettledGain, 1e-6) << "frame " << i;
  }
  EXPECT_GT(checked, kBlock / 2);
}
