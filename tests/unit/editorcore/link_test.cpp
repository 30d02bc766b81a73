// The editor's side of the protocol: reading the shared block, splitting the
// instrument's messages, the bytes of its requests, and noticing that the
// instrument is gone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "editor/core/Commands.h"
#include "editor/core/EditorState.h"
#include "editor/core/Inbox.h"
#include "editor/core/PluginLink.h"
#include "editorbridge/SharedBlockLayout.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }  // x86: little-endian

TEST(EditorState, DecodesTheBlockAndPullsForeignValuesIntoRange) {
  Bytes b(75024, 0);
  float cutoff = 0.25f, nan = NAN;
  std::memcpy(&b[32 * 3], &cutoff, 4);
  std::memcpy(&b[32 * 4], &nan, 4);
  std::memcpy(&b[32 * 3 + 16], "25", 2);
  std::memset(&b[32 * 5 + 16], 'x', 16);  // no terminator in the field
  b[32 * 6 + 16] = 0x07;                  // a control code
  // Pattern 2: step 0 note 13 with slide and accent, step 1 note 99 (foreign), length 200, a name.
  size_t p2 = 1024 + 2 * 1156;
  put32(b, p2, 13);
  b[p2 + 4] = 1;
  b[p2 + 5] = 1;
  put32(b, p2 + 16, 99);
  put32(b, p2 + 1152, 200);
  std::memcpy(&b[p2 + 1024], "Acid", 4);
  b[75008] = 1;
  put32(b, 75012, 70);     // pattern out of range
  put32(b, 75016, 133);    // tempo
  put32(b, 75020, 1);      // internal

  EditorState s;
  decodeBlock(b.data(), b.size(), s);
  EXPECT_FLOAT_EQ(s.params[3].value, 0.25f);
  EXPECT_EQ(s.params[3].text, "25");
  EXPECT_EQ(s.params[4].value, 0.0f);
  EXPECT_EQ(s.params[5].text, std::string(15, 'x'));
  EXPECT_EQ(s.params[6].text, "?");
  const PatternState& p = s.patterns[2];
  EXPECT_EQ(p.steps[0].note, 13);
  EXPECT_TRUE(p.steps[0].slide && p.steps[0].accent);
  EXPECT_EQ(p.steps[1].note, 0);
  EXPECT_EQ(p.length, 64);
  EXPECT_EQ(p.name, "Acid");
  EXPECT_EQ(s.patterns[0].length, 1);  // a zero length shows as one step
  EXPECT_TRUE(s.transport.hostPlaying);
  EXPECT_FALSE(s.transport.running);
  EXPECT_EQ(s.transport.pattern, 63);
  EXPECT_EQ(s.transport.tempo, 133);
  EXPECT_EQ(s.transport.syncType, 1);

  EditorState untouched;
  untouched.transport.tempo = 7;
  decodeBlock(b.data(), b.size() - 1, untouched);  // a short block is not read
  EXPECT_EQ(untouched.transport.tempo, 7);
}

TEST(EditorInbox, MessagesSplitAnywhereArriveWholeAndGarbageIsDropped) {
  const Bytes stream = {1, 3, 0, 0, 0, 0, 0, 0, 0x3F,       // parameter 3 = 0.5
                        3, 17,                              // step 17
                        4, 0x90, 60, 100,                   // note on
                        6, 4, 0, 0, 0, '4', '1', '9', '4', 0,  // open window 4194
                        2,                                  // refresh
                        7, 0};                              // quit
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    Inbox inbox;
    std::vector<PluginMessage> got;
    inbox.feed(stream.data(), cut, got);
    inbox.feed(stream.data() + cut, stream.size() - cut, got);
    ASSERT_EQ(got.size(), 6u) << cut;
    EXPECT_EQ(got[0].index, 3);
    EXPECT_FLOAT_EQ(got[0].value, 0.5f);
    EXPECT_EQ(got[1].step, 17);
    EXPECT_EQ(got[2].data1, 60);
    EXPECT_EQ(got[3].window, "4194");
    EXPECT_EQ(got[5].opcode, 7);
    EXPECT_EQ(inbox.pending(), 0u);
  }
  Inbox inbox;
  std::vector<PluginMessage> got;
  const Bytes bad = {2, 0x55, 2, 2};
  inbox.feed(bad.data(), bad.size(), got);
  EXPECT_EQ(got.size(), 1u);
  EXPECT_EQ(inbox.pending(), 0u);

  struct Id {
    const char* text;
    bool ok;
    unsigned long id;
  } ids[] = {{"4194", true, 4194}, {"", false, 0}, {"12a", false, 0}, {"-5", false, 0},
             {"99999999999999999999999", false, 0}};
  for (const Id& i : ids) {
    unsigned long id = 0;
    EXPECT_EQ(parseWindowId(i.text, id), i.ok) << i.text;
    if (i.ok) {
      EXPECT_EQ(id, i.id);
    }
  }
}

TEST(EditorCommands, RequestsAreTheProtocolsBytes) {
  std::vector<Bytes> sent;
  Commands c([&sent](const uint8_t* b, size_t n) { sent.emplace_back(b, b + n); });
  c.setParameter(3, 0.5f);
  c.editStep(Commands::kAccent, 17, 1);
  c.note(60, true);
  c.note(60, false);
  c.editPattern(Commands::kRotateRight);
  c.slot(Commands::kSlotPaste, 63);
  c.randomise(Commands::kRandomAll);
  c.play();
  c.stop();
  c.importFile(Commands::kImportAbl, 5, "/a.pat");
  c.exportFile(Commands::kExportAbl3, "/b");
  c.rename(std::string(300, 'n'));
  const std::vector<Bytes> expected = {
      {1, 3, 0, 0, 0, 0, 0, 0, 0x3F}, {12, 2, 17, 1, 0, 0, 0}, {4, 0x90, 60, 100}, {4, 0x80, 60, 100},
      {11, 6},                        {13, 2, 63, 0},          {10, 5, 0, 0},      {16},
      {18},                           {33, 2, 5, 6, 0, 0, 0, '/', 'a', '.', 'p', 'a', 't'},
      {32, 3, 2, 0, 0, 0, '/', 'b'}};
  ASSERT_EQ(sent.size(), expected.size() + 1);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(sent[i], expected[i]) << i;
  EXPECT_EQ(sent.back().size(), 2u + 255u);
  EXPECT_EQ(sent.back()[1], 255);

  // Refused, and nothing sent: steps and slots outside the song, a path the
  // pipe cannot carry in one piece, an empty path.
  sent.clear();
  c.editStep(Commands::kNote, 64, 1);
  c.slot(Commands::kSlotClear, -1);
  EXPECT_FALSE(c.exportFile(Commands::kExportBank, std::string(4090, 'p')));
  EXPECT_FALSE(c.importFile(Commands::kImportBank, 0, ""));
  EXPECT_FALSE(c.importFile(Commands::kImportPattern, 64, "/x.303"));
  EXPECT_TRUE(sent.empty());
}

TEST(EditorLink, NoticesTheInstrumentLeavingAndRefusesAShortBlock) {
  const int n = 7000 + static_cast<int>(getpid() % 1000);
  const std::string ui = uiFifoPath(n), plugin = pluginFifoPath(n), shm = sharedBlockName(n);
  ASSERT_EQ(mkfifo(ui.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(plugin.c_str(), 0600), 0);
  {
    PluginLink link;
    std::string error;
    ASSERT_TRUE(link.open(n, error)) << error;
    int writer = open(plugin.c_str(), O_RDWR | O_NONBLOCK);  // the instrument's end
    Bytes got;
    EXPECT_TRUE(link.receive(got));
    EXPECT_TRUE(got.empty());
    ASSERT_EQ(write(writer, "\x02", 1), 1);
    EXPECT_TRUE(link.receive(got));
    EXPECT_EQ(got, Bytes{2});
    close(writer);
    EXPECT_FALSE(link.receive(got)) << "end of file once the instrument's end is closed";

    int fd = shm_open(shm.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 1000), 0);
    EXPECT_FALSE(link.mapBlock());
    ASSERT_EQ(ftruncate(fd, 75024), 0);
    close(fd);
    EXPECT_TRUE(link.mapBlock());
    EXPECT_EQ(link.blockSize(), 75024u);
  }
  shm_unlink(shm.c_str());
  unlink(ui.c_str());
  unlink(plugin.c_str());
}

}  // namespace
