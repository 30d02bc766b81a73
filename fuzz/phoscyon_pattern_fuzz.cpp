// Feeds arbitrary text to the Phoscyon XML reader: absurd attributes must not
// overflow, and only patterns of playable notes and rests are accepted.
#include <string>

#include "patternfiles/PhoscyonPatternFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PatternFile file;
  if (decodePhoscyonPattern(std::string(reinterpret_cast<const char*>(data), size), file) != FileError::None)
    return 0;
  for (int i = 0; i < file.pattern.getNBStep(); ++i)
    if (file.pattern.getStep(i)->note < kRestNote || file.pattern.getStep(i)->note > kHighestNote)
      __builtin_trap();
  return 0;
}
