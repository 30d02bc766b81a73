// The messages the instrument and its editor program exchange over their two
// FIFOs: one opcode byte, then a payload whose size the opcode fixes or a
// length field inside it gives. Integers and floats are little-endian and
// packed (a 32-bit field may start at any byte). The two directions share
// the opcode numbers but not their meanings.
//
// This file and its .cpp need nothing but the C++17 standard library, so the
// editor program compiles them as they are.
//
// Decoding never reads past the bytes it is given: a message that is not
// complete yet answers kIncomplete (keep the bytes, wait for more), a length
// field larger than any message we accept answers kMalformed (the stream
// cannot be trusted past it), an opcode outside the table kUnhandled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Plug-in to editor (written to the plug-in FIFO).
enum PluginOpcode : uint8_t {
  kPluginParameter = 1,  // i32 index, f32 value                      9 bytes
  kPluginRefresh = 2,    // re-read the shared block                   1 byte
  kPluginStep = 3,       // u8 step index                              2 bytes
  kPluginMidi = 4,       // u8 status, u8 data1, u8 data2              4 bytes
  kPluginOpen = 6,       // u32 len, len bytes of window text, 0x00    6 + len bytes
  kPluginQuit = 7,       // one 0x00 byte                              2 bytes
  kPluginAlgorithm = 16  // u8 distortion algorithm 0..3               2 bytes
};

// Editor to plug-in (read from the UI FIFO).
enum EditorOpcode : uint8_t {
  kEditorParameter = 1,   // i32 index, f32 value                               9 bytes
  kEditorMidi = 2,        // u8 status, u8 data1, u8 data2 (3 and 4 alike)     4 bytes
  kEditorMidi3 = 3,
  kEditorMidi4 = 4,
  kEditorRandomize = 10,  // u8 kind, two ignored bytes                        4 bytes
  kEditorEditPattern = 11,  // u8 edit                                         2 bytes
  kEditorEditStep = 12,   // u8 field, u8 step, i32 value                      7 bytes
  kEditorSlotAction = 13,  // u8 action, u8 pattern, one ignored byte          4 bytes
  kEditorRename = 14,     // u8 len, len bytes of name                         2 + len bytes
  kEditorPlay = 16,       // internal play (17 alike)                          1 byte
  kEditorPlay17 = 17,
  kEditorStop = 18,       // internal stop                                     1 byte
  kEditorExport = 32,     // u8 kind, u32 len, len bytes of path               6 + len bytes
  kEditorImport = 33,     // u8 kind, u8 slot, u32 len, len bytes of path      7 + len bytes
  kEditorGain = 63        // output gain to 1                                  1 byte
};

// Longest text accepted in a message: a file path (PATH_MAX) for export and
// import, a decimal window handle for the open message. A longer length
// field is refused as malformed, which also bounds what a reader must keep
// of an unfinished message.
constexpr size_t kMaxPathLength = 4096;
constexpr size_t kMaxWindowTextLength = 32;
constexpr size_t kMaxNameLength = 255;  // the u8 length of opcode 14
// The longest message of either direction.
constexpr size_t kMaxMessageSize = 7 + kMaxPathLength;

enum class DecodeStatus { kComplete, kIncomplete, kUnhandled, kMalformed };

struct DecodeResult {
  DecodeStatus status = DecodeStatus::kIncomplete;
  size_t size = 0;  // bytes of the message when complete, else 0
};

// A message from the plug-in to the editor. Only the fields of its opcode
// are used.
struct PluginMessage {
  uint8_t opcode = 0;
  int32_t index = 0;      // 1: parameter index
  float value = 0.0f;     // 1: normalised value
  uint8_t step = 0;       // 3
  uint8_t status = 0;     // 4
  uint8_t data1 = 0;      // 4
  uint8_t data2 = 0;      // 4
  uint8_t algorithm = 0;  // 16
  std::string window;     // 6: the parent window handle in decimal
};

// A message from the editor to the plug-in. Only the fields of its opcode
// are used; the bytes the plug-in ignores are sent as 0.
struct EditorMessage {
  uint8_t opcode = 0;
  int32_t index = 0;    // 1: parameter index
  float value = 0.0f;   // 1: normalised value
  uint8_t status = 0;   // 2, 3, 4
  uint8_t data1 = 0;    // 2, 3, 4
  uint8_t data2 = 0;    // 2, 3, 4
  uint8_t kind = 0;     // 10 kind, 11 edit, 12 field, 13 action, 32 and 33 kind
  uint8_t target = 0;   // 12 step index, 13 pattern index, 33 pattern slot
  int32_t number = 0;   // 12 value
  std::string text;     // 14 name, 32 and 33 file path
};

// Size of a message of this opcode whose text is textLength bytes long, or
// 0 for an opcode outside the direction's table.
size_t pluginMessageSize(uint8_t opcode, size_t textLength = 0);
size_t editorMessageSize(uint8_t opcode, size_t textLength = 0);

// Encodes into out[0..capacity); answers the bytes written, or 0 when the
// opcode is not in the table, a text is too long for its field or the
// message does not fit.
size_t encodePluginMessage(const PluginMessage& message, uint8_t* out, size_t capacity);
size_t encodeEditorMessage(const EditorMessage& message, uint8_t* out, size_t capacity);
// The same into a new vector (empty on failure).
std::vector<uint8_t> encodePluginMessage(const PluginMessage& message);
std::vector<uint8_t> encodeEditorMessage(const EditorMessage& message);

// Decodes the message at data[0..available). A text payload becomes the
// bytes before its first 0x00 (the length field still counts them all).
DecodeResult decodePluginMessage(const uint8_t* data, size_t available, PluginMessage& out);
DecodeResult decodeEditorMessage(const uint8_t* data, size_t available, EditorMessage& out);

// Little-endian field access at any byte position.
void putLE32(uint8_t* at, uint32_t value);
uint32_t getLE32(const uint8_t* at);
void putFloatLE(uint8_t* at, float value);
float getFloatLE(const uint8_t* at);
