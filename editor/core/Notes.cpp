#include "editor/core/Notes.h"

#include <cstring>

namespace {

const char* const kPitchNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
const char kLowerRow[] = "zsxdcvgbhnjm,l.;/";
const char kUpperRow[] = "q2w3er5t6y7ui9o0p";

}  // namespace

std::string midiNoteName(int midiNote) {
  if (midiNote < 0 || midiNote > 127) return "";
  return std::string(kPitchNames[midiNote % 12]) + std::to_string(midiNote / 12 - 1);
}

std::string stepNoteName(int stepNote) {
  if (stepNote == 0) return "-";
  if (stepNote < 1 || stepNote > 60) return "?";
  return midiNoteName(stepNote + 35);
}

int computerKeyNote(int key, int baseNote) {
  if (key >= 'A' && key <= 'Z') key += 'a' - 'A';
  if (key <= 0 || key > 127) return -1;
  int offset = -1;
  if (const char* p = std::strchr(kLowerRow, key)) offset = static_cast<int>(p - kLowerRow);
  else if (const char* q = std::strchr(kUpperRow, key)) offset = 12 + static_cast<int>(q - kUpperRow);
  if (offset < 0) return -1;
  int note = baseNote + offset;
  return note >= kLowestMidiNote && note <= kHighestMidiNote ? note : -1;
}
