// Copy and paste, rotation, and the pattern and sound randomisers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "sequencer/PatternEditor.h"

namespace {

struct EditCounter : SequencerListener {
  int edits = 0;
  void sequencerTempoChanged(double) override {}
  void sequencerPatternChanged() override {}
  void sequencerStatusChanged() override {}
  void sequencerPatternsEdited() override { ++edits; }
};

struct Calls : ParameterSetter {
  std::vector<std::pair<int, float>> calls;
  void setParameter(int index, float value) override { calls.emplace_back(index, value); }
};

// The C library's generator as the editor must draw from it: trunc(n * r / 2^31).
int draw(int n) { return static_cast<int>((static_cast<long long>(std::rand()) * n) >> 31); }

struct Editing : ::testing::Test {
  EditCounter listener;
  Sequencer seq;
  PatternEditor editor{seq, &listener};
  Pattern& slot(int i) { return *seq.m_song.getPattern(i); }
  // Fills the first n steps with notes base+i, slides on every third and
  // accents on every other step.
  void fill(int i, int n, int base) {
    slot(i).setNBStep(n);
    for (int s = 0; s < n; ++s) {
      slot(i).setStepNote(base + s, s);
      slot(i).setStepSlide(s % 3 == 0, s);
      slot(i).setStepAccent(s % 2 == 1, s);
      slot(i).setStepTimeStart(s * 0.25 + 0.125, s);
    }
  }
  // Runs `op` until it starts and ends within one second; returns that second.
  template <class Op>
  std::time_t inOneSecond(Op op) {
    for (;;) {
      const std::time_t t = std::time(nullptr);
      op();
      if (std::time(nullptr) == t) return t;
    }
  }
};

}  // namespace

TEST_F(Editing, CopyAndPaste) {
  fill(5, 16, 40);
  editor.PatternPaste(5);  // nothing copied yet
  EXPECT_EQ(slot(5).getNBStep(), 16);
  EXPECT_EQ(slot(5).getStep(0)->note, 40);

  fill(1, 12, 1);
  editor.PatternCopy(1);
  slot(1).setStepNote(60, 0);  // the buffer is a copy, not a view
  seq.m_currentStep = seq.m_currentPattern->getStep(0);
  editor.PatternPaste(5);
  EXPECT_NE(seq.m_currentStep, nullptr);  // pasting elsewhere keeps the sounding step
  ASSERT_EQ(slot(5).getNBStep(), 12);
  for (int s = 0; s < 12; ++s) {
    EXPECT_EQ(slot(5).getStep(s)->note, 1 + s);
    EXPECT_EQ(slot(5).getStep(s)->slide, s % 3 == 0);
    EXPECT_EQ(slot(5).getStep(s)->accent, s % 2 == 1);
    EXPECT_DOUBLE_EQ(slot(5).getStep(s)->timeStart, s * 0.25 + 0.125);
  }
  for (int s = 12; s < 16; ++s) EXPECT_EQ(slot(5).storedStep(s).note, 40 + s);  // hidden, kept
  EXPECT_EQ(slot(5).getName(), "pattern 6");

  editor.PatternPaste(-1);  // into the current pattern: the sounding step is dropped
  EXPECT_EQ(seq.m_currentStep, nullptr);
  EXPECT_EQ(seq.m_currentPattern->getStep(11)->note, 12);
  editor.PatternCopy(64);  // no such slot: buffer unchanged
  editor.PatternPaste(63);
  EXPECT_EQ(slot(63).getNBStep(), 12);
  EXPECT_EQ(listener.edits, 0);  // the editor protocol refreshes after copy and paste
}

TEST_F(Editing, RotateAndCurrentPatternTarget) {
  seq.selectPattern(3);
  fill(3, 5, 1);
  slot(3).setNBStep(4);  // step 4 (note 5) is hidden and must not move
  editor.patternShiftLeft();
  const int left[4] = {2, 3, 4, 1};
  const bool leftSlide[4] = {false, false, true, true}, leftAccent[4] = {true, false, true, false};
  for (int s = 0; s < 4; ++s) {
    EXPECT_EQ(slot(3).getStep(s)->note, left[s]);
    EXPECT_EQ(slot(3).getStep(s)->slide, leftSlide[s]);
    EXPECT_EQ(slot(3).getStep(s)->accent, leftAccent[s]);
    EXPECT_DOUBLE_EQ(slot(3).getStep(s)->timeStart, s * 0.25 + 0.125);  // the groove stays put
  }
  editor.patternShiftRight();
  editor.patternShiftRight();
  const int right[4] = {4, 1, 2, 3};
  for (int s = 0; s < 4; ++s) EXPECT_EQ(slot(3).getStep(s)->note, right[s]);
  editor.patternShiftLeft();
  for (int s = 0; s < 4; ++s) EXPECT_EQ(slot(3).getStep(s)->note, 1 + s);
  EXPECT_EQ(slot(3).storedStep(4).note, 5);
  EXPECT_EQ(listener.edits, 4);

  fill(3, 1, 9);  // one step: rotation leaves it as it is
  editor.patternShiftLeft();
  editor.patternShiftRight();
  EXPECT_EQ(slot(3).getStep(0)->note, 9);

  editor.patternTransposeUp();
  EXPECT_EQ(slot(3).getStep(0)->note, 10);
  editor.PatternClear();
  EXPECT_EQ(slot(3).getStep(0)->note, 25);
  EXPECT_EQ(slot(0).getStep(0)->note, 25);  // slot 0 is not current: untouched
  seq.m_currentPattern = nullptr;  // nothing to act on: no crash, no effect
  editor.patternShiftLeft();
  editor.PatternClear();
  editor.processRandomize(3);
  EXPECT_EQ(slot(3).getStep(0)->note, 25);
}

TEST_F(Editing, PatternRandomiserDrawsAndSeeds) {
  fill(7, 14, 40);
  slot(7).setNBStep(13);  // step 13 (note 53) hidden
  seq.m_currentStep = seq.m_currentPattern->getStep(0);
  uint32_t c = 0;
  const std::time_t t = inOneSecond([&] {
    c = PatternEditor::patternCounter();
    editor.processRandomize(7);
  });
  EXPECT_EQ(PatternEditor::patternCounter(), c + 1);
  EXPECT_NE(seq.m_currentStep, nullptr);
  EXPECT_EQ(slot(7).getNBStep(), 13);
  EXPECT_EQ(slot(7).getName(), "pattern 8");
  EXPECT_EQ(slot(7).storedStep(13).note, 53);
  std::srand(static_cast<unsigned>(t) + c);  // seed = seconds + counter; note, accent, slide per step
  for (int s = 0; s < 13; ++s) {
    EXPECT_EQ(slot(7).getStep(s)->note, 15 + draw(15));
    EXPECT_EQ(slot(7).getStep(s)->accent, draw(100) > 75);
    EXPECT_EQ(slot(7).getStep(s)->slide, draw(100) > 75);
  }

  // Two randomisations within one second still differ (13 notes of 15).
  std::vector<int> first;
  inOneSecond([&] {
    first.clear();
    editor.processRandomize(7);
    for (int s = 0; s < 13; ++s) first.push_back(slot(7).getStep(s)->note);
    editor.processRandomize(7);
  });
  int same = 0;
  for (int s = 0; s < 13; ++s) same += first[s] == slot(7).getStep(s)->note;
  EXPECT_LT(same, 13);

  const int edits = listener.edits;
  editor.PatternRandom1(-1);  // only a request for the audio thread
  EXPECT_TRUE(seq.m_randomizeRequested);
  EXPECT_EQ(seq.m_currentPattern->getStep(0)->note, 25);
  EXPECT_EQ(listener.edits, edits);
  editor.processRandomize(-1);
  EXPECT_EQ(seq.m_currentStep, nullptr);
  editor.PatternRandom1(64);  // no such slot
  EXPECT_EQ(listener.edits, edits + 1);
}

TEST_F(Editing, PartRandomiserTouchesOneField) {
  fill(2, 64, -10);  // notes -10..53: outside the random range except 15..29
  for (int what = 0; what < 4; ++what) {
    uint32_t c = 0;
    const std::time_t t = inOneSecond([&] {
      fill(2, 64, -10);
      c = PatternEditor::partCounter();
      editor.patternRandom3(what, 2);
    });
    EXPECT_EQ(PatternEditor::partCounter(), c + 1);  // also for a value that draws nothing
    std::srand(static_cast<unsigned>(t) + c);
    for (int s = 0; s < 64; ++s) {
      const Step& step = *slot(2).getStep(s);
      EXPECT_EQ(step.note, what == 0 ? 15 + draw(15) : -10 + s);
      EXPECT_EQ(step.slide, what == 1 ? draw(100) > 75 : s % 3 == 0);
      EXPECT_EQ(step.accent, what == 2 ? draw(100) > 75 : s % 2 == 1);
    }
  }
}

// Accent and slide are each true with p = 24/100 per step. Over 2000 patterns
// of 64 steps (n = 128000) the share's standard deviation is
// sqrt(0.24 * 0.76 / n) = 0.00119, so +-0.006 is a 5-sigma band (false alarm
// about 1 in 2 million) that still rejects 23 % and 25 % (8 sigma away).
TEST_F(Editing, RandomShareOfAccentsAndSlidesAndNoteRange) {
  slot(9).setNBStep(64);
  long accents = 0, slides = 0;
  int seen[61] = {};
  for (int k = 0; k < 2000; ++k) {
    editor.processRandomize(9);
    for (int s = 0; s < 64; ++s) {
      const Step& step = *slot(9).getStep(s);
      ASSERT_GE(step.note, 15);
      ASSERT_LE(step.note, 29);
      ++seen[step.note];
      accents += step.accent;
      slides += step.slide;
    }
  }
  EXPECT_NEAR(accents / 128000.0, 0.24, 0.006);
  EXPECT_NEAR(slides / 128000.0, 0.24, 0.006);
  for (int note = 15; note <= 29; ++note) EXPECT_GT(seen[note], 0) << note;
}

TEST_F(Editing, SoundRandomiser) {
  Calls setter;
  uint32_t c = 0;
  const uintptr_t address = 0x9e3779b1u;
  const std::time_t t = inOneSecond([&] {
    setter.calls.clear();
    c = PatternEditor::parameterCounter();
    editor.randomParameters(setter, address);
  });
  EXPECT_EQ(PatternEditor::parameterCounter(), c + 1);
  std::srand(static_cast<unsigned>(t) + c * static_cast<unsigned>(address));
  ASSERT_EQ(setter.calls.size(), 6u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(setter.calls[i].first, 3 + i);
    EXPECT_FLOAT_EQ(setter.calls[i].second, draw(100) / 100.0f);
  }
  EXPECT_EQ(setter.calls[5].first, 1);
  EXPECT_EQ(setter.calls[5].second, draw(12) > 5 ? 1.0f : 0.0f);

  // Square comes up half the time: 6 of 12, sd 0.011 over 2000 draws, a
  // 5-sigma band that rejects 5 or 7 of 12 (7.5 sigma away).
  int squares = 0;
  for (int k = 0; k < 2000; ++k) {
    setter.calls.clear();
    editor.randomParameters(setter, 1);
    squares += setter.calls[5].second == 1.0f;
  }
  EXPECT_NEAR(squares / 2000.0, 0.5, 0.056);
}
