#include "sequencer/Song.h"

Song::Song() {
  for (int i = 0; i < kNumPatterns; ++i) {
    Pattern& pattern = patterns[static_cast<size_t>(i)];
    pattern = Pattern(16);
    pattern.setName("pattern " + intToString(i + 1));
  }
}

Pattern* Song::getPattern(int index) {
  if (index < 0 || index >= nbPattern) return nullptr;
  return &patterns[static_cast<size_t>(index)];
}

const Pattern* Song::getPattern(int index) const {
  if (index < 0 || index >= nbPattern) return nullptr;
  return &patterns[static_cast<size_t>(index)];
}

void Song::setPattern(int index, const Pattern& pattern) {
  if (Pattern* slot = getPattern(index)) *slot = pattern;
}

std::string intToString(int value) { return std::to_string(value); }
