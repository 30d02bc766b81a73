// The sequencer against the host's transport, as the host hears it: where
// the first note falls when the host starts mid-pattern, relocation during
// playback, the fade and note-offs on a stop, and when a triggered pattern
// takes over under each pattern-sync mode. Times come from the step clock's
// rules worked out in engine_expected.py (120 BPM at 44100 Hz: 22050 samples
// per beat, step k starts at the first sample at or past k × 5512.5).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/ScriptedHost.h"

namespace vornix::test {
namespace {

// The factory bass line of pattern 0.
const int kFactoryNotes[16] = {13, 15, 15, 14, 12, 16, 15, 14, 16, 13, 8, 16, 12, 16, 18, 12};
const bool kFactoryAccent[16] = {0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1};

int velocityOf(int step) { return kFactoryAccent[step] ? 127 : 64; }

// Step start times carry the running sum of 1/22050 beat per sample, so a
// start that falls exactly on a sample may land one sample either side.
constexpr double kStepSlack = 1.0;

void expectNote(const HeardNote& heard, int key, int velocity, double at, const std::string& what) {
  EXPECT_EQ(heard.key, key) << what;
  EXPECT_EQ(heard.velocity, velocity) << what;
  EXPECT_NEAR(static_cast<double>(heard.at), at, kStepSlack) << what;
}

TEST(HostTransport, StartMidPatternPlaysFromTheHostPosition) {
  {
    // ppq 5.0 in a 4-beat pattern is position 1.0: step 4 starts at once.
    ScriptedHost host;
    host.resume();
    host.playTransport(120.0);
    host.timeInfo().ppqPos = 5.0;
    host.render(512, 30);
    const auto ons = host.noteOns();
    ASSERT_GE(ons.size(), 3u);
    EXPECT_EQ(ons[0].block, 0);
    EXPECT_EQ(ons[0].deltaFrames, 0);
    expectNote(ons[0], kFactoryNotes[4] + 35, velocityOf(4), 0.0, "step 4 at the start");
    expectNote(ons[1], kFactoryNotes[5] + 35, velocityOf(5), 5512.5, "step 5");
    expectNote(ons[2], kFactoryNotes[6] + 35, velocityOf(6), 11025.0, "step 6");
  }
  {
    // 12 steps (3 beats): ppq 17.3 is position 2.3, inside step 9
    // (2.25..2.5). The step index becomes trunc(2.3 / 0.25) = 9 and step 9
    // starts at 2.25 <= 2.3, so it sounds on the first sample; step 10
    // follows 0.2 beat later, step 11 at 0.45, and the wrap to step 0 at 0.7.
    ScriptedHost host;
    host.setParameter(10, 11.0f / 63.0f);
    ASSERT_EQ(host.parameterDisplay(10), "12");
    host.resume();
    host.playTransport(120.0);
    host.timeInfo().ppqPos = 17.3;
    host.render(512, 40);
    const auto ons = host.noteOns();
    ASSERT_GE(ons.size(), 4u);
    expectNote(ons[0], kFactoryNotes[9] + 35, velocityOf(9), 0.0, "step 9 at the start");
    expectNote(ons[1], kFactoryNotes[10] + 35, velocityOf(10), 0.2 * 22050, "step 10");
    expectNote(ons[2], kFactoryNotes[11] + 35, velocityOf(11), 0.45 * 22050, "step 11");
    expectNote(ons[3], kFactoryNotes[0] + 35, velocityOf(0), 0.7 * 22050, "wrap to step 0");
  }
}

TEST(HostTransport, RelocationWhilePlayingResynchronises) {
  ScriptedHost host;
  host.resume();
  host.playTransport(120.0);
  host.render(512, 20);  // steps 0 and 1 (1 is tied and still on)
  ASSERT_EQ(host.noteOns().size(), 2u);

  // Jump to beat 2.0 (step 8) while playing: step 8 sounds at the block's
  // first sample, step 2 (due at 11025) never does.
  host.relocate(2.0);
  host.render(512, 20);
  auto ons = host.noteOns();
  ASSERT_GE(ons.size(), 4u);
  expectNote(ons[2], kFactoryNotes[8] + 35, velocityOf(8), 20 * 512, "step 8 after the jump");
  EXPECT_EQ(ons[2].deltaFrames, 0);
  expectNote(ons[3], kFactoryNotes[9] + 35, velocityOf(9), 20 * 512 + 5512.5, "step 9");
  // The tied note of step 1 is released half a block into the next block.
  const auto off50 = host.firstOffAfter(50, 5512);
  ASSERT_TRUE(off50.has_value());
  EXPECT_EQ(off50->block, 21);
  EXPECT_EQ(off50->deltaFrames, 256);

  // A block flagged as changed that simply continues the previous one is
  // not a jump: the sounding step is not started again.
  const size_t before = host.noteOns().size();
  const int64_t flaggedAt = host.recordedFrames();
  host.timeInfo().flags |= kVstTransportChanged;
  host.render(512);
  ons = host.noteOns();
  for (size_t i = before; i < ons.size(); ++i) {
    EXPECT_NE(ons[i].at, flaggedAt) << "retriggered at the flagged block";
  }

  host.stopTransport(120.0);
  host.render(512, 4);
  EXPECT_TRUE(host.keysStillOn().empty());
}

TEST(HostTransport, StopFadesOutAndReleasesEveryNote) {
  ScriptedHost host;
  host.resume();
  host.playTransport(120.0);
  host.render(512, 12);  // step 1 (tied, key 50) is sounding
  const double loud = host.peak(11 * 512, 512);
  ASSERT_GT(loud, 1e-3);
  ASSERT_EQ(host.keysStillOn(), std::vector<int>{50});

  host.stopTransport(120.0);
  host.render(512);
  const int64_t stopAt = 12 * 512;
  // The fade gain falls by 1/441 per sample from the block's first sample;
  // it is 0 from sample 440 on, and the last samples before are tiny.
  EXPECT_GT(host.peak(stopAt, 64), 0.3 * loud);
  EXPECT_LT(host.peak(stopAt + 400, 40), 0.15 * loud);
  for (int64_t i = stopAt + 440; i < stopAt + 512; ++i) {
    ASSERT_EQ(host.recordedLeft()[i], 0.0f) << "sample " << i - stopAt << " of the stop block";
    ASSERT_EQ(host.recordedRight()[i], 0.0f) << "sample " << i - stopAt << " of the stop block";
  }
  host.render(512, 20);
  for (int64_t i = stopAt + 512; i < host.recordedFrames(); ++i) {
    ASSERT_EQ(host.recordedLeft()[i], 0.0f) << "sample " << i;
    ASSERT_EQ(host.recordedRight()[i], 0.0f) << "sample " << i;
  }
  EXPECT_TRUE(host.keysStillOn().empty());
  const auto off50 = host.firstOffAfter(50, stopAt);
  ASSERT_TRUE(off50.has_value());
  EXPECT_LE(off50->block, 13);
  EXPECT_EQ(host.noteOns().size(), 2u) << "no note starts after the stop";

  // Starting again plays from the host position with full gain.
  host.playTransport(120.0);
  const int64_t restart = host.recordedFrames();
  host.render(512, 4);
  const auto ons = host.noteOns();
  ASSERT_EQ(ons.size(), 3u);
  expectNote(ons[2], kFactoryNotes[0] + 35, velocityOf(0), static_cast<double>(restart),
             "step 0 after the restart");
  EXPECT_GT(host.peak(restart, 2048), 0.3 * loud);
}

// A trigger for pattern 2 (all default notes: key 60, which the factory
// line never plays) before the block at sample 10240, pattern 0 cut to 12
// steps so that AUTO (the pattern's length, 66150 samples) differs from
// "16 step" (88200).
TEST(PatternSync, TriggeredPatternStartsOnTheSyncGrid) {
  struct Case {
    float value;
    const char* display;
    int64_t expected;
  };
  const Case cases[] = {
      {0.0f, "free", 10240},      // the next sample
      {0.25f, "1 step", 11024},   // multiples of trunc(5512.5)
      {0.5f, "4 step", 22050},    // multiples of 22050
      {0.75f, "16 step", 88200},  // multiples of 88200
      {1.0f, "AUTO", 66150},      // trunc(12 × 5512.5): the pattern wraps
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.display);
    ScriptedHost host;
    host.setParameter(10, 11.0f / 63.0f);
    host.setParameter(11, c.value);
    ASSERT_EQ(host.parameterDisplay(11), c.display);
    host.resume();
    host.playTransport(120.0);
    host.render(512, 20);
    host.setParameter(14, 2 * 0.03125f);
    EXPECT_EQ(host.getParameter(14), 0.0625f);
    host.render(512, 180);

    const auto ons = host.noteOns();
    size_t first = 0;
    while (first < ons.size() && ons[first].key != 60) ++first;
    ASSERT_LT(first, ons.size()) << "pattern 2 never started";
    EXPECT_EQ(ons[first].at, c.expected);
    EXPECT_EQ(ons[first].velocity, 64);
    for (size_t i = 0; i < first; ++i) {
      EXPECT_NE(ons[i].key, 60);
      EXPECT_LT(ons[i].at, c.expected);
    }
    // The new pattern starts at its step 0: step 1 follows a step later,
    // and nothing of pattern 0 plays any more.
    ASSERT_GT(ons.size(), first + 1);
    EXPECT_NEAR(static_cast<double>(ons[first + 1].at), c.expected + 5512.5, kStepSlack);
    for (size_t i = first; i < ons.size(); ++i) EXPECT_EQ(ons[i].key, 60);
  }
}

}  // namespace
}  // namespace vornix::test
