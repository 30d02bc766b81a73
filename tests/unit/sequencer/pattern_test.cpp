// The pattern model and the sequencer's pattern-sync modes and groove layout.
#include <gtest/gtest.h>

#include <array>

#include "sequencer/Sequencer.h"

TEST(Pattern, LengthHidesStepsAndStaysInsideStorage) {
  Pattern p(16);
  p.setStepNote(40, 15);
  p.setStepSlide(true, 15);
  p.setNBStep(8);
  EXPECT_EQ(p.getStep(15), nullptr);
  EXPECT_EQ(p.getStep(-1), nullptr);
  p.setStepNote(1, 15);  // hidden: ignored
  p.setStepAccent(true, -1);
  p.clear();  // clears the visible steps only
  p.setNBStep(40);
  EXPECT_EQ(p.getStep(15)->note, 40);
  EXPECT_TRUE(p.getStep(15)->slide);
  EXPECT_EQ(p.getStep(39)->note, 25);                // a fresh step
  EXPECT_DOUBLE_EQ(p.getStep(39)->timeStart, 9.75);  // 39 x 0.25 beat
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
      {{10, 0, 59, 1}, true, {11, 0, 60, 2}},  // rests stay rests
      {{11, 0, 60, 2}, true, {11, 0, 60, 2}},  // 61 would leave 1..60: nothing moves
      {{10, 0, 30, 1}, false, {10, 0, 30, 1}}, {{10, 0, 30, 2}, false, {9, 0, 29, 1}},
      {{0, 0, 0, 0}, true, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Pattern p(4);
    for (int i = 0; i < 4; ++i) p.setStepNote(c.before[i], i);
    c.up ? p.transposeUp() : p.transposeDown();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(p.getStep(i)->note, c.after[i]) << c.before[0] << " step " << i;
  }
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

TEST(Transport, GrooveDelaysOddStepsOfTheCurrentPatternOnly) {
  Sequencer seq;
  seq.setShuffle(0.09375);
  const double starts[] = {0.0, 0.34375, 0.5, 0.84375};
  for (int i = 0; i < 4; ++i)
    EXPECT_DOUBLE_EQ(seq.getCurrentPattern()->getStep(i)->timeStart, starts[i]) << i;
  EXPECT_DOUBLE_EQ(seq.song().getPattern(1)->getStep(1)->timeStart, 0.25);
}
