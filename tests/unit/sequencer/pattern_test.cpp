// The pattern model, the song, and the sequencer's transport state: sync
// types, pattern-sync modes, pattern triggers and the groove layout.
#include <gtest/gtest.h>

#include <array>
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

TEST(Pattern, LengthHidesStepsAndStaysInsideStorage) {
  Pattern p(16);
  p.setStepNote(40, 15);
  p.setStepSlide(true, 15);
  p.setNBStep(8);
  EXPECT_EQ(p.getStep(15), nullptr);
  EXPECT_EQ(p.getStep(-1), nullptr);
  p.setStepNote(1, 15);  // hidden: ignored
  p.setStepAccent(true, -1);
  p.clear();             // clears the visible steps only
  p.setNBStep(40);
  EXPECT_EQ(p.getStep(15)->note, 40);
  EXPECT_TRUE(p.getStep(15)->slide);
  EXPECT_EQ(p.getStep(39)->note, 25);                 // a fresh step
  EXPECT_DOUBLE_EQ(p.getStep(39)->timeStart, 9.75);   // 39 x 0.25 beat
  for (auto [asked, kept] : {std::pair{65, 64}, {0, 1}, {-7, 1}}) {
    p.setNBStep(asked);
    EXPECT_EQ(p.getNBStep(), kept) << asked;
  }
}

TEST(Pattern, TransposeKeepsNotesInRangeOrRefusesWhole) {
  struct Case {
    std::array<int, 4> before;
    bool up;
    std::array<int, 4> after;
  };
  const Case cases[] = {
      {{10, 0, 59, 1}, true, {11, 0, 60, 2}},   // rests stay rests
      {{11, 0, 60, 2}, true, {11, 0, 60, 2}},   // 61 would leave 1..60: nothing moves
      {{10, 0, 30, 1}, false, {10, 0, 30, 1}},
      {{10, 0, 30, 2}, false, {9, 0, 29, 1}},
      {{0, 0, 0, 0}, true, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Pattern p(4);
    for (int i = 0; i < 4; ++i) p.setStepNote(c.before[i], i);
    c.up ? p.transposeUp() : p.transposeDown();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(p.getStep(i)->note, c.after[i]) << c.before[0] << " step " << i;
  }
}

TEST(Song, SixtyFourNamedPatternsCopiedIntoTheirSlots) {
  Song song;
  EXPECT_EQ(song.getPattern(63)->getName(), "pattern 64");
  EXPECT_EQ(song.getPattern(64), nullptr);
  EXPECT_EQ(song.getPattern(-1), nullptr);
  Pattern* slot = song.getPattern(5);
  Pattern replacement(12);
  replacement.setName("imported");
  replacement.setStepNote(3, 11);
  song.setPattern(5, replacement);
  song.setPattern(64, replacement);  // ignored
  EXPECT_EQ(song.getPattern(5), slot);  // copied into the slot, never replaced
  EXPECT_EQ(slot->getName(), "imported");
  EXPECT_EQ(slot->getStep(11)->note, 3);
}

TEST(Transport, SyncTypeBandsAndTheirSideEffects) {
  RecordingListener listener;
  Sequencer seq(&listener);
  seq.m_hostPlaying = true;
  seq.m_stopped = false;
  seq.m_internalTempo = 100.0;
  seq.setSyncType(0.33f);  // host playing -> fade out into internal
  EXPECT_EQ(seq.m_syncType, kSyncInternal);
  EXPECT_TRUE(seq.m_stopRequested);
  EXPECT_EQ(listener.tempos, std::vector<double>{100.0});  // the delay follows the internal clock

  seq.internalPlay();
  seq.setSyncType(0.5f);  // a new value in the same band still stops the clock
  EXPECT_FALSE(seq.m_internalPlaying);
  EXPECT_TRUE(seq.m_stopped);
  seq.setSyncType(0.66f);
  EXPECT_EQ(seq.m_syncType, kSyncMidi);
  seq.setSyncType(0.32f);
  EXPECT_EQ(seq.m_syncType, kSyncHost);
  EXPECT_TRUE(seq.m_hostSyncRequested);
  seq.m_hostSyncRequested = false;
  seq.setSyncType(0.32f);  // the same value again does nothing
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
      {0.0f, 0, 1.0, "free"},     {0.25f, 1, 0.25, "1 step"},  {0.5f, 2, 1.0, "4 step"},
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
  // {trigger, pattern after it}: only 0..31 can be triggered.
  for (auto [index, current] : {std::pair{3, 3}, {32, 3}, {-1, 3}}) {
    seq.triggerPattern(index);
    EXPECT_EQ(seq.m_currentPatternIndex, current) << index;
  }
  EXPECT_EQ(seq.getCurrentPattern(), seq.song().getPattern(3));
  EXPECT_EQ(listener.patternChanges, 1);
  seq.triggerPatternFromParameter(0.5f);
  EXPECT_EQ(seq.m_currentPatternIndex, 16);

  seq.m_hostPlaying = true;  // running in host sync: the change waits
  seq.m_samplePosition = 1234.0;
  seq.triggerPattern(7);
  EXPECT_EQ(seq.m_currentPatternIndex, 16);
  EXPECT_TRUE(seq.m_patternChangePending);
  seq.synchroPattern();
  EXPECT_EQ(seq.m_currentPatternIndex, 7);
  EXPECT_FALSE(seq.m_patternChangePending);
  EXPECT_DOUBLE_EQ(seq.m_samplePosition, 0.0);  // the change grid restarts
}

TEST(Transport, GrooveDelaysOddStepsOfTheCurrentPatternOnly) {
  Sequencer seq;
  seq.setShuffle(0.09375);
  const double starts[] = {0.0, 0.34375, 0.5, 0.84375};
  for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(seq.getCurrentPattern()->getStep(i)->timeStart, starts[i]) << i;
  EXPECT_DOUBLE_EQ(seq.song().getPattern(1)->getStep(1)->timeStart, 0.25);
}
