// The FIFO messages of both directions against bytes written out by hand
// from the message tables (little-endian, packed).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "editorbridge/MessageCodec.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Every field of a decoded message, in table order.
std::string fields(const EditorMessage& m) {
  char text[64];
  std::snprintf(text, sizeof(text), "%d %d %g %d %d %d %d %d %d ", m.opcode, m.index, m.value, m.status, m.data1,
                m.data2, m.kind, m.target, m.number);
  return text + m.text;
}

std::string fields(const PluginMessage& m) {
  char text[64];
  std::snprintf(text, sizeof(text), "%d %d %g %d %d %d %d %d ", m.opcode, m.index, m.value, m.step, m.status,
                m.data1, m.data2, m.algorithm);
  return text + m.window;
}

template <typename Message>
void checkRows(const std::vector<std::pair<Bytes, std::string>>& rows,
               DecodeResult (*decode)(const uint8_t*, size_t, Message&), std::vector<uint8_t> (*encode)(const Message&)) {
  for (const auto& [bytes, expected] : rows) {
    SCOPED_TRACE(expected);
    Message m;
    for (size_t cut = 0; cut < bytes.size(); ++cut)
      EXPECT_EQ(decode(bytes.data(), cut, m).status, DecodeStatus::kIncomplete) << cut;
    Bytes padded = bytes;
    padded.push_back(0x12);  // the next message is not taken in
    const DecodeResult result = decode(padded.data(), padded.size(), m);
    ASSERT_EQ(result.status, DecodeStatus::kComplete);
    EXPECT_EQ(result.size, bytes.size());
    EXPECT_EQ(fields(m), expected);
    EXPECT_EQ(encode(m), bytes);
  }
}

TEST(MessageCodec, EveryMessageOfBothTablesRoundTripsAndWaitsForItsTail) {
  checkRows<EditorMessage>(
      {{{0x01, 0x03, 0, 0, 0, 0, 0, 0, 0x3F}, "1 3 0.5 0 0 0 0 0 0 "},
       {{0x03, 0x90, 0x3C, 0x64}, "3 0 0 144 60 100 0 0 0 "},
       {{0x0A, 0x04, 0, 0}, "10 0 0 0 0 0 4 0 0 "},
       {{0x0B, 0x06}, "11 0 0 0 0 0 6 0 0 "},
       {{0x0C, 0x00, 0x05, 0xFE, 0xFF, 0xFF, 0xFF}, "12 0 0 0 0 0 0 5 -2 "},
       {{0x0D, 0x01, 0x09, 0x00}, "13 0 0 0 0 0 1 9 0 "},
       {{0x0E, 0x02, 'a', 'b'}, "14 0 0 0 0 0 0 0 0 ab"},
       {{0x11}, "17 0 0 0 0 0 0 0 0 "},
       {{0x3F}, "63 0 0 0 0 0 0 0 0 "},
       {{0x20, 0x05, 0x02, 0, 0, 0, '/', 'x'}, "32 0 0 0 0 0 5 0 0 /x"},
       {{0x21, 0x01, 0x07, 0x02, 0, 0, 0, '/', 'y'}, "33 0 0 0 0 0 1 7 0 /y"}},
      decodeEditorMessage, encodeEditorMessage);
  checkRows<PluginMessage>({{{0x01, 0x1C, 0, 0, 0, 0, 0, 0x80, 0x3F}, "1 28 1 0 0 0 0 0 "},
                            {{0x02}, "2 0 0 0 0 0 0 0 "},
                            {{0x03, 0x0F}, "3 0 0 15 0 0 0 0 "},
                            {{0x04, 0xFA, 0, 0}, "4 0 0 0 250 0 0 0 "},
                            {{0x06, 0x05, 0, 0, 0, '1', '2', '3', '4', '5', 0x00}, "6 0 0 0 0 0 0 0 12345"},
                            {{0x07, 0x00}, "7 0 0 0 0 0 0 0 "},
                            {{0x10, 0x03}, "16 0 0 0 0 0 0 3 "}},
                           decodePluginMessage, encodePluginMessage);
}

TEST(MessageCodec, RefusesWhatNoTableHoldsAndLengthsPastAnyMessage) {
  EditorMessage e;
  PluginMessage p;
  for (int op : {0, 5, 9, 15, 19, 31, 34, 62, 64, 0x80, 0xFF}) {
    const uint8_t byte = static_cast<uint8_t>(op);
    EXPECT_EQ(decodeEditorMessage(&byte, 1, e).status, DecodeStatus::kUnhandled) << op;
  }
  const Bytes longPath = {0x20, 0x00, 0x01, 0x10, 0x00, 0x00};  // 4097 bytes of path
  EXPECT_EQ(decodeEditorMessage(longPath.data(), longPath.size(), e).status, DecodeStatus::kMalformed);
  const Bytes longWindow = {0x06, 0x21, 0x00, 0x00, 0x00};  // 33 bytes of window text
  EXPECT_EQ(decodePluginMessage(longWindow.data(), longWindow.size(), p).status, DecodeStatus::kMalformed);
  const Bytes name = {0x0E, 0x03, 'a', 0x00, 'b'};  // a 0x00 ends the visible text
  EXPECT_EQ(decodeEditorMessage(name.data(), name.size(), e).size, 5u);
  EXPECT_EQ(e.text, "a");
  e.opcode = kEditorRename;
  e.text.assign(256, 'x');  // longer than its u8 length
  EXPECT_TRUE(encodeEditorMessage(e).empty());
}

}  // namespace
