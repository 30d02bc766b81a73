// Sync types, pattern-sync modes, pattern triggers and the groove layout.
#include <gtest/gtest.h>

#include <vector>

#include "sequencer/Sequencer.h"

namespace {

struct RecordingListener : SequencerListener {
  std::vector<double> tempos;
  int patternChanges = 0;
  void sequencerTempoChanged(double tempo) override { tempos.push_back(tempo); }
  void sequencerPatternChanged() override { ++patternChanges; }
  void sequencerStatusChanged() override {}
};

}  // namespace

TEST(Transport, SyncTypeBandsAndTheirSideEffects) {
  RecordingListener listener;
  Sequencer seq(&listener);
  EXPECT_EQ(seq.m_syncType, kSyncHost);

  seq.m_hostPlaying = true;
  seq.m_stopped = false;
  seq.m_internalTempo = 100.0;
  seq.setSyncType(0.33f);  // host playing -> fade out into internal
  EXPECT_EQ(seq.m_syncType, kSyncInternal);
  EXPECT_TRUE(seq.m_stopRequested);
  ASSERT_EQ(listener.tempos.size(), 1u);
  EXPECT_DOUBLE_EQ(listener.tempos[0], 100.0);  // the delay follows the internal clock

  seq.internalPlay();
  EXPECT_TRUE(seq.m_internalPlaying);
  seq.setSyncType(0.5f);  // a new value in the same band still stops the clock
  EXPECT_FALSE(seq.m_internalPlaying);
  EXPECT_TRUE(seq.m_stopped);

  seq.setSyncType(0.66f);
  EXPECT_EQ(seq.m_syncType, kSyncMidi);
  seq.setSyncType(0.32f);
  EXPECT_EQ(seq.m_syncType, kSyncHost);
  EXPECT_TRUE(seq.m_hostSyncRequested);

  // The same value again does nothing at all.
  seq.m_hostSyncRequested = false;
  seq.setSyncType(0.32f);
  EXPECT_FALSE(seq.m_hostSyncRequested);
}

TEST(Transport, PatternSyncModesAndQuantum) {
  Sequencer seq;
  char text[16];
  const struct {
    float value;
    int mode;
    double quantum;
    const char* display;
  } cases[] = {
      {0.0f, 0, 1.0, "free"},  {0.25f, 1, 0.25, "1 step"}, {0.5f, 2, 1.0, "4 step"},
      {0.75f, 3, 4.0, "16 step"}, {0.999f, 3, 4.0, "16 step"}, {1.0f, 4, 4.0, "AUTO"},
      {0.1f, 0, 4.0, "free"},  // free keeps the previous quantum
  };
  for (const auto& c : cases) {
    seq.setPatternSync(c.value);
    EXPECT_EQ(seq.m_patternSyncMode, c.mode) << c.value;
    EXPECT_DOUBLE_EQ(seq.m_patternSyncQuantum, c.quantum) << c.value;
    seq.setPatternSyncDisplay(text);
    EXPECT_STREQ(text, c.display) << c.value;
  }
}

TEST(Transport, TriggersSwitchAtOnceWhenStoppedAndWaitWhenRunning) {
  RecordingListener listener;
  Sequencer seq(&listener);
  seq.triggerPattern(3);
  EXPECT_EQ(seq.m_currentPatternIndex, 3);
  EXPECT_EQ(seq.getCurrentPattern(), seq.song().getPattern(3));
  EXPECT_EQ(listener.patternChanges, 1);

  seq.triggerPattern(32);  // only 0..31 can be triggered
  seq.triggerPattern(-1);
  EXPECT_EQ(seq.m_currentPatternIndex, 3);

  seq.triggerPatternFromParameter(0.5f);
  EXPECT_EQ(seq.m_currentPatternIndex, 16);
  seq.triggerPatternFromParameter(1.0f);
  EXPECT_EQ(seq.m_currentPatternIndex, 16);

  seq.m_hostPlaying = true;  // running in host sync: the change waits
  seq.m_samplePosition = 1234.0;
  seq.triggerPattern(7);
  EXPECT_EQ(seq.m_currentPatternIndex, 16);
  EXPECT_TRUE(seq.m_patternChangePending);
  EXPECT_EQ(seq.m_nextPatternIndex, 7);
  seq.synchroPattern();
  EXPECT_EQ(seq.m_currentPatternIndex, 7);
  EXPECT_FALSE(seq.m_patternChangePending);
  EXPECT_DOUBLE_EQ(seq.m_samplePosition, 0.0);  // the change grid restarts
}

TEST(Transport, GrooveDelaysOddStepsOfTheCurrentPatternOnly) {
  Sequencer seq;
  seq.setShuffle(0.09375);
  const Pattern& current = *seq.getCurrentPattern();
  EXPECT_DOUBLE_EQ(current.getStep(0)->timeStart, 0.0);
  EXPECT_DOUBLE_EQ(current.getStep(1)->timeStart, 0.34375);
  EXPECT_DOUBLE_EQ(current.getStep(2)->timeStart, 0.5);
  EXPECT_DOUBLE_EQ(current.getStep(15)->timeStart, 3.84375);
  EXPECT_DOUBLE_EQ(seq.song().getPattern(1)->getStep(1)->timeStart, 0.25);
}
