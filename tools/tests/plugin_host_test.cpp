// The host side of vornix-render against the stub instrument, which records
// what it was given: loading, the time info, input events and output of
// every block under a transport script, and the MIDI feed. Expected numbers
// come from expected_values.py.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "MidiFeed.h"
#include "PluginHost.h"
#include "SmfReader.h"
#include "TransportScript.h"
#include "tests/StubProtocol.h"

namespace {

using vxtools::LoadError;
using vxtools::PluginHost;

// Loads the working stub; its record of the host's calls.
const StubLog* loadStub(PluginHost& host) {
  std::string message;
  EXPECT_EQ(host.load(STUB_INSTRUMENT, message), LoadError::None) << message;
  auto proc = reinterpret_cast<StubLogProc>(host.symbol("stubLog"));
  return proc ? proc() : nullptr;
}

TEST(PluginHost, LoadFailuresAreTold) {
  // clang-format off
  const std::tuple<const char*, LoadError, const char*> failures[] = {
      {"/nonexistent/vornix.so", LoadError::CannotOpen, "/nonexistent/vornix.so"},
      {STUB_NO_ENTRY, LoadError::NoEntry, "VSTPluginMain"}, {STUB_NULL_EFFECT, LoadError::NullEffect, ""},
      {STUB_BAD_MAGIC, LoadError::BadMagic, "magic"}};
  // clang-format on
  for (const auto& [path, error, text] : failures) {
    PluginHost host;
    std::string message;
    EXPECT_EQ(host.load(path, message), error) << path;
    EXPECT_TRUE(message.find(text) != std::string::npos && !message.empty() && !host.effect()) << message;
  }
}

TEST(TransportScript, ParsesCuesAndRefusesNonsense) {
  std::vector<vxtools::TransportCue> cues;
  std::string error;
  ASSERT_TRUE(vxtools::parseTransportScript(" 8:stop,10.25 : play @ 16.5 ", cues, error)) << error;
  EXPECT_TRUE(cues.size() == 2 && !cues[0].play && !cues[0].locate && cues[1].beat == 10.25 &&
              cues[1].ppq == 16.5);
  // clang-format off
  const std::pair<const char*, const char*> bad[] = {
      {"", "empty"}, {"play", "cue 1 \"play\": expected TIME:ACTION"}, {"1:pause", "play or stop"},
      {"-1:play", "non-negative number of beats"}, {"1e3:play", "non-negative"}, {"inf:play", "non-negative"},
      {"1,5:play", "cue 1 \"1\""},  // a decimal comma splits the script
      {"1:play@-4", "after '@'"}, {"0:play,", "cue 2 \"\""},
      {"1:play,1:stop", "cue 2 \"1:stop\": times must rise"}};
  // clang-format on
  for (const auto& [script, why] : bad) {
    EXPECT_FALSE(vxtools::parseTransportScript(script, cues, error)) << script;
    EXPECT_NE(error.find(why), std::string::npos) << script << ": " << error;
  }
  EXPECT_EQ(vxtools::beatsToFrames(0.3, 48000, 140), 6171);  // 6171.43
}

// Renders `frames` frames through prepareBlock as vornix-render does, with
// notes at the given frames (one tick per frame at 44100 Hz and 120 BPM).
int renderWith(PluginHost& host, const char* script, const std::vector<uint64_t>& noteFrames, int64_t frames,
               vxtools::MidiFeed& feed) {
  std::vector<vxtools::TransportCue> cues;
  std::string error;
  EXPECT_TRUE(vxtools::parseTransportScript(script, cues, error) || !*script) << error;
  vxtools::TransportSchedule schedule(cues, 44100.0, 120.0);
  vxtools::SmfData smf;
  smf.ticksPerBeat = 22050;
  smf.tempos.push_back({0, 500000, 0.0});
  for (size_t i = 0; i < noteFrames.size(); ++i)
    smf.events.push_back({noteFrames[i], 0x90, uint8_t(60 + i), 100, 0});
  feed = vxtools::MidiFeed(smf, 44100.0);
  int blocks = 0;
  for (int64_t done = 0; done < frames; ++blocks) {
    const int n = vxtools::prepareBlock(host, schedule, feed, done, frames - done, 4096);
    host.processBlock(n);
    done += n;
  }
  return blocks;
}

TEST(TransportScript, StopRestartAndJumpReachTheInstrumentOnTheirBlocks) {
  PluginHost host;
  const StubLog* log = loadStub(host);
  ASSERT_NE(log, nullptr);
  host.start(44100.0, 4096);
  host.setTransport(vxtools::Transport{false});
  vxtools::MidiFeed feed;
  ASSERT_EQ(renderWith(host, "0:play, 1:stop, 1.5:play@16, 2:play@4", {100, 22150, 33075}, 55125, feed), 15);
  // Blocks are cut at the cues; a stopped transport reports the change once
  // and holds its position. Flags 0x2E03: changed and playing, 0x2E02:
  // playing, 0x2E01: changed and stopped, 0x2E00: stopped.
  // clang-format off
  const struct {
    int block, start, frames, flags;
    double ppq;
  } expected[] = {{0, 0, 4096, 0x2E03, 0.0}, {5, 20480, 1570, 0x2E02, 20480 / 22050.0},  // cut at the stop
                  {6, 22050, 4096, 0x2E01, 1.0}, {7, 26146, 4096, 0x2E00, 1.0},
                  {9, 33075, 4096, 0x2E03, 16.0}, {10, 37171, 4096, 0x2E02, 16.0 + 4096 / 22050.0},  // @16
                  {12, 44100, 4096, 0x2E03, 4.0}, {14, 52292, 2833, 0x2E02, 4.0 + 8192 / 22050.0}};  // a jump
  // clang-format on
  for (const auto& e : expected) {
    const VstTimeInfo& t = log->blocks[e.block].time;
    EXPECT_TRUE(log->blocks[e.block].frames == e.frames && t.flags == e.flags) << "block at " << e.start;
    EXPECT_NEAR(t.ppqPos, e.ppq, 1e-9) << "block at " << e.start;
    EXPECT_NEAR(t.samplePos, e.ppq * 22050, 1e-6) << "block at " << e.start;
    EXPECT_TRUE(t.sampleRate == 44100.0 && t.tempo == 120.0 && t.timeSigNumerator == 4 &&
                t.timeSigDenominator == 4 && log->blocks[e.block].processLevel == 4)  // offline
        << "block at " << e.start;
    // The stub's note-on in the middle of each block lands at its frame.
    EXPECT_EQ(host.capturedMidi().at(e.block).frame, e.start + e.frames / 2);
  }
  EXPECT_TRUE(host.output(0)[0] == kStubLeft && host.output(1)[2832] == kStubRight);
  // The notes: frame 100 in block 0, 22150 at 100 into the block of 22050,
  // 33075 at the very start of its block; none in the blocks between.
  const std::pair<int, int> notes[] = {{0, 100}, {6, 100}, {9, 0}};
  for (const auto& [block, delta] : notes) {
    const StubBlock& b = log->blocks[block];
    EXPECT_TRUE(b.eventsBefore == 1 && b.firstEventDelta == delta && b.firstEvent[0] == 0x90) << block;
  }
  EXPECT_TRUE(log->blocks[1].eventsBefore == 0 && log->blocks[9].firstEvent[1] == 62 && feed.fed() == 3);
}

TEST(MidiFeed, CrowdedBlocksAreCutNotOverrun) {
  PluginHost host;
  const StubLog* log = loadStub(host);
  ASSERT_NE(log, nullptr);
  host.start(44100.0, 4096);
  // 10 events at frame 1000, 600 at frame 1500 (more than a block carries),
  // and one beyond the render that is never fed. The first block ends before
  // frame 1500; the next starts there with as many as fit, the rest of that
  // frame is dropped, and it runs its full length.
  std::vector<uint64_t> frames(10, 1000);
  frames.insert(frames.end(), 600, 1500);
  frames.push_back(9000);
  vxtools::MidiFeed feed;
  ASSERT_EQ(renderWith(host, "", frames, 8000, feed), 3);
  const int kMax = PluginHost::kMaxInputEvents;
  const int expected[3][3] = {{1500, 10, 1000}, {4096, kMax, 0}, {8000 - 5596, 0, 0}};
  for (int k = 0; k < 3; ++k) {
    const StubBlock& b = log->blocks[k];
    EXPECT_TRUE(b.frames == expected[k][0] && b.eventsBefore == expected[k][1]) << k;
    EXPECT_TRUE(b.eventsBefore == 0 || b.firstEventDelta == expected[k][2]) << k;
  }
  EXPECT_TRUE(feed.fed() == 10 + kMax && feed.dropped() == 600 - kMax && feed.pending() == 1);
  // Events queued beyond the block are pulled into it; the queue is bounded.
  int accepted = 0;
  for (int i = 0; i < kMax + 10; ++i) accepted += host.addInputEvent(5000, 0x80, 60, 0);
  EXPECT_EQ(accepted, kMax);
  host.processBlock(64);
  EXPECT_TRUE(log->blocks[3].eventsBefore == kMax && log->blocks[3].firstEventDelta == 63);
}

}  // namespace
