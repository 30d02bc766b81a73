// Feeds arbitrary bytes to the native pattern reader: every file it accepts
// must apply to an instrument (into any slot, the out-of-range ones too),
// and what the instrument then exports must read back.
#include "patternfiles/NativePatternFile.h"
#include "plugin/Tolvane.h"

static VstIntPtr VST_CALL fuzzHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PatternFile file;
  if (decodeNativePattern(data, size, true, file) != FileError::None) return 0;
  static Tolvane* instrument = new Tolvane(fuzzHost);
  instrument->applyPatternFile(file, static_cast<int>(size % 66) - 1, true);
  const std::vector<uint8_t> bytes = encodeNativePattern(instrument->patternSnapshot());
  if (decodeNativePattern(bytes.data(), bytes.size(), true, file) != FileError::None) __builtin_trap();
  return 0;
}
