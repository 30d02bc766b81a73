// A named row of 64 stored steps of which the first nbStep are played.
// Shortening a pattern hides steps without clearing them, so lengthening it
// again shows their old content.
#pragma once

#include <array>
#include <string>

#include "sequencer/Step.h"

class Pattern {
 public:
  static constexpr int kMaxSteps = 64;
  static constexpr double kStepBeats = 0.25;

  explicit Pattern(int n = 16);

  // The step, or null when index is outside 0..nbStep-1. Inline: the
  // engine loop asks every sample.
  Step* getStep(int index) {
    return index < 0 || index >= nbStep ? nullptr : &steps[static_cast<size_t>(index)];
  }
  const Step* getStep(int index) const {
    return index < 0 || index >= nbStep ? nullptr : &steps[static_cast<size_t>(index)];
  }

  // Value first, index second; an index outside 0..nbStep-1 is ignored.
  void setStepNote(int note, int index);
  void setStepAccent(bool value, int index);
  void setStepSlide(bool value, int index);
  void setStepTimeStart(double t, int index);

  // Length in steps. Out-of-range lengths are pulled into 1..64 so that a
  // caller can never make the accessors reach past the step storage.
  void setNBStep(int n);
  int getNBStep() const { return nbStep; }

  void clear();
  void transposeUp();
  void transposeDown();

  const std::string& getName() const { return name; }
  void setName(const std::string& text) { name = text; }

  // Copies length and the visible steps (note, slide, accent, start time),
  // not the name: what copy and paste move between patterns.
  void copyStepsFrom(const Pattern& other);

  // Raw storage access for code that must see hidden steps too (chunk and
  // file writers never do; tests do).
  const Step& storedStep(int index) const { return steps[static_cast<size_t>(index)]; }

 private:
  int nbStep;
  std::array<Step, kMaxSteps> steps;
  std::string name;
};
