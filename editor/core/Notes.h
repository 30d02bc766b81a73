// Note names as musicians read them, and the computer-keyboard piano.
// Step notes 1..60 are MIDI notes 36..95 (C2..B6, middle C = C4 = MIDI 60).
#pragma once

#include <string>

constexpr int kLowestMidiNote = 36;
constexpr int kHighestMidiNote = 95;

// "C4", "F#2"; "" outside 0..127.
std::string midiNoteName(int midiNote);
// A step's note: "-" for a rest, the name for 1..60, "?" for anything a
// foreign file may have stored.
std::string stepNoteName(int stepNote);

// The two-row piano of a computer keyboard: Z S X D C V G B H N J M , L . ; /
// play from `baseNote` upwards, Q 2 W 3 E R 5 T 6 Y 7 U I 9 O 0 P from one
// octave above it. Answers the MIDI note, or -1 when the key plays nothing or
// the note is outside 36..95. Letters are taken in either case.
int computerKeyNote(int key, int baseNote);
