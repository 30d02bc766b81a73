// The FIFO messages of both directions against bytes written out by hand
// from the message tables (little-endian, packed).
#include <gtest/gtest.h>

#include <vector>

#include "editorbridge/MessageCodec.h"

namespace {

using Bytes = std::vector<uint8_t>;

EditorMessage editor(uint8_t op) {
  EditorMessage m;
  m.opcode = op;
  return m;
}

PluginMessage plugin(uint8_t op) {
  PluginMessage m;
  m.opcode = op;
  return m;
}

struct EditorCase {
  EditorMessage message;
  Bytes bytes;
};

std::vector<EditorCase> editorCases() {
  std::vector<EditorCase> cases;
  EditorMessage m = editor(kEditorParameter);
  m.index = 3;
  m.value = 0.5f;
  cases.push_back({m, {0x01, 0x03, 0, 0, 0, 0x00, 0x00, 0x00, 0x3F}});
  m = editor(kEditorMidi3);
  m.status = 0x90, m.data1 = 60, m.data2 = 100;
  cases.push_back({m, {0x03, 0x90, 0x3C, 0x64}});
  m = editor(kEditorRandomize);
  m.kind = 4;
  cases.push_back({m, {0x0A, 0x04, 0, 0}});
  m = editor(kEditorEditPattern);
  m.kind = 6;
  cases.push_back({m, {0x0B, 0x06}});
  m = editor(kEditorEditStep);
  m.kind = 0, m.target = 5, m.number = -2;
  cases.push_back({m, {0x0C, 0x00, 0x05, 0xFE, 0xFF, 0xFF, 0xFF}});
  m = editor(kEditorSlotAction);
  m.kind = 1, m.target = 9;
  cases.push_back({m, {0x0D, 0x01, 0x09, 0x00}});
  m = editor(kEditorRename);
  m.text = "ab";
  cases.push_back({m, {0x0E, 0x02, 'a', 'b'}});
  cases.push_back({editor(kEditorPlay17), {0x11}});
  cases.push_back({editor(kEditorStop), {0x12}});
  cases.push_back({editor(kEditorGain), {0x3F}});
  m = editor(kEditorExport);
  m.kind = 5, m.text = "/x";
  cases.push_back({m, {0x20, 0x05, 0x02, 0, 0, 0, '/', 'x'}});
  m = editor(kEditorImport);
  m.kind = 1, m.target = 7, m.text = "/y";
  cases.push_back({m, {0x21, 0x01, 0x07, 0x02, 0, 0, 0, '/', 'y'}});
  return cases;
}

struct PluginCase {
  PluginMessage message;
  Bytes bytes;
};

std::vector<PluginCase> pluginCases() {
  std::vector<PluginCase> cases;
  PluginMessage m = plugin(kPluginParameter);
  m.index = 28, m.value = 1.0f;
  cases.push_back({m, {0x01, 0x1C, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F}});
  cases.push_back({plugin(kPluginRefresh), {0x02}});
  m = plugin(kPluginStep);
  m.step = 15;
  cases.push_back({m, {0x03, 0x0F}});
  m = plugin(kPluginMidi);
  m.status = 0xFA;
  cases.push_back({m, {0x04, 0xFA, 0, 0}});
  m = plugin(kPluginOpen);
  m.window = "12345";
  cases.push_back({m, {0x06, 0x05, 0, 0, 0, '1', '2', '3', '4', '5', 0x00}});
  cases.push_back({plugin(kPluginQuit), {0x07, 0x00}});
  m = plugin(kPluginAlgorithm);
  m.algorithm = 3;
  cases.push_back({m, {0x10, 0x03}});
  return cases;
}

TEST(MessageCodec, EveryMessageOfBothTablesEncodesDecodesAndWaitsForItsTail) {
  for (const EditorCase& c : editorCases()) {
    SCOPED_TRACE(static_cast<int>(c.message.opcode));
    EXPECT_EQ(encodeEditorMessage(c.message), c.bytes);
    EditorMessage decoded;
    for (size_t cut = 0; cut < c.bytes.size(); ++cut)
      EXPECT_EQ(decodeEditorMessage(c.bytes.data(), cut, decoded).status, DecodeStatus::kIncomplete) << cut;
    Bytes padded = c.bytes;
    padded.push_back(0x12);  // the next message must not be taken in
    const DecodeResult result = decodeEditorMessage(padded.data(), padded.size(), decoded);
    ASSERT_EQ(result.status, DecodeStatus::kComplete);
    EXPECT_EQ(result.size, c.bytes.size());
    EXPECT_EQ(encodeEditorMessage(decoded), c.bytes);
  }
  for (const PluginCase& c : pluginCases()) {
    SCOPED_TRACE(static_cast<int>(c.message.opcode));
    EXPECT_EQ(encodePluginMessage(c.message), c.bytes);
    PluginMessage decoded;
    for (size_t cut = 0; cut < c.bytes.size(); ++cut)
      EXPECT_EQ(decodePluginMessage(c.bytes.data(), cut, decoded).status, DecodeStatus::kIncomplete) << cut;
    const DecodeResult result = decodePluginMessage(c.bytes.data(), c.bytes.size(), decoded);
    ASSERT_EQ(result.status, DecodeStatus::kComplete);
    EXPECT_EQ(result.size, c.bytes.size());
    EXPECT_EQ(encodePluginMessage(decoded), c.bytes);
  }
}

TEST(MessageCodec, RefusesWhatNoTableHoldsAndLengthsPastAnyMessage) {
  EditorMessage e;
  PluginMessage p;
  for (int op : {0, 5, 9, 15, 19, 31, 34, 62, 64, 0x80, 0xFF}) {
    const uint8_t byte = static_cast<uint8_t>(op);
    EXPECT_EQ(decodeEditorMessage(&byte, 1, e).status, DecodeStatus::kUnhandled) << op;
  }
  for (int op : {0, 5, 8, 10, 17, 63}) {
    const uint8_t byte = static_cast<uint8_t>(op);
    EXPECT_EQ(decodePluginMessage(&byte, 1, p).status, DecodeStatus::kUnhandled) << op;
  }
  const Bytes longPath = {0x20, 0x00, 0x01, 0x10, 0x00, 0x00};  // 4097 bytes of path
  EXPECT_EQ(decodeEditorMessage(longPath.data(), longPath.size(), e).status, DecodeStatus::kMalformed);
  const Bytes longWindow = {0x06, 0x21, 0x00, 0x00, 0x00};  // 33 bytes of window text
  EXPECT_EQ(decodePluginMessage(longWindow.data(), longWindow.size(), p).status, DecodeStatus::kMalformed);

  // A 0x00 inside a text ends the visible text; the length still counts.
  const Bytes name = {0x0E, 0x03, 'a', 0x00, 'b', 0x12};
  const DecodeResult result = decodeEditorMessage(name.data(), name.size(), e);
  EXPECT_EQ(result.size, 5u);
  EXPECT_EQ(e.text, "a");

  EditorMessage tooLong = editor(kEditorRename);
  tooLong.text.assign(256, 'x');
  EXPECT_TRUE(encodeEditorMessage(tooLong).empty());
  uint8_t small[8];
  EXPECT_EQ(encodeEditorMessage(editor(kEditorParameter), small, sizeof(small)), 0u);
}

}  // namespace
