// The pattern model, the groove layout and pattern edits (copy and paste,
// rotation, the randomisers). Recording is tested through the real
// interface, in the host tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "sequencer/PatternEditor.h"

namespace {

// The C library's generator as the editor must draw from it: trunc(n * r / 2^31).
int draw(int n) { return static_cast<int>((static_cast<long long>(std::rand()) * n) >> 31); }

struct Patterns : ::testing::Test {
  Sequencer seq;
  PatternEditor editor{seq};
  Pattern& slot(int i) { return *seq.m_song.getPattern(i); }
  // Notes base+i, slides on every third step, accents on every other.
  void fill(int i, int n, int base) {
    slot(i).setNBStep(n);
    for (int s = 0; s < n; ++s) {
      slot(i).setStepNote(base + s, s);
      slot(i).setStepSlide(s % 3 == 0, s);
      slot(i).setStepAccent(s % 2 == 1, s);
      slot(i).setStepTimeStart(s * 0.25 + 0.125, s);
    }
  }
  // Every visible step as note * 4 + 2 slide + accent, and what fill() makes.
  std::vector<int> codes(int i) {
    std::vector<int> c;
    for (int s = 0; s < slot(i).getNBStep(); ++s)
      c.push_back(slot(i).getStep(s)->note * 4 + 2 * slot(i).getStep(s)->slide + slot(i).getStep(s)->accent);
    return c;
  }
  static std::vector<int> filled(int n, int base) {
    std::vector<int> c;
    for (int s = 0; s < n; ++s) c.push_back((base + s) * 4 + 2 * (s % 3 == 0) + (s % 2 == 1));
    return c;
  }
};

}  // namespace

TEST_F(Patterns, LengthGrooveAndTranspose) {
  Pattern p(16);
  p.setStepNote(40, 15);
  p.setNBStep(8);
  EXPECT_EQ(p.getStep(15), nullptr);
  p.setStepNote(1, 15);  // hidden: ignored
  p.clear();             // clears the visible steps only
  p.setNBStep(40);
  EXPECT_EQ(p.getStep(15)->note, 40);
  EXPECT_EQ(p.getStep(39)->note, 25);                // a fresh step
  EXPECT_DOUBLE_EQ(p.getStep(39)->timeStart, 9.75);  // 39 x 0.25 beat
  for (auto [asked, kept] : {std::pair{65, 64}, {0, 1}, {-7, 1}}) {
    p.setNBStep(asked);
    EXPECT_EQ(p.getNBStep(), kept) << asked;
  }
  // The groove delays the odd steps of the current pattern only.
  seq.setShuffle(0.09375);
  for (int i = 0; i < 4; ++i)
    EXPECT_DOUBLE_EQ(seq.getCurrentPattern()->getStep(i)->timeStart, 0.25 * i + (i % 2) * 0.09375) << i;
  EXPECT_DOUBLE_EQ(slot(1).getStep(1)->timeStart, 0.25);
  // Transposition keeps every note in 1..60 or refuses as a whole; rests stay.
  const struct {
    std::array<int, 4> before;
    bool up;
    std::array<int, 4> after;
  } cases[] = {{{10, 0, 59, 1}, true, {11, 0, 60, 2}},
               {{11, 0, 60, 2}, true, {11, 0, 60, 2}},
               {{10, 0, 30, 1}, false, {10, 0, 30, 1}},
               {{10, 0, 30, 2}, false, {9, 0, 29, 1}}};
  for (const auto& c : cases) {
    Pattern t(4);
    for (int i = 0; i < 4; ++i) t.setStepNote(c.before[i], i);
    c.up ? t.transposeUp() : t.transposeDown();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(t.getStep(i)->note, c.after[i]) << c.before[0] << " step " << i;
  }
}

TEST_F(Patterns, CopyPasteAndRotate) {
  fill(5, 16, 40);
  editor.PatternPaste(5);  // nothing copied yet
  EXPECT_EQ(codes(5), filled(16, 40));
  fill(1, 12, 1);
  editor.PatternCopy(1);
  slot(1).setStepNote(60, 0);  // the buffer is a copy, not a view
  seq.m_currentStep = seq.m_currentPattern->getStep(0);
  editor.PatternPaste(5);
  EXPECT_NE(seq.m_currentStep, nullptr);  // pasting elsewhere keeps the sounding step
  EXPECT_EQ(codes(5), filled(12, 1));
  EXPECT_DOUBLE_EQ(slot(5).getStep(11)->timeStart, 11 * 0.25 + 0.125);
  EXPECT_EQ(slot(5).storedStep(12).note, 52);  // hidden, kept
  EXPECT_EQ(slot(5).getName(), "pattern 6");
  editor.PatternPaste(-1);  // into the current pattern: the sounding step is dropped
  EXPECT_EQ(seq.m_currentStep, nullptr);

  // Rotation moves note, slide and accent of the visible steps; start times
  // (the groove) and the hidden step 4 stay.
  seq.selectPattern(3);
  fill(3, 5, 1);
  slot(3).setNBStep(4);
  std::vector<int> expected = filled(4, 1);
  editor.patternShiftLeft();
  std::rotate(expected.begin(), expected.begin() + 1, expected.end());
  EXPECT_EQ(codes(3), expected);
  editor.patternShiftRight();
  editor.patternShiftRight();
  std::rotate(expected.begin(), expected.begin() + 2, expected.end());
  EXPECT_EQ(codes(3), expected);
  EXPECT_DOUBLE_EQ(slot(3).getStep(1)->timeStart, 0.375);
  EXPECT_EQ(slot(3).storedStep(4).note, 5);
}

// Seeds are the second plus a process-wide counter that counts every use.
// what -1: the whole pattern (note, accent, slide per step); 0 notes only,
// 1 slides, 2 accents, 3 nothing.
TEST_F(Patterns, RandomisersDrawFromTheSeededGenerator) {
  for (int what = -1; what < 4; ++what) {
    uint32_t c = 0;
    std::time_t t;
    do {  // until one randomisation starts and ends within one second
      t = std::time(nullptr);
      fill(2, 64, -10);
      slot(2).setNBStep(63);
      c = what < 0 ? PatternEditor::patternCounter() : PatternEditor::partCounter();
      what < 0 ? editor.processRandomize(2) : editor.patternRandom3(what, 2);
    } while (std::time(nullptr) != t);
    EXPECT_EQ(what < 0 ? PatternEditor::patternCounter() : PatternEditor::partCounter(), c + 1);
    std::srand(static_cast<unsigned>(t) + c);
    std::vector<int> expected = filled(63, -10);
    for (int& code : expected) {
      if (what <= 0) code = (code & 3) + 4 * (15 + draw(15));
      if (what == -1 || what == 2) code = (code & ~1) + (draw(100) > 75);
      if (what == -1 || what == 1) code = (code & ~2) + 2 * (draw(100) > 75);
    }
    EXPECT_EQ(codes(2), expected) << what;
    EXPECT_EQ(slot(2).storedStep(63).note, 53);  // hidden, kept
  }
}
