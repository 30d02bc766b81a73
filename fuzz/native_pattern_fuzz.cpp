// Feeds arbitrary bytes to the native pattern reader; every file it accepts
// must write back to a file that reads as the same pattern and values, and
// must apply to an instrument.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "patternfiles/NativePatternFile.h"
#include "plugin/Tolvane.h"

namespace {

VstIntPtr VST_CALL fuzzHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

bool sameSteps(const Pattern& a, const Pattern& b) {
  if (a.getNBStep() != b.getNBStep()) return false;
  for (int i = 0; i < a.getNBStep(); ++i) {
    const Step *x = a.getStep(i), *y = b.getStep(i);
    if (x->note != y->note || x->slide != y->slide || x->accent != y->accent) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PatternFile file;
  if (decodeNativePattern(data, size, true, file) != FileError::None) return 0;
  PatternSnapshot snapshot;
  snapshot.pattern = file.pattern;
  for (const ParameterChange& change : file.parameters) snapshot.values[static_cast<size_t>(change.index)] = change.value;
  const std::vector<uint8_t> bytes = encodeNativePattern(snapshot);
  PatternFile again;
  if (decodeNativePattern(bytes.data(), bytes.size(), true, again) != FileError::None) __builtin_trap();
  if (!sameSteps(file.pattern, again.pattern) || file.pattern.getName() != again.pattern.getName()) __builtin_trap();
  for (const ParameterChange& change : file.parameters) {
    const float value = again.parameters[static_cast<size_t>(change.index)].value;
    if (std::memcmp(&value, &change.value, sizeof(value)) != 0) __builtin_trap();
  }
  static Tolvane* instrument = new Tolvane(fuzzHost);
  instrument->applyPatternFile(file, static_cast<int>(size % 66) - 1, true);
  return 0;
}
