// The pattern model: hidden steps survive length changes, accessors refuse
// out-of-range indices, transposition never pushes a note out of 1..60.
#include <gtest/gtest.h>

#include "sequencer/Song.h"

namespace {

void setNotes(Pattern& pattern, std::initializer_list<int> notes) {
  int i = 0;
  for (int note : notes) pattern.setStepNote(note, i++);
}

}  // namespace

TEST(Pattern, LengthHidesStepsWithoutClearingThem) {
  Pattern pattern(16);
  pattern.setStepNote(40, 15);
  pattern.setNBStep(8);
  EXPECT_EQ(pattern.getStep(15), nullptr);
  pattern.setStepNote(1, 15);  // ignored: step 15 is hidden
  pattern.setNBStep(40);
  ASSERT_NE(pattern.getStep(39), nullptr);
  EXPECT_EQ(pattern.getStep(15)->note, 40);
  EXPECT_EQ(pattern.getStep(39)->note, 25);           // a fresh step
  EXPECT_DOUBLE_EQ(pattern.getStep(39)->timeStart, 9.75);  // 39 x 0.25 beat
}

TEST(Pattern, AccessorsRefuseIndicesOutsideTheLength) {
  Pattern pattern(16);
  EXPECT_EQ(pattern.getStep(-1), nullptr);
  EXPECT_EQ(pattern.getStep(16), nullptr);
  pattern.setStepNote(30, 16);
  pattern.setStepAccent(true, -1);
  pattern.setNBStep(17);
  EXPECT_EQ(pattern.getStep(16)->note, 25);
  // Lengths outside 1..64 can never make the accessors reach past storage.
  pattern.setNBStep(65);
  EXPECT_EQ(pattern.getNBStep(), 64);
  pattern.setNBStep(0);
  EXPECT_EQ(pattern.getNBStep(), 1);
}

TEST(Pattern, ClearResetsOnlyVisibleSteps) {
  Pattern pattern(16);
  for (int i = 0; i < 16; ++i) {
    pattern.setStepNote(i, i);
    pattern.setStepSlide(true, i);
    pattern.setStepAccent(true, i);
  }
  pattern.setNBStep(4);
  pattern.clear();
  pattern.setNBStep(16);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(pattern.getStep(i)->note, 25);
    EXPECT_FALSE(pattern.getStep(i)->slide);
    EXPECT_FALSE(pattern.getStep(i)->accent);
  }
  EXPECT_EQ(pattern.getStep(4)->note, 4);
  EXPECT_TRUE(pattern.getStep(4)->slide);
}

TEST(Pattern, TransposeKeepsNotesInRangeOrRefusesWhole) {
  Pattern pattern(4);
  setNotes(pattern, {10, 0, 59, 1});
  pattern.transposeUp();
  EXPECT_EQ(pattern.getStep(0)->note, 11);
  EXPECT_EQ(pattern.getStep(1)->note, 0);  // rests stay rests
  EXPECT_EQ(pattern.getStep(2)->note, 60);
  pattern.transposeUp();  // 60 would leave the range: nothing moves
  EXPECT_EQ(pattern.getStep(0)->note, 11);
  EXPECT_EQ(pattern.getStep(2)->note, 60);

  setNotes(pattern, {10, 0, 30, 1});
  pattern.transposeDown();  // lowest note is 1: refused
  EXPECT_EQ(pattern.getStep(0)->note, 10);
  pattern.setStepNote(2, 3);
  pattern.transposeDown();
  EXPECT_EQ(pattern.getStep(0)->note, 9);
  EXPECT_EQ(pattern.getStep(3)->note, 1);
  EXPECT_EQ(pattern.getStep(1)->note, 0);

  setNotes(pattern, {0, 0, 0, 0});
  pattern.transposeUp();
  pattern.transposeDown();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pattern.getStep(i)->note, 0);
}

TEST(Song, SixtyFourNamedPatternsThatStayInPlace) {
  Song song;
  EXPECT_EQ(song.getPattern(0)->getName(), "pattern 1");
  EXPECT_EQ(song.getPattern(63)->getName(), "pattern 64");
  EXPECT_EQ(song.getPattern(64), nullptr);
  EXPECT_EQ(song.getPattern(-1), nullptr);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(song.getPattern(i)->getNBStep(), 16);
    EXPECT_EQ(song.getPattern(i)->getStep(15)->note, 25);
  }

  Pattern* slot = song.getPattern(5);
  Pattern replacement(12);
  replacement.setName("imported");
  replacement.setStepNote(3, 11);
  song.setPattern(5, replacement);
  EXPECT_EQ(song.getPattern(5), slot);  // copied into the slot, never replaced
  EXPECT_EQ(slot->getName(), "imported");
  EXPECT_EQ(slot->getNBStep(), 12);
  EXPECT_EQ(slot->getStep(11)->note, 3);
  song.setPattern(64, replacement);  // ignored
}
