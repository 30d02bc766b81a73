// Feeds arbitrary bytes, as a FIFO read would deliver them, to both message
// decoders: a complete message never claims more bytes than it was given,
// and one that is re-encoded decodes to the same size again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "editorbridge/MessageCodec.h"

namespace {

template <class Message, class Decode, class Encode>
void walk(const uint8_t* data, size_t size, Decode decode, Encode encode) {
  size_t at = 0;
  while (at < size) {
    Message message;
    const DecodeResult result = decode(data + at, size - at, message);
    if (result.status != DecodeStatus::kComplete) return;  // the rest waits, or is dropped
    if (result.size == 0 || result.size > size - at) __builtin_trap();
    const std::vector<uint8_t> again = encode(message);
    if (!again.empty()) {
      Message twice;
      const DecodeResult second = decode(again.data(), again.size(), twice);
      if (second.status != DecodeStatus::kComplete || second.size != again.size()) __builtin_trap();
    }
    at += result.size;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  walk<EditorMessage>(data, size, decodeEditorMessage,
                      [](const EditorMessage& m) { return encodeEditorMessage(m); });
  walk<PluginMessage>(data, size, decodePluginMessage,
                      [](const PluginMessage& m) { return encodePluginMessage(m); });
  return 0;
}
