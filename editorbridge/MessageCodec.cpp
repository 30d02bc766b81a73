#include "editorbridge/MessageCodec.h"

#include <cstring>

void putLE32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  at[2] = static_cast<uint8_t>(value >> 16);
  at[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t getLE32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
         static_cast<uint32_t>(at[3]) << 24;
}

void putFloatLE(uint8_t* at, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  putLE32(at, bits);
}

float getFloatLE(const uint8_t* at) {
  const uint32_t bits = getLE32(at);
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

namespace {

// Texts travel with an explicit length; the visible text ends at the first
// 0x00 inside it.
std::string visibleText(const uint8_t* text, size_t length) {
  const void* zero = std::memchr(text, 0, length);
  const size_t visible = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - text) : length;
  return std::string(reinterpret_cast<const char*>(text), visible);
}

DecodeResult complete(size_t size) { return {DecodeStatus::kComplete, size}; }
DecodeResult incomplete() { return {DecodeStatus::kIncomplete, 0}; }
DecodeResult unhandled() { return {DecodeStatus::kUnhandled, 0}; }
DecodeResult malformed() { return {DecodeStatus::kMalformed, 0}; }

}  // namespace

size_t pluginMessageSize(uint8_t opcode, size_t textLength) {
  switch (opcode) {
    case kPluginParameter: return 9;
    case kPluginRefresh: return 1;
    case kPluginStep: return 2;
    case kPluginMidi: return 4;
    case kPluginOpen: return 6 + textLength;
    case kPluginQuit: return 2;
    case kPluginAlgorithm: return 2;
    default: return 0;
  }
}

size_t editorMessageSize(uint8_t opcode, size_t textLength) {
  switch (opcode) {
    case kEditorParameter: return 9;
    case kEditorMidi:
    case kEditorMidi3:
    case kEditorMidi4: return 4;
    case kEditorRandomize: return 4;
    case kEditorEditPattern: return 2;
    case kEditorEditStep: return 7;
    case kEditorSlotAction: return 4;
    case kEditorRename: return 2 + textLength;
    case kEditorPlay:
    case kEditorPlay17:
    case kEditorStop:
    case kEditorGain: return 1;
    case kEditorExport: return 6 + textLength;
    case kEditorImport: return 7 + textLength;
    default: return 0;
  }
}

size_t encodePluginMessage(const PluginMessage& message, uint8_t* out, size_t capacity) {
  const uint8_t op = message.opcode;
  const size_t textLength = op == kPluginOpen ? message.window.size() : 0;
  if (textLength > kMaxWindowTextLength) return 0;
  const size_t size = pluginMessageSize(op, textLength);
  if (size == 0 || size > capacity) return 0;
  std::memset(out, 0, size);
  out[0] = op;
  switch (op) {
    case kPluginParameter:
      putLE32(out + 1, static_cast<uint32_t>(message.index));
      putFloatLE(out + 5, message.value);
      break;
    case kPluginStep:
      out[1] = message.step;
      break;
    case kPluginMidi:
      out[1] = message.status;
      out[2] = message.data1;
      out[3] = message.data2;
      break;
    case kPluginOpen:
      putLE32(out + 1, static_cast<uint32_t>(textLength));
      std::memcpy(out + 5, message.window.data(), textLength);
      break;  // the closing 0x00 is already there
    case kPluginAlgorithm:
      out[1] = message.algorithm;
      break;
    default:
      break;  // refresh and quit carry nothing (quit's one byte is 0x00)
  }
  return size;
}

size_t encodeEditorMessage(const EditorMessage& message, uint8_t* out, size_t capacity) {
  const uint8_t op = message.opcode;
  size_t textLength = 0;
  if (op == kEditorRename || op == kEditorExport || op == kEditorImport) {
    textLength = message.text.size();
    if (textLength > (op == kEditorRename ? kMaxNameLength : kMaxPathLength)) return 0;
  }
  const size_t size = editorMessageSize(op, textLength);
  if (size == 0 || size > capacity) return 0;
  std::memset(out, 0, size);
  out[0] = op;
  switch (op) {
    case kEditorParameter:
      putLE32(out + 1, static_cast<uint32_t>(message.index));
      putFloatLE(out + 5, message.value);
      break;
    case kEditorMidi:
    case kEditorMidi3:
    case kEditorMidi4:
      out[1] = message.status;
      out[2] = message.data1;
      out[3] = message.data2;
      break;
    case kEditorRandomize:
    case kEditorEditPattern:
      out[1] = message.kind;
      break;
    case kEditorEditStep:
      out[1] = message.kind;
      out[2] = message.target;
      putLE32(out + 3, static_cast<uint32_t>(message.number));
      break;
    case kEditorSlotAction:
      out[1] = message.kind;
      out[2] = message.target;
      break;
    case kEditorRename:
      out[1] = static_cast<uint8_t>(textLength);
      std::memcpy(out + 2, message.text.data(), textLength);
      break;
    case kEditorExport:
      out[1] = message.kind;
      putLE32(out + 2, static_cast<uint32_t>(textLength));
      std::memcpy(out + 6, message.text.data(), textLength);
      break;
    case kEditorImport:
      out[1] = message.kind;
      out[2] = message.target;
      putLE32(out + 3, static_cast<uint32_t>(textLength));
      std::memcpy(out + 7, message.text.data(), textLength);
      break;
    default:
      break;  // play, stop and gain are the opcode alone
  }
  return size;
}

std::vector<uint8_t> encodePluginMessage(const PluginMessage& message) {
  std::vector<uint8_t> bytes(pluginMessageSize(message.opcode, message.window.size()));
  bytes.resize(encodePluginMessage(message, bytes.data(), bytes.size()));
  return bytes;
}

std::vector<uint8_t> encodeEditorMessage(const EditorMessage& message) {
  std::vector<uint8_t> bytes(editorMessageSize(message.opcode, message.text.size()));
  bytes.resize(encodeEditorMessage(message, bytes.data(), bytes.size()));
  return bytes;
}

DecodeResult decodePluginMessage(const uint8_t* data, size_t available, PluginMessage& out) {
  if (available == 0) return incomplete();
  const uint8_t op = data[0];
  if (pluginMessageSize(op) == 0) return unhandled();
  size_t textLength = 0;
  if (op == kPluginOpen) {
    if (available < 5) return incomplete();
    textLength = getLE32(data + 1);
    if (textLength > kMaxWindowTextLength) return malformed();
  }
  const size_t size = pluginMessageSize(op, textLength);
  if (available < size) return incomplete();
  out = PluginMessage();
  out.opcode = op;
  switch (op) {
    case kPluginParameter:
      out.index = static_cast<int32_t>(getLE32(data + 1));
      out.value = getFloatLE(data + 5);
      break;
    case kPluginStep:
      out.step = data[1];
      break;
    case kPluginMidi:
      out.status = data[1];
      out.data1 = data[2];
      out.data2 = data[3];
      break;
    case kPluginOpen:
      out.window = visibleText(data + 5, textLength);
      break;
    case kPluginAlgorithm:
      out.algorithm = data[1];
      break;
    default:
      break;
  }
  return complete(size);
}

DecodeResult decodeEditorMessage(const uint8_t* data, size_t available, EditorMessage& out) {
  if (available == 0) return incomplete();
  const uint8_t op = data[0];
  if (editorMessageSize(op) == 0) return unhandled();
  // Where the length field of a text message sits, and its width.
  size_t textLength = 0;
  if (op == kEditorRename) {
    if (available < 2) return incomplete();
    textLength = data[1];
  } else if (op == kEditorExport || op == kEditorImport) {
    const size_t at = op == kEditorExport ? 2 : 3;
    if (available < at + 4) return incomplete();
    textLength = getLE32(data + at);
    if (textLength > kMaxPathLength) return malformed();
  }
  const size_t size = editorMessageSize(op, textLength);
  if (available < size) return incomplete();
  out = EditorMessage();
  out.opcode = op;
  switch (op) {
    case kEditorParameter:
      out.index = static_cast<int32_t>(getLE32(data + 1));
      out.value = getFloatLE(data + 5);
      break;
    case kEditorMidi:
    case kEditorMidi3:
    case kEditorMidi4:
      out.status = data[1];
      out.data1 = data[2];
      out.data2 = data[3];
      break;
    case kEditorRandomize:
    case kEditorEditPattern:
      out.kind = data[1];
      break;
    case kEditorEditStep:
      out.kind = data[1];
      out.target = data[2];
      out.number = static_cast<int32_t>(getLE32(data + 3));
      break;
    case kEditorSlotAction:
      out.kind = data[1];
      out.target = data[2];
      break;
    case kEditorRename:
      out.text = visibleText(data + 2, textLength);
      break;
    case kEditorExport:
      out.kind = data[1];
      out.text = visibleText(data + 6, textLength);
      break;
    case kEditorImport:
      out.kind = data[1];
      out.target = data[2];
      out.text = visibleText(data + 7, textLength);
      break;
    default:
      break;
  }
  return complete(size);
}
