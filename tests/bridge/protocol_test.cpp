// The editor-to-plug-in messages executed by the instrument, and the
// plug-in-to-editor messages the stand-in editor receives, through the
// built module, its FIFOs and its shared block.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <thread>

#include "BridgeRig.h"
#include "editorbridge/SharedBlockLayout.h"

namespace vornix::test {
namespace {

constexpr int kFactoryNotes[16] = {13, 15, 15, 14, 12, 16, 15, 14, 16, 13, 8, 16, 12, 16, 18, 12};

Bytes renameMessage(size_t length) {
  Bytes bytes = {14, static_cast<uint8_t>(length)};
  for (size_t i = 0; i < length; ++i) bytes.push_back(static_cast<uint8_t>('a' + i % 26));
  return bytes;
}

int note(BridgeRig& rig, int pattern, int step) { return readStep(rig.block(), pattern, step).note; }

bool notesAreRandom(BridgeRig& rig, int pattern) {
  bool differs = false;
  for (int s = 0; s < 16; ++s) {
    const int n = note(rig, pattern, s);
    if (n < 15 || n > 29) return false;
    if (pattern == 0 && n != kFactoryNotes[s]) differs = true;
  }
  return pattern != 0 || differs;
}

float peak(const std::vector<float>& samples) {
  float p = 0.0f;
  for (float s : samples) p = std::max(p, std::fabs(s));
  return p;
}

void keyboardMode(BridgeRig& rig) { rig.host().setParameter(26, 1.0f); }
void internalClock(BridgeRig& rig) { rig.host().setParameter(26, 0.5f); }

struct Row {
  const char* what;
  std::function<void(BridgeRig&)> setup;
  Bytes bytes;
  // Checks the instrument after the message ran; `lines` is what the editor
  // received meanwhile.
  std::function<void(BridgeRig&, const Lines& lines)> check;
};

TEST(BridgeProtocol, EveryEditorRequestHasItsEffect) {
  const Row rows[] = {
      {"parameter: set, automated, echoed, shown", nullptr, parameterMessage(3, 0.5f),
       [](BridgeRig& rig, const Lines& lines) {
         EXPECT_EQ(rig.host().getParameter(3), 0.5f);
         ASSERT_EQ(rig.host().automation().size(), 2u);  // and the marker
         EXPECT_EQ(rig.host().automation()[0].index, 3);
         EXPECT_EQ(countLines(lines, "1 3 0.5"), 1);
         EXPECT_EQ(readParameterText(rig.block(), 3), "50");
       }},
      {"parameter index 29 is ignored", nullptr, parameterMessage(29, 0.5f) + parameterMessage(-1, 0.5f),
       [](BridgeRig& rig, const Lines&) { EXPECT_EQ(rig.host().automation().size(), 1u); }},
      {"note on (opcodes 2, 3, 4) plays the keyboard voice; gain to 1 before any resume", keyboardMode,
       Bytes{63, 3, 0x90, 48, 100},
       [](BridgeRig& rig, const Lines&) {
         rig.host().process(512);
         EXPECT_GT(peak(rig.host().left()), 0.01f);
       }},
      {"control change from the keyboard is consumed and ignored", keyboardMode, Bytes{63, 4, 0xB0, 48, 100},
       [](BridgeRig& rig, const Lines&) {
         rig.host().process(512);
         EXPECT_EQ(peak(rig.host().left()), 0.0f);
       }},
      {"randomise the current pattern", nullptr, Bytes{10, 0, 0, 0},
       [](BridgeRig& rig, const Lines& lines) {
         EXPECT_TRUE(notesAreRandom(rig, 0));
         EXPECT_GE(countLines(lines, "2"), 1);
       }},
      {"randomise the sound: six parameters echoed", nullptr, Bytes{10, 4, 0, 0},
       [](BridgeRig&, const Lines& lines) {
         int echoes = 0;
         for (const std::string& line : lines) echoes += line.rfind("1 ", 0) == 0;
         EXPECT_EQ(echoes, 6);
       }},
      {"clear the current pattern", nullptr, Bytes{11, 0},
       [](BridgeRig& rig, const Lines& lines) {
         for (int s = 0; s < 16; ++s) EXPECT_EQ(note(rig, 0, s), 25);
         EXPECT_FALSE(readStep(rig.block(), 0, 1).accent);
         EXPECT_EQ(countLines(lines, "2"), 1);
       }},
      {"transpose up", nullptr, Bytes{11, 3},
       [](BridgeRig& rig, const Lines&) {
         for (int s = 0; s < 16; ++s) EXPECT_EQ(note(rig, 0, s), kFactoryNotes[s] + 1);
       }},
      {"an unknown edit still refreshes", nullptr, Bytes{11, 7},
       [](BridgeRig& rig, const Lines& lines) {
         EXPECT_EQ(note(rig, 0, 0), kFactoryNotes[0]);
         EXPECT_EQ(countLines(lines, "2"), 1);
       }},
      {"step note and accent", nullptr, Bytes{12, 0, 2, 30, 0, 0, 0} + Bytes{12, 2, 4, 1, 0, 0, 0},
       [](BridgeRig& rig, const Lines& lines) {
         EXPECT_EQ(note(rig, 0, 2), 30);
         EXPECT_TRUE(readStep(rig.block(), 0, 4).accent);
         EXPECT_EQ(countLines(lines, "2"), 2);
       }},
      {"randomise slot 5; slot 64 changes nothing but refreshes", nullptr, Bytes{13, 3, 5, 0} + Bytes{13, 0, 64, 0},
       [](BridgeRig& rig, const Lines& lines) {
         EXPECT_TRUE(notesAreRandom(rig, 5));
         EXPECT_EQ(note(rig, 0, 0), kFactoryNotes[0]);
         EXPECT_GE(countLines(lines, "2"), 2);
       }},
      {"a 200-byte name is stored as 127 bytes and a zero", nullptr, renameMessage(200),
       [](BridgeRig& rig, const Lines& lines) {
         const Bytes expected = renameMessage(127);
         EXPECT_EQ(readPatternName(rig.block(), 0), std::string(expected.begin() + 2, expected.end()));
         EXPECT_EQ(countLines(lines, "2"), 0);
       }},
      {"an empty name", nullptr, renameMessage(0),
       [](BridgeRig& rig, const Lines&) { EXPECT_EQ(readPatternName(rig.block(), 0), ""); }},
      {"internal play (16, 17) and stop (18)", internalClock, Bytes{17},
       [](BridgeRig& rig, const Lines&) {
         EXPECT_TRUE(readStatus(rig.block()).internalRunning);
         rig.settle(Bytes{18});
         EXPECT_FALSE(readStatus(rig.block()).internalRunning);
         EXPECT_EQ(readStatus(rig.block()).syncType, 1u);
       }},
      {"export kind 1 consumes its path", nullptr, Bytes{32, 1, 2, 0, 0, 0, '/', 'x'} + parameterMessage(5, 0.25f),
       [](BridgeRig& rig, const Lines&) { EXPECT_EQ(rig.host().getParameter(5), 0.25f); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    BridgeRig rig;
    ASSERT_TRUE(rig.start());
    if (row.setup) row.setup(rig);
    const Lines lines = rig.settle(row.bytes);
    row.check(rig, lines);
  }
}

TEST(BridgeProtocol, UnhandledOpcodeDropsTheRestOfTheRead) {
  const struct {
    uint8_t opcode;
    const char* line;
  } cases[] = {{5, "VornixVST > processMessageFromUI : unhandled opcode 5"},
               {0x80, "VornixVST > processMessageFromUI : unhandled opcode ffffff80"}};
  for (const auto& c : cases) {
    BridgeRig rig;
    ASSERT_TRUE(rig.start());
    testing::internal::CaptureStdout();
    rig.send(parameterMessage(3, 0.5f) + Bytes{c.opcode} + parameterMessage(4, 0.25f));
    // The marker goes in a later poll: the rest of this one is dropped.
    EXPECT_TRUE(BridgeRig::waitFor([&] { return rig.host().getParameter(3) == 0.5f; }));
    rig.settle({});
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find(std::string(c.line) + "\n"), std::string::npos) << printed;
    EXPECT_EQ(rig.host().getParameter(3), 0.5f);
    EXPECT_NE(rig.host().getParameter(4), 0.25f);
  }
}

TEST(BridgeProtocol, SplitMessageIsCompletedByTheNextPoll) {
  BridgeRig rig;
  ASSERT_TRUE(rig.start());
  const Bytes whole = renameMessage(40) + parameterMessage(3, 0.5f);
  rig.send(Bytes(whole.begin(), whole.begin() + 30));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));  // several polls
  EXPECT_EQ(readPatternName(rig.block(), 0), "pattern 1");
  rig.settle(Bytes(whole.begin() + 30, whole.end()));
  const Bytes name = renameMessage(40);
  EXPECT_EQ(readPatternName(rig.block(), 0), std::string(name.begin() + 2, name.end()));
  EXPECT_EQ(rig.host().getParameter(3), 0.5f);
}

TEST(BridgeProtocol, MessagesToTheEditorWhileOpenAndClosed) {
  BridgeRig rig;
  ASSERT_TRUE(rig.start(1000));
  ScriptedHost& host = rig.host();
  host.setParameter(5, 0.75f);
  host.playTransport(120.0);
  for (int i = 0; i < 12; ++i) host.process(512);  // 6144 frames: steps 0 and 1
  EXPECT_TRUE(rig.waitForLine("1 5 0.75"));
  EXPECT_TRUE(rig.waitForLine("4 250 0 0"));  // transport start
  EXPECT_TRUE(rig.waitForLine("3 1"));
  EXPECT_TRUE(readStatus(rig.block()).hostPlaying);
  EXPECT_EQ(readStatus(rig.block()).tempo, 120);

  rig.close();
  host.setParameter(6, 0.25f);  // no echo while closed
  host.setParameter(23, 1.0f);  // the algorithm is told anyway
  host.sendMidi({noteOn(60, 100), noteOff(60)});
  host.process(512);
  EXPECT_TRUE(rig.waitForLine("16 3"));
  EXPECT_TRUE(rig.waitForLine("4 144 60 100"));
  EXPECT_TRUE(rig.waitForLine("4 128 60 0"));
  ASSERT_TRUE(rig.open(2000));
  EXPECT_TRUE(rig.waitForLine("6 2000"));
  const Lines lines = rig.log();
  EXPECT_EQ(countLines(lines, "1 6 0.25"), 0);
  EXPECT_EQ(countLines(lines, "6 2000"), 1);
}

}  // namespace
}  // namespace vornix::test
