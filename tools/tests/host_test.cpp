// The host side, against the stub instrument that records what it was given.
// Expected numbers come from expected_values.py.
#include <gtest/gtest.h>

#include <cmath>

#include "PluginHost.h"
#include "tests/StubProtocol.h"

namespace {

const StubLog* logOf(const vxtools::PluginHost& host) {
  auto proc = reinterpret_cast<StubLogProc>(host.symbol("stubLog"));
  return proc ? proc() : nullptr;
}

TEST(PluginHost, LoadFailuresAreTold) {
  vxtools::PluginHost host;
  std::string message;
  EXPECT_EQ(host.load("/nonexistent/vornix.so", message), vxtools::LoadError::CannotOpen);
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(host.load(STUB_NO_ENTRY, message), vxtools::LoadError::NoEntry);
  EXPECT_NE(message.find("VSTPluginMain"), std::string::npos);
  EXPECT_EQ(host.load(STUB_NULL_EFFECT, message), vxtools::LoadError::NullEffect);
  EXPECT_EQ(host.load(STUB_BAD_MAGIC, message), vxtools::LoadError::BadMagic);
  EXPECT_NE(message.find("magic"), std::string::npos);
  EXPECT_EQ(host.effect(), nullptr);
  EXPECT_EQ(host.load(STUB_INSTRUMENT, message), vxtools::LoadError::None) << message;
  EXPECT_NE(host.effect(), nullptr);
}

TEST(PluginHost, StartupOrderAndHostAnswers) {
  vxtools::PluginHost host;
  std::string message;
  ASSERT_EQ(host.load(STUB_INSTRUMENT, message), vxtools::LoadError::None) << message;
  const StubLog* log = logOf(host);
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->versionAnswer, 2400);
  EXPECT_EQ(log->canDoSendMidi, 1);

  host.start(48000.0, 256);
  ASSERT_GE(log->opcodeCount, 5);
  EXPECT_EQ(log->opcodes[0].opcode, effOpen);
  EXPECT_EQ(log->opcodes[1].opcode, effSetSampleRate);
  EXPECT_EQ(log->opcodes[1].opt, 48000.0f);
  EXPECT_EQ(log->opcodes[2].opcode, effSetBlockSize);
  EXPECT_EQ(log->opcodes[2].value, 256);
  EXPECT_EQ(log->opcodes[3].opcode, effMainsChanged);
  EXPECT_EQ(log->opcodes[3].value, 1);
  EXPECT_EQ(log->opcodes[4].opcode, effStartProcess);

  // Parameters by index, names as the instrument reports them.
  EXPECT_EQ(host.paramNames(), (std::vector<std::string>{"Hostile", "Delay ", "Gamma"}));
  host.setParameter(2, 0.75f);
  EXPECT_EQ(host.getParameter(2), 0.75f);
  EXPECT_EQ(host.dispatch(effGetVstVersion), 0);  // the stub answers 0 to what it ignores
}

TEST(PluginHost, TimeInfoEventsAndOutputPerBlock) {
  vxtools::PluginHost host;
  std::string message;
  ASSERT_EQ(host.load(STUB_INSTRUMENT, message), vxtools::LoadError::None) << message;
  const StubLog* log = logOf(host);
  ASSERT_NE(log, nullptr);
  host.start(48000.0, 256);
  vxtools::Transport t;
  t.tempo = 150.0;
  host.setTransport(t);

  host.addInputEvent(10, 0x90, 64, 100);
  host.processBlock(256);
  EXPECT_EQ(host.output(0)[0], 0.5f);
  EXPECT_EQ(host.output(1)[255], -0.25f);
  host.processBlock(256);
  host.processBlock(256);
  host.processBlock(100);  // a short last block
  ASSERT_EQ(log->blockCount, 4);
  EXPECT_EQ(log->processEventsCalls, 4);

  const int frames[] = {256, 256, 256, 100};
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    const StubBlock& b = log->blocks[k];
    EXPECT_EQ(b.frames, frames[k]);
    ASSERT_TRUE(b.hasTime);
    EXPECT_EQ(b.time.samplePos, 256.0 * k);
    EXPECT_EQ(b.time.sampleRate, 48000.0);
    EXPECT_NEAR(b.time.ppqPos, k / 75.0, 1e-12);  // 256 frames at 150 BPM, 48 kHz = 1/75 beat
    EXPECT_EQ(b.time.tempo, 150.0);
    EXPECT_EQ(b.time.barStartPos, 0.0);
    EXPECT_EQ(b.time.timeSigNumerator, 4);
    EXPECT_EQ(b.time.timeSigDenominator, 4);
    // Changed only on the first block: 0x2E03, then 0x2E02.
    EXPECT_EQ(b.time.flags, k == 0 ? 0x2E03 : 0x2E02);
    EXPECT_EQ(b.processLevel, 4);  // offline
    EXPECT_EQ(b.eventsBefore, k == 0 ? 1 : 0);
  }
  EXPECT_EQ(log->blocks[0].firstEvent[0], 0x90);
  EXPECT_EQ(log->blocks[0].firstEvent[1], 64);
  EXPECT_EQ(log->blocks[0].firstEvent[2], 100);
  EXPECT_EQ(log->blocks[0].firstEventDelta, 10);

  // The stub's note-on at each block's middle lands at block start + frames / 2.
  const auto& midi = host.capturedMidi();
  ASSERT_EQ(midi.size(), 4u);
  const int64_t expectedFrame[] = {128, 384, 640, 818};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(midi[k].frame, expectedFrame[k]);
    EXPECT_EQ(midi[k].data[0], 0x90);
    EXPECT_EQ(midi[k].data[1], 60 + k);
    EXPECT_EQ(midi[k].data[2], 100);
  }
  EXPECT_EQ(host.framesRendered(), 868);
  EXPECT_EQ(host.droppedMidi(), 0);
}

TEST(PluginHost, TransportChangesAndBars) {
  vxtools::PluginHost host;
  std::string message;
  ASSERT_EQ(host.load(STUB_INSTRUMENT, message), vxtools::LoadError::None) << message;
  const StubLog* log = logOf(host);
  ASSERT_NE(log, nullptr);
  // 120 BPM at 44100 Hz with 22050-frame blocks: one beat per block.
  host.start(44100.0, 22050);
  for (int k = 0; k < 6; ++k) host.processBlock(22050);
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(log->blocks[k].time.ppqPos, static_cast<double>(k));
    EXPECT_EQ(log->blocks[k].time.barStartPos, k < 4 ? 0.0 : 4.0);
  }
  // Stop: the next block reports the change and no playing, the position holds.
  vxtools::Transport t;
  t.playing = false;
  host.setTransport(t);
  host.setTransport(t);  // setting the same transport again is no change
  host.processBlock(22050);
  host.processBlock(22050);
  EXPECT_EQ(log->blocks[6].time.flags, 0x2E01);
  EXPECT_EQ(log->blocks[6].time.samplePos, 6 * 22050.0);
  EXPECT_EQ(log->blocks[7].time.flags, 0x2E00);
  EXPECT_EQ(log->blocks[7].time.ppqPos, 6.0);
  // Play again at 60 BPM: half a beat per block from beat 6 on.
  t.playing = true;
  t.tempo = 60.0;
  host.setTransport(t);
  host.processBlock(22050);
  host.processBlock(22050);
  EXPECT_EQ(log->blocks[8].time.flags, 0x2E03);
  EXPECT_EQ(log->blocks[8].time.ppqPos, 6.0);
  EXPECT_EQ(log->blocks[9].time.ppqPos, 6.5);
  EXPECT_EQ(log->blocks[9].time.tempo, 60.0);
  EXPECT_EQ(log->blocks[9].time.barStartPos, 4.0);
  // MIDI keeps the render's own clock, stopped or not: block k at k·22050 + 11025.
  ASSERT_EQ(host.capturedMidi().size(), 10u);
  EXPECT_EQ(host.capturedMidi()[7].frame, 7 * 22050 + 11025);
}

TEST(PluginHost, SurvivesMalformedEventsFromTheInstrument) {
  vxtools::PluginHost host;
  std::string message;
  ASSERT_EQ(host.load(STUB_INSTRUMENT, message), vxtools::LoadError::None) << message;
  host.start(44100.0, 64);
  host.setParameter(0, 1.0f);  // the stub turns hostile
  host.processBlock(64);
  // A null block and a negative count are nothing; a null pointer, a sysex
  // event and a message without a status byte are three dropped events.
  EXPECT_EQ(host.droppedMidi(), 3);
  ASSERT_EQ(host.capturedMidi().size(), 1u);
  EXPECT_EQ(host.capturedMidi()[0].frame, 32);

  // Input events beyond the block are pulled into it; the queue is bounded.
  int accepted = 0;
  for (int i = 0; i < vxtools::PluginHost::kMaxInputEvents + 10; ++i)
    accepted += host.addInputEvent(1000, 0x80, 60, 0) ? 1 : 0;
  EXPECT_EQ(accepted, vxtools::PluginHost::kMaxInputEvents);
  host.processBlock(64);
  const StubLog* log = logOf(host);
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->blocks[1].eventsBefore, vxtools::PluginHost::kMaxInputEvents);
  EXPECT_EQ(log->blocks[1].firstEventDelta, 63);
}

}  // namespace
