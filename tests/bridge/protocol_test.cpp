// The editor-to-plug-in messages executed by the instrument, and the
// plug-in-to-editor messages the stand-in editor receives, through the
// built module, its FIFOs and its shared block.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <thread>

#include <unistd.h>

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

// An export (32) or import (33) request; an export has no slot byte.
Bytes fileMessage(uint8_t opcode, uint8_t kind, uint8_t slot, const std::string& path) {
  Bytes bytes = {opcode, kind};
  if (opcode == 33) bytes.push_back(slot);
  const uint32_t length = static_cast<uint32_t>(path.size());
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(length >> (8 * i)));
  bytes.insert(bytes.end(), path.begin(), path.end());
  return bytes;
}

std::string exportPath() {
  return ::testing::TempDir() + "vornix_bridge_export" + std::to_string(::getpid()) + ".303";
}

int note(BridgeRig& rig, int pattern, int step) { return readStep(rig.block(), pattern, step).note; }

// Notes of a randomised pattern: 15..29, and not the factory line.
bool randomised(BridgeRig& rig, int pattern) {
  bool differs = pattern != 0;
  for (int s = 0; s < 16; ++s) {
    if (note(rig, pattern, s) < 15 || note(rig, pattern, s) > 29) return false;
    differs = differs || note(rig, pattern, s) != kFactoryNotes[s];
  }
  return differs;
}

float peakAfterABlock(BridgeRig& rig) {
  FakeHost& host = rig.host();
  host.render(512);
  return static_cast<float>(host.peak(host.frames() - 512, 512));
}

TEST(BridgeProtocol, EveryEditorRequestHasItsEffect) {
  using Check = std::function<void(BridgeRig&, const Lines& received)>;
  const auto keyboard = [](BridgeRig& rig) { rig.host().setParameter(26, 1.0f); };
  const auto internal = [](BridgeRig& rig) { rig.host().setParameter(26, 0.5f); };
  const struct {
    const char* what;
    std::function<void(BridgeRig&)> setup;
    Bytes bytes;
    Check check;
  } rows[] = {
      {"parameter: set, automated, echoed, shown", nullptr, parameterMessage(3, 0.5f),
       [](BridgeRig& rig, const Lines& received) {
         EXPECT_EQ(rig.host().getParameter(3), 0.5f);
         ASSERT_EQ(rig.host().automation().size(), 2u);  // and the marker's
         EXPECT_EQ(rig.host().automation()[0].index, 3);
         EXPECT_EQ(countLines(received, "1 3 0.5"), 1);
         EXPECT_EQ(readParameterText(rig.block(), 3), "50");
       }},
      {"parameter indices outside 0..28 are ignored", nullptr,
       parameterMessage(29, 0.5f) + parameterMessage(-1, 0.5f),
       [](BridgeRig& rig, const Lines&) { EXPECT_EQ(rig.host().automation().size(), 1u); }},
      {"gain to 1 before any resume, then a note on (opcode 3)", keyboard, Bytes{63, 3, 0x90, 48, 100},
       [](BridgeRig& rig, const Lines&) { EXPECT_GT(peakAfterABlock(rig), 0.01f); }},
      {"randomise the current pattern", nullptr, Bytes{10, 0, 0, 0},
       [](BridgeRig& rig, const Lines& received) {
         EXPECT_TRUE(randomised(rig, 0));
         EXPECT_GE(countLines(received, "2"), 1);
       }},
      {"transpose up; an unknown edit changes nothing but refreshes too", nullptr,
       Bytes{11, 3} + Bytes{11, 7},
       [](BridgeRig& rig, const Lines& received) {
         for (int s = 0; s < 16; ++s) EXPECT_EQ(note(rig, 0, s), kFactoryNotes[s] + 1);
         EXPECT_EQ(countLines(received, "2"), 2);
       }},
      {"step note and accent", nullptr, Bytes{12, 0, 2, 30, 0, 0, 0} + Bytes{12, 2, 4, 1, 0, 0, 0},
       [](BridgeRig& rig, const Lines& received) {
         EXPECT_EQ(note(rig, 0, 2), 30);
         EXPECT_TRUE(readStep(rig.block(), 0, 4).accent);
         EXPECT_EQ(countLines(received, "2"), 2);
       }},
      {"randomise slot 5; slot 64 changes nothing but refreshes", nullptr,
       Bytes{13, 3, 5, 0} + Bytes{13, 0, 64, 0},
       [](BridgeRig& rig, const Lines& received) {
         EXPECT_TRUE(randomised(rig, 5));
         EXPECT_EQ(note(rig, 0, 0), kFactoryNotes[0]);
         EXPECT_GE(countLines(received, "2"), 2);
       }},
      {"a 200-byte name is stored as 127 bytes and a zero", nullptr, renameMessage(200),
       [](BridgeRig& rig, const Lines& received) {
         const Bytes expected = renameMessage(127);
         EXPECT_EQ(readPatternName(rig.block(), 0), std::string(expected.begin() + 2, expected.end()));
         EXPECT_EQ(countLines(received, "2"), 0);
       }},
      {"internal play (17) and stop (18)", internal, Bytes{17},
       [](BridgeRig& rig, const Lines&) {
         EXPECT_TRUE(readStatus(rig.block()).internalRunning);
         rig.settle(Bytes{18});
         EXPECT_FALSE(readStatus(rig.block()).internalRunning);
         EXPECT_EQ(readStatus(rig.block()).syncType, 1u);
       }},
      {"export the current pattern (32 kind 0), import it into slot 5 (33 kind 0)", nullptr,
       fileMessage(32, 0, 0, exportPath()) + fileMessage(33, 0, 5, exportPath()),
       [](BridgeRig& rig, const Lines& received) {
         for (int s = 0; s < 16; ++s) EXPECT_EQ(note(rig, 5, s), kFactoryNotes[s]);
         EXPECT_EQ(readPatternName(rig.block(), 5), "pattern 1");
         EXPECT_GE(countLines(received, "2"), 1);
       }},
      {"export kind 1 consumes its path", nullptr,
       Bytes{32, 1, 2, 0, 0, 0, '/', 'x'} + parameterMessage(5, 0.25f),
       [](BridgeRig& rig, const Lines&) { EXPECT_EQ(rig.host().getParameter(5), 0.25f); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    BridgeRig rig;
    ASSERT_TRUE(rig.start());
    if (row.setup) row.setup(rig);
    row.check(rig, rig.settle(row.bytes));
  }
}

TEST(BridgeProtocol, UnhandledOpcodeDropsTheRestOfTheRead) {
  BridgeRig rig;
  ASSERT_TRUE(rig.start());
  testing::internal::CaptureStdout();
  rig.send(parameterMessage(3, 0.5f) + Bytes{0x80} + parameterMessage(4, 0.25f));
  // The marker must come in a later poll: the rest of this one is dropped.
  EXPECT_TRUE(rig.waitForLine("1 3 0.5"));
  rig.settle({});
  const std::string printed = testing::internal::GetCapturedStdout();
  // The opcode is shown as a signed byte widened to int.
  EXPECT_NE(printed.find("VornixVST > processMessageFromUI : unhandled opcode ffffff80\n"), std::string::npos)
      << printed;
  EXPECT_NE(rig.host().getParameter(4), 0.25f);
}

TEST(BridgeProtocol, SplitMessageIsCompletedByTheNextPoll) {
  BridgeRig rig;
  ASSERT_TRUE(rig.start());
  const Bytes whole = renameMessage(40) + parameterMessage(3, 0.5f);
  rig.send(Bytes(whole.begin(), whole.begin() + 30));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));  // several polls
  EXPECT_EQ(readPatternName(rig.block(), 0), "pattern 1");
  rig.settle(Bytes(whole.begin() + 30, whole.end()));
  EXPECT_EQ(readPatternName(rig.block(), 0), std::string(whole.begin() + 2, whole.begin() + 42));
  EXPECT_EQ(rig.host().getParameter(3), 0.5f);
}

TEST(BridgeProtocol, MessagesToTheEditorWhileOpenAndClosed) {
  BridgeRig rig;
  ASSERT_TRUE(rig.start(1000));
  FakeHost& host = rig.host();
  host.setParameter(5, 0.75f);
  host.play(120.0);
  for (int i = 0; i < 12; ++i) host.render(512);  // 6144 frames: steps 0 and 1
  for (const char* line : {"1 5 0.75", "4 250 0 0", "3 1"}) EXPECT_TRUE(rig.waitForLine(line)) << line;
  EXPECT_TRUE(readStatus(rig.block()).hostPlaying);
  EXPECT_EQ(readStatus(rig.block()).tempo, 120);

  rig.close();
  host.setParameter(6, 0.25f);  // no echo while closed
  host.setParameter(23, 1.0f);  // but the algorithm, and MIDI, are told
  host.sendMidi({noteOn(60, 100), noteOff(60)});
  host.render(512);
  for (const char* line : {"16 3", "4 144 60 100", "4 128 60 0"}) EXPECT_TRUE(rig.waitForLine(line)) << line;
  ASSERT_TRUE(rig.open(2000));
  EXPECT_TRUE(rig.waitForLine("6 2000"));
  EXPECT_EQ(countLines(rig.log(), "1 6 0.25"), 0);
}

}  // namespace
}  // namespace vornix::test
