#include "editor/core/Gestures.h"

#include "sequencer/Step.h"

namespace {

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

}  // namespace

float knobDrag(float startValue, int pixelsUp, bool fine) {
  float scale = fine ? 0.1f : 1.0f;
  return clamp01(clamp01(startValue) + scale * static_cast<float>(pixelsUp) / kKnobTravel);
}

float knobWheel(float value, int notches, bool fine) {
  return clamp01(clamp01(value) + static_cast<float>(notches) * (fine ? 0.001f : 0.01f));
}

int noteDrag(int startNote, int pixelsUp, bool octaves) {
  if (!isPlayableNote(startNote)) startNote = kDefaultNote;
  // Round towards zero on both sides so a small wobble does not move the note.
  int steps = pixelsUp / kNotePixels;
  int note = startNote + (octaves ? 12 * steps : steps);
  while (octaves && note > kHighestNote) note -= 12;
  while (octaves && note < kLowestNote) note += 12;
  return note < kLowestNote ? kLowestNote : (note > kHighestNote ? kHighestNote : note);
}
