// What the editor offers for each of the 29 parameters: the kind of control,
// the caption a musician reads, the unit put after the instrument's own
// display text, and how a choice, a step count or a tempo becomes the
// normalised value the instrument expects (and back).
#pragma once

#include <string>

enum class ControlKind { Knob, Switch, Choice, Count };

struct ParamControl {
  ControlKind kind;
  const char* caption;
  const char* unit;          // appended to the display text, "" for none
  int choiceCount;           // Choice: number of entries
  const char* const* choices;
};

const ParamControl& paramControl(int index);

// Choice parameters (waveform, pattern sync, pattern, algorithm, sync type):
// the value that selects entry `choice`, and the entry a value selects, both
// through the same truncations the instrument applies.
float choiceToValue(int index, int choice);
int valueToChoice(int index, float value);

// "NB STEP": a length of 1..64 steps. The value sits half a step inside its
// interval (the instrument takes trunc(63 v) + 1), so no rounding on the way
// can tip it into the neighbouring length.
float lengthToValue(int steps);
int valueToLength(float value);

// Internal tempo, whole BPM 40..300.
float tempoToValue(int bpm);
int valueToTempo(float value);

// The text shown under a control: the instrument's display text, shortened
// to what fits a knob (fraction digits cut as the instrument cuts them, never
// rounded), an empty text (the instrument writes none for zero) shown as
// "0", and the unit appended.
std::string displayText(int index, const char* instrumentText);
