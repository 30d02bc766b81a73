// Geometry of the on-screen keyboard, MIDI notes 36..95 (35 white keys), in
// a box of the given size: where each key is drawn and which key a point
// hits. Drawing and the mouse use this one description so they cannot drift
// apart.
#pragma once

struct KeyRect {
  int x, y, w, h;
};

class KeyboardLayout {
 public:
  KeyboardLayout(int width, int height);

  static bool isBlack(int midiNote);
  // Where the key lies, relative to the box; a zero rect outside 36..95.
  KeyRect keyRect(int midiNote) const;
  // The note under the point, black keys first since they lie on top; -1
  // outside the box.
  int noteAt(int x, int y) const;

 private:
  int whiteIndex(int midiNote) const;
  int whiteLeft(int whiteKey) const;

  int width_;
  int height_;
};
