#include "editor/core/KeyboardLayout.h"

#include "editor/core/Notes.h"

namespace {

constexpr int kWhiteKeys = 35;
// White-key index within the octave for each pitch class (black keys take
// the index of the white key to their left).
constexpr int kWhiteOfPitch[12] = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};

}  // namespace

KeyboardLayout::KeyboardLayout(int width, int height) : width_(width), height_(height) {}

bool KeyboardLayout::isBlack(int midiNote) {
  int pc = ((midiNote % 12) + 12) % 12;
  return pc == 1 || pc == 3 || pc == 6 || pc == 8 || pc == 10;
}

int KeyboardLayout::whiteIndex(int midiNote) const {
  int rel = midiNote - kLowestMidiNote;
  return (rel / 12) * 7 + kWhiteOfPitch[rel % 12];
}

// White keys share the width evenly; rounding each edge (not each width)
// spreads the leftover pixels instead of piling them up at the right end.
int KeyboardLayout::whiteLeft(int whiteKey) const { return whiteKey * width_ / kWhiteKeys; }

KeyRect KeyboardLayout::keyRect(int midiNote) const {
  if (midiNote < kLowestMidiNote || midiNote > kHighestMidiNote) return {0, 0, 0, 0};
  int wi = whiteIndex(midiNote);
  if (!isBlack(midiNote)) return {whiteLeft(wi), 0, whiteLeft(wi + 1) - whiteLeft(wi), height_};
  int blackW = (width_ * 3) / (kWhiteKeys * 5);  // 0.6 of a white key
  int centre = whiteLeft(wi + 1);
  return {centre - blackW / 2, 0, blackW, height_ * 3 / 5};
}

int KeyboardLayout::noteAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return -1;
  int wi = x * kWhiteKeys / width_;
  while (wi > 0 && whiteLeft(wi) > x) --wi;  // integer edges: step back if needed
  while (wi + 1 < kWhiteKeys && whiteLeft(wi + 1) <= x) ++wi;
  static constexpr int kPitchOfWhite[7] = {0, 2, 4, 5, 7, 9, 11};
  int white = kLowestMidiNote + (wi / 7) * 12 + kPitchOfWhite[wi % 7];
  for (int black : {white - 1, white + 1}) {
    if (black < kLowestMidiNote || black > kHighestMidiNote || !isBlack(black)) continue;
    KeyRect r = keyRect(black);
    if (x >= r.x && x < r.x + r.w && y < r.h) return black;
  }
  return white;
}
