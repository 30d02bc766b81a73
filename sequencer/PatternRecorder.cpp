#include "sequencer/PatternRecorder.h"

#include <climits>

namespace {

constexpr int kDataByteMask = 0x7F;
constexpr int kBendCentre = 8192;
// Keys 36..94 record step notes 1..59; key 35 and keys from 95 up record a
// rest (0), never a note the voice cannot play.
constexpr int kHighestRecordedNote = 59;

}  // namespace

int PatternRecorder::heldKeys() const {
  int held = 0;
  for (int rank : m_recordKeyOrder)
    if (rank != 0) ++held;
  return held;
}

void PatternRecorder::release(int key) {
  const int rank = m_recordKeyOrder[key];
  // A key-up for a key that is not held (a lost note-on, a stray note-off
  // from the host) must not shift the ranks of the keys that are.
  if (rank == 0) return;
  m_recordKeyOrder[key] = 0;
  for (int& other : m_recordKeyOrder)
    if (other > rank) --other;
}

void PatternRecorder::recordPattern(int note, int velocity, bool on) {
  // A hostile or broken host can hand us any byte: a key outside 0..127 has
  // no rank to keep.
  if (note < kFirstRecordableKey || note >= kNumKeys) return;
  if (!on) {
    release(note);
    return;
  }
  // A second note-on for a key already down would leave a gap in the ranks:
  // treat it as a fresh press, so the key moves to the end of the order.
  release(note);
  m_recordKeyOrder[note] = heldKeys() + 1;
  m_recordVelocity = velocity;
}

void PatternRecorder::setPitchBend(int lsb, int msb, bool recording) {
  if (!recording) return;
  const int bend = (lsb & kDataByteMask) + 128 * (msb & kDataByteMask) - kBendCentre;
  m_bendUp = bend > 0;
  m_bendDown = bend < 0;
}

void PatternRecorder::processRecordPatternNote(Sequencer& seq) {
  Step* step = seq.m_currentStep;
  if (!step) return;

  bool changed = false;
  if (m_bendUp && seq.m_currentPattern) {
    step->slide = true;
    changed = true;
  }
  if (m_bendDown) {
    step->slide = false;
    changed = true;
  }

  const int held = heldKeys();
  if (held == 0) {
    // Steps that start with no key down keep their note: recording only
    // overdubs while keys are held.
    m_recordCycle = 0;
    if (changed && m_listener) m_listener->sequencerPatternsEdited();
    return;
  }

  const int wanted = m_recordCycle % held + 1;
  int chosen = -1;
  for (int key = 0; key < kNumKeys; ++key) {
    if (m_recordKeyOrder[key] == wanted) {
      chosen = key;
      break;
    }
  }
  if (chosen < 0) return;  // cannot happen while the ranks are 1..held

  const int note = chosen - kMidiNoteOffset;
  step->note = (note >= kRestNote && note <= kHighestRecordedNote) ? note : kRestNote;
  step->accent = m_recordVelocity > kAccentVelocity;

  // Years of held keys would overflow the count; start over instead.
  m_recordCycle = m_recordCycle < INT_MAX ? m_recordCycle + 1 : 0;
  if (m_listener) m_listener->sequencerPatternsEdited();
}
