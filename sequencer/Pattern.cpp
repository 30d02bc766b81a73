#include "sequencer/Pattern.h"

#include <algorithm>

Pattern::Pattern(int n) : nbStep(std::clamp(n, 1, kMaxSteps)), name("Default") {
  for (int i = 0; i < kMaxSteps; ++i) steps[static_cast<size_t>(i)].timeStart = i * kStepBeats;
}

void Pattern::setStepNote(int note, int index) {
  if (Step* step = getStep(index)) step->setNote(note);
}

void Pattern::setStepAccent(bool value, int index) {
  if (Step* step = getStep(index)) step->setAccent(value);
}

void Pattern::setStepSlide(bool value, int index) {
  if (Step* step = getStep(index)) step->setSlide(value);
}

void Pattern::setStepTimeStart(double t, int index) {
  if (Step* step = getStep(index)) step->timeStart = t;
}

void Pattern::setNBStep(int n) { nbStep = std::clamp(n, 1, kMaxSteps); }

void Pattern::clear() {
  for (int i = 0; i < nbStep; ++i) {
    Step& step = steps[static_cast<size_t>(i)];
    step.slide = false;
    step.accent = false;
    step.note = kDefaultNote;
  }
}

void Pattern::transposeUp() {
  int highest = 0;
  for (int i = 0; i < nbStep; ++i) highest = std::max(highest, static_cast<int>(steps[static_cast<size_t>(i)].note));
  // A shift that would push any note out of range is refused as a whole.
  if (highest > kHighestNote - 1) return;
  for (int i = 0; i < nbStep; ++i) {
    Step& step = steps[static_cast<size_t>(i)];
    if (step.note != kRestNote) step.note += 1;
  }
}

void Pattern::transposeDown() {
  int lowest = kHighestNote;
  for (int i = 0; i < nbStep; ++i) {
    const int note = steps[static_cast<size_t>(i)].note;
    if (note != kRestNote) lowest = std::min(lowest, note);
  }
  if (lowest < kLowestNote + 1) return;
  for (int i = 0; i < nbStep; ++i) {
    Step& step = steps[static_cast<size_t>(i)];
    if (step.note != kRestNote) step.note -= 1;
  }
}

void Pattern::copyStepsFrom(const Pattern& other) {
  nbStep = other.nbStep;
  for (int i = 0; i < nbStep; ++i) {
    Step& step = steps[static_cast<size_t>(i)];
    const Step& from = other.steps[static_cast<size_t>(i)];
    step.note = from.note;
    step.slide = from.slide;
    step.accent = from.accent;
    step.timeStart = from.timeStart;
  }
}
