// Recording held keys into the steps as they start.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "sequencer/PatternRecorder.h"

// Counts every allocation of this process, to show that the recorder (which
// runs on the audio thread) never allocates.
static std::atomic<long> g_allocations{0};
void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// Out of line, so the compiler never pairs an inlined free with a new.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

struct EditCounter : SequencerListener {
  int edits = 0;
  void sequencerTempoChanged(double) override {}
  void sequencerPatternChanged() override {}
  void sequencerStatusChanged() override {}
  void sequencerPatternsEdited() override { ++edits; }
};

struct Recording : ::testing::Test {
  EditCounter listener;
  Sequencer seq;
  PatternRecorder rec{&listener};
  Pattern& pattern() { return *seq.m_currentPattern; }
  // Step `s` starts while recording: returns the note written into it.
  int start(int s) {
    seq.m_currentStep = pattern().getStep(s);
    rec.processRecordPatternNote(seq);
    return pattern().getStep(s)->note;
  }
  // The non-zero ranks are exactly 1..h, each once.
  void expectRanks(int h) {
    int count[129] = {};
    for (int rank : rec.m_recordKeyOrder) {
      ASSERT_TRUE(rank >= 0 && rank <= 128);
      ++count[rank];
    }
    for (int r = 1; r <= 128; ++r) EXPECT_EQ(count[r], r <= h ? 1 : 0) << "rank " << r;
  }
};

}  // namespace

TEST_F(Recording, HeldKeysBecomeAnArpeggio) {
  const long before = g_allocations;
  rec.recordPattern(48, 100, true);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(start(s), 13);
  EXPECT_TRUE(pattern().getStep(3)->accent);
  rec.recordPattern(48, 0, false);

  EXPECT_EQ(start(4), 25);  // no key: the step keeps its note, the cycle restarts
  EXPECT_EQ(rec.m_recordCycle, 0);
  rec.recordPattern(48, 90, true);
  rec.recordPattern(52, 90, true);
  rec.recordPattern(55, 90, true);
  expectRanks(3);
  const int chord[5] = {13, 17, 20, 13, 17};
  for (int s = 0; s < 5; ++s) EXPECT_EQ(start(s), chord[s]);
  rec.recordPattern(52, 0, false);  // 55 moves to rank 2; cycle is 5: 5 % 2 picks rank 2
  expectRanks(2);
  EXPECT_EQ(rec.m_recordKeyOrder[55], 2);
  const int pair[3] = {20, 13, 20};
  for (int s = 0; s < 3; ++s) EXPECT_EQ(start(5 + s), pair[s]);
  for (int s = 0; s < 8; ++s) EXPECT_DOUBLE_EQ(pattern().getStep(s)->timeStart, s * 0.25);
  EXPECT_EQ(pattern().getNBStep(), 16);
  EXPECT_EQ(listener.edits, 12);
  EXPECT_EQ(g_allocations, before);
}

TEST_F(Recording, KeyRangeAndAccent) {
  const int keys[6] = {95, 94, 36, 35, 32, 120};
  const int notes[6] = {0, 59, 1, 0, 0, 0};
  for (int k = 0; k < 6; ++k) {
    rec.recordPattern(keys[k], 60, true);
    EXPECT_EQ(start(k), notes[k]) << keys[k];
    rec.recordPattern(keys[k], 0, false);
  }
  rec.recordPattern(30, 100, true);  // a pattern key: no rank, nothing recorded
  EXPECT_EQ(rec.heldKeys(), 0);
  EXPECT_EQ(start(6), 25);
  EXPECT_EQ(rec.m_recordVelocity, 60);

  rec.recordPattern(62, 83, true);
  start(7);
  rec.recordPattern(62, 0, false);
  rec.recordPattern(62, 82, true);
  start(8);
  EXPECT_TRUE(pattern().getStep(7)->accent);
  EXPECT_FALSE(pattern().getStep(8)->accent);
  rec.recordPattern(64, 100, true);  // the latest press decides for every key
  start(9);
  start(10);
  EXPECT_TRUE(pattern().getStep(9)->accent && pattern().getStep(10)->accent);
  EXPECT_EQ(pattern().getStep(9)->note, 27);
  EXPECT_EQ(pattern().getStep(10)->note, 29);
}

TEST_F(Recording, PitchWheelRecordsSlides) {
  pattern().setStepNote(7, 0);
  rec.setPitchBend(0, 127, false);  // not recording: the wheel is not sampled
  EXPECT_FALSE(rec.m_bendUp);
  rec.setPitchBend(0, 127, true);  // 127 * 128 - 8192 > 0
  EXPECT_EQ(start(0), 7);
  EXPECT_TRUE(pattern().getStep(0)->slide);
  EXPECT_EQ(listener.edits, 1);
  rec.setPitchBend(0, 0, true);
  start(0);
  EXPECT_FALSE(pattern().getStep(0)->slide);
  rec.setPitchBend(0, 64, true);  // centre: both flags clear, nothing changes
  EXPECT_FALSE(rec.m_bendUp || rec.m_bendDown);
  pattern().setStepSlide(true, 0);
  start(0);
  EXPECT_TRUE(pattern().getStep(0)->slide);
  EXPECT_EQ(listener.edits, 2);
  // Bytes with bit 7 set are not MIDI data; masked, these are the centre.
  rec.setPitchBend(0x80, 0x40, true);
  EXPECT_FALSE(rec.m_bendUp || rec.m_bendDown);
  rec.setPitchBend(0x00, 0xC0, true);
  EXPECT_FALSE(rec.m_bendUp || rec.m_bendDown);
}

TEST_F(Recording, HostileKeysKeepTheRanks) {
  rec.recordPattern(48, 70, true);
  rec.recordPattern(52, 70, true);
  rec.recordPattern(60, 0, false);  // not held
  rec.recordPattern(300, 100, true);
  rec.recordPattern(-5, 100, true);
  rec.recordPattern(128, 100, false);
  expectRanks(2);
  EXPECT_EQ(rec.m_recordKeyOrder[48], 1);
  EXPECT_EQ(rec.m_recordVelocity, 70);
  rec.recordPattern(48, 71, true);  // pressed again: now the latest key
  expectRanks(2);
  EXPECT_EQ(rec.m_recordKeyOrder[52], 1);
  EXPECT_EQ(rec.m_recordKeyOrder[48], 2);

  seq.m_currentStep = nullptr;  // no step starting: nothing happens
  rec.processRecordPatternNote(seq);
  EXPECT_EQ(rec.m_recordCycle, 0);
  EXPECT_EQ(listener.edits, 0);
}
