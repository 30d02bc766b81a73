// Feeds arbitrary bytes to the state chunk reader, and every chunk it
// accepts through a whole instrument restore and back out again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "plugin/StateChunk.h"
#include "plugin/Tolvane.h"

namespace {

VstIntPtr VST_CALL fuzzHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StateChunk parsed;
  if (!readStateChunk(data, size, parsed)) return 0;

  static Tolvane* instrument = new Tolvane(fuzzHost);
  if (!instrument->restoreState(data, size)) __builtin_trap();  // parser and restore must agree
  void* chunk = nullptr;
  const VstInt32 length = instrument->getChunk(&chunk, false);
  StateChunk again;
  if (!readStateChunk(static_cast<const uint8_t*>(chunk), static_cast<size_t>(length), again)) __builtin_trap();
  return 0;
}
