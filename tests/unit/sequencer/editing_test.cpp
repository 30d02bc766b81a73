// Pattern edits (copy and paste, rotation, the randomisers) and recording
// held keys into the steps as they start.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "sequencer/PatternEditor.h"
#include "sequencer/PatternRecorder.h"

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
  PatternRecorder rec{&listener};
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
  // Runs `op` until it starts and ends within one second; returns that second.
  template <class Op>
  std::time_t inOneSecond(Op op) {
    for (;;) {
      const std::time_t t = std::time(nullptr);
      op();
      if (std::time(nullptr) == t) return t;
    }
  }
  // Step `s` of the current pattern starts while recording: the note written.
  int start(int s) {
    seq.m_currentStep = seq.m_currentPattern->getStep(s);
    rec.processRecordPatternNote(seq);
    return seq.m_currentPattern->getStep(s)->note;
  }
};

}  // namespace

TEST_F(Editing, CopyPasteAndRotate) {
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
  EXPECT_EQ(listener.edits, 3);    // copy and paste refresh through the editor protocol
  seq.m_currentPattern = nullptr;  // nothing to act on: no crash, no effect
  editor.patternShiftLeft();
  editor.PatternClear();
}

TEST_F(Editing, RandomisersDrawFromTheSeededGenerator) {
  // Whole pattern: seed = seconds + counter; note, accent, slide per step.
  fill(7, 14, 40);
  slot(7).setNBStep(13);
  uint32_t c = 0;
  std::time_t t = inOneSecond([&] {
    c = PatternEditor::patternCounter();
    editor.processRandomize(7);
  });
  EXPECT_EQ(PatternEditor::patternCounter(), c + 1);
  EXPECT_EQ(slot(7).storedStep(13).note, 53);  // hidden, kept
  std::srand(static_cast<unsigned>(t) + c);
  for (int s = 0; s < 13; ++s) {
    EXPECT_EQ(slot(7).getStep(s)->note, 15 + draw(15));
    EXPECT_EQ(slot(7).getStep(s)->accent, draw(100) > 75);
    EXPECT_EQ(slot(7).getStep(s)->slide, draw(100) > 75);
  }
  // The current pattern only at the audio thread's next block start.
  editor.PatternRandom1(-1);
  EXPECT_TRUE(seq.m_randomizeRequested);
  EXPECT_EQ(seq.m_currentPattern->getStep(0)->note, 25);

  // One field: 0 notes, 1 slides, 2 accents, 3 nothing (the counter still counts).
  for (int what = 0; what < 4; ++what) {
    t = inOneSecond([&] {
      fill(2, 64, -10);
      c = PatternEditor::partCounter();
      editor.patternRandom3(what, 2);
    });
    EXPECT_EQ(PatternEditor::partCounter(), c + 1);
    std::srand(static_cast<unsigned>(t) + c);
    std::vector<int> expected = filled(64, -10);
    for (int& code : expected) {
      if (what == 0) code = (code & 3) + 4 * (15 + draw(15));
      if (what == 1) code = (code & ~2) + 2 * (draw(100) > 75);
      if (what == 2) code = (code & ~1) + (draw(100) > 75);
    }
    EXPECT_EQ(codes(2), expected) << what;
  }

  // Sound: parameters 3..7 to k/100, then the waveform; the instance address
  // multiplies the counter in the seed.
  Calls setter;
  const uintptr_t address = 0x9e3779b1u;
  t = inOneSecond([&] {
    setter.calls.clear();
    c = PatternEditor::parameterCounter();
    editor.randomParameters(setter, address);
  });
  std::srand(static_cast<unsigned>(t) + c * static_cast<unsigned>(address));
  ASSERT_EQ(setter.calls.size(), 6u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(setter.calls[i].first, 3 + i);
    EXPECT_FLOAT_EQ(setter.calls[i].second, draw(100) / 100.0f);
  }
  EXPECT_EQ(setter.calls[5], std::make_pair(1, draw(12) > 5 ? 1.0f : 0.0f));
}

// Recording writes held keys into the steps as they start (an arpeggio for
// a chord, through the real interface in the host tests). Whatever key
// messages arrive, the ranks of the held keys stay exactly 1..h; keys 36..94
// record notes 1..59, other keys from 32 up a rest, keys below 32 nothing.
TEST_F(Editing, RecorderRanksAndKeyRange) {
  for (auto [key, on] : {std::pair{48, true}, {52, true}, {60, false}, {300, true}, {-5, true}, {128, false}})
    rec.recordPattern(key, 90, on);
  EXPECT_EQ(rec.heldKeys(), 2);
  rec.recordPattern(48, 91, true);  // pressed again: now the latest key
  EXPECT_EQ(rec.m_recordKeyOrder[52], 1);
  EXPECT_EQ(rec.m_recordKeyOrder[48], 2);
  for (int key : {48, 52}) rec.recordPattern(key, 0, false);
  const int keys[][2] = {{95, 0}, {94, 59}, {36, 1}, {35, 0}, {30, 25}};
  for (int k = 0; k < 5; ++k) {
    rec.recordPattern(keys[k][0], 90, true);
    EXPECT_EQ(start(k), keys[k][1]) << keys[k][0];
    rec.recordPattern(keys[k][0], 0, false);
  }
}
