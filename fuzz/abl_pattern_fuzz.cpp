// Feeds arbitrary text to the ABL2/ABL3 reader: it must stay within the text
// and accept only patterns of playable notes and rests.
#include <string>

#include "patternfiles/AblPatternFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PatternFile file;
  if (decodeABLPattern(std::string(reinterpret_cast<const char*>(data), size), file) != FileError::None)
    return 0;
  for (int i = 0; i < file.pattern.getNBStep(); ++i)
    if (file.pattern.getStep(i)->note < kRestNote || file.pattern.getStep(i)->note > kHighestNote)
      __builtin_trap();
  return 0;
}
