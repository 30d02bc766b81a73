// One sixteenth-note step of a pattern.
#pragma once

#include <cstdint>

// Note numbers: 0 is a rest, 1..60 sound MIDI notes 36..95 (note + 35).
// File imports may store other values; every reader turns a note through
// isPlayableNote() before using it as an index.
constexpr int kRestNote = 0;
constexpr int kLowestNote = 1;
constexpr int kHighestNote = 60;
constexpr int kDefaultNote = 25;
constexpr int kMidiNoteOffset = 35;

constexpr bool isPlayableNote(int note) { return note >= kLowestNote && note <= kHighestNote; }

class Step {
 public:
  void setNote(int value) { note = value; }
  void setAccent(bool value) { accent = value; }
  void setSlide(bool value) { slide = value; }

  int32_t note = kDefaultNote;
  bool slide = false;
  bool accent = false;
  double timeStart = 0.0;  // beats from the pattern start
};
