// The instrument's 64 patterns. They are held by value and live as long as
// the song: imports copy into them instead of replacing them, so every
// reference handed out (the current pattern, the sounding step) stays valid.
#pragma once

#include <array>
#include <string>

#include "sequencer/Pattern.h"

class Song {
 public:
  static constexpr int kNumPatterns = 64;

  Song();

  // The pattern, or null when index is outside 0..63.
  Pattern* getPattern(int index);
  const Pattern* getPattern(int index) const;

  // Replaces the content of slot `index` by `pattern` (length, all 64
  // stored steps and the name); out-of-range indices are ignored.
  void setPattern(int index, const Pattern& pattern);

  int getNbPattern() const { return nbPattern; }

 private:
  std::array<Pattern, kNumPatterns> patterns;
  int nbPattern = kNumPatterns;
};

std::string intToString(int value);
