// Feeds arbitrary text to the ABL2/ABL3 reader; every file it accepts holds
// only playable notes or rests and writes back (in its own format) to a file
// that reads as the same steps.
#include <cstddef>
#include <cstdint>
#include <string>

#include "patternfiles/AblPatternFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PatternFile file;
  if (decodeABLPattern(std::string(reinterpret_cast<const char*>(data), size), file) != FileError::None) return 0;
  const Pattern& pattern = file.pattern;
  PatternSnapshot snapshot;
  snapshot.pattern = pattern;
  const std::string text =
      file.format == PatternFormat::ABL3 ? encodeABL3Pattern(snapshot) : encodeABL2Pattern(snapshot);
  PatternFile again;
  if (decodeABLPattern(text, again) != FileError::None || again.format != file.format) __builtin_trap();
  if (again.pattern.getNBStep() != pattern.getNBStep()) __builtin_trap();
  for (int i = 0; i < pattern.getNBStep(); ++i) {
    const Step *x = pattern.getStep(i), *y = again.pattern.getStep(i);
    if (x->note < 0 || x->note > kHighestNote) __builtin_trap();
    if (x->note != y->note || x->slide != y->slide || x->accent != y->accent) __builtin_trap();
  }
  return 0;
}
