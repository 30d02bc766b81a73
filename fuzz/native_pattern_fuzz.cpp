// Feeds arbitrary bytes to the native pattern reader; every file it accepts
// must write back to a file that reads as the same pattern, and must apply
// to an instrument (into any slot, the out-of-range ones too).
#include "patternfiles/NativePatternFile.h"
#include "plugin/Tolvane.h"

static VstIntPtr VST_CALL fuzzHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PatternFile file, again;
  if (decodeNativePattern(data, size, true, file) != FileError::None) return 0;
  PatternSnapshot snapshot;
  snapshot.pattern = file.pattern;
  const std::vector<uint8_t> bytes = encodeNativePattern(snapshot);
  if (decodeNativePattern(bytes.data(), bytes.size(), true, again) != FileError::None) __builtin_trap();
  if (again.pattern.getNBStep() != file.pattern.getNBStep() || again.pattern.getName() != file.pattern.getName())
    __builtin_trap();
  for (int i = 0; i < file.pattern.getNBStep(); ++i) {
    const Step *x = file.pattern.getStep(i), *y = again.pattern.getStep(i);
    if (x->note != y->note || x->slide != y->slide || x->accent != y->accent) __builtin_trap();
  }
  static Tolvane* instrument = new Tolvane(fuzzHost);
  instrument->applyPatternFile(file, static_cast<int>(size % 66) - 1, true);
  return 0;
}
