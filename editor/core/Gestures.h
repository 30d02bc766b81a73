// How mouse movements turn into values: knob drags and wheel turns, note
// drags on the step grid. Pure arithmetic, so the feel can be tested.
#pragma once

// Dragging a knob: the full range over kKnobTravel pixels upwards, ten times
// finer with the fine modifier. Clamped to 0..1.
constexpr int kKnobTravel = 200;
float knobDrag(float startValue, int pixelsUp, bool fine);
// One wheel notch: 1 % of the range, 0.1 % fine. `notches` > 0 turns up.
float knobWheel(float value, int notches, bool fine);

// Dragging a step's note: one semitone per kNotePixels pixels upwards, an
// octave per step with the octave modifier; stays in 1..60. A rest starts
// from the default note.
constexpr int kNotePixels = 6;
int noteDrag(int startNote, int pixelsUp, bool octaves);
