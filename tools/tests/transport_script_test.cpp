// The transport script and the MIDI feed: parsing, and what a render built on
// them hands the stub instrument block by block. Frames, block layout and
// positions come from expected_values.py.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MidiFeed.h"
#include "PluginHost.h"
#include "SmfReader.h"
#include "TransportScript.h"
#include "tests/StubProtocol.h"

namespace {

TEST(TransportScript, ParsesCuesAndRefusesNonsense) {
  std::vector<vxtools::TransportCue> cues;
  std::string error;
  ASSERT_TRUE(vxtools::parseTransportScript("0:play@0, 8:stop,10.25 : play @ 16.5 ", cues, error)) << error;
  ASSERT_EQ(cues.size(), 3u);
  EXPECT_EQ(cues[0].beat, 0.0);
  EXPECT_TRUE(cues[0].play);
  EXPECT_TRUE(cues[0].locate);
  EXPECT_EQ(cues[0].ppq, 0.0);
  EXPECT_EQ(cues[1].beat, 8.0);
  EXPECT_FALSE(cues[1].play);
  EXPECT_FALSE(cues[1].locate);
  EXPECT_EQ(cues[2].beat, 10.25);
  EXPECT_TRUE(cues[2].play);
  EXPECT_EQ(cues[2].ppq, 16.5);
  ASSERT_TRUE(vxtools::parseTransportScript("2.5:stop@0", cues, error)) << error;
  ASSERT_EQ(cues.size(), 1u);
  EXPECT_FALSE(cues[0].play);
  EXPECT_TRUE(cues[0].locate);

  const struct {
    const char* script;
    const char* why;
  } bad[] = {
      {"", "empty"},
      {"  ", "empty"},
      {"play", "cue 1 \"play\": expected TIME:ACTION"},
      {"1:pause", "play or stop"},
      {"-1:play", "non-negative number of beats"},
      {"1,5:play", "cue 1 \"1\""},  // a decimal comma splits the script
      {"x:play", "non-negative"},
      {"1e3:play", "non-negative"},
      {"inf:play", "non-negative"},
      {"1:play@", "after '@'"},
      {"1:play@-4", "after '@'"},
      {"0:play,", "cue 2 \"\""},
      {"1:play,1:stop", "cue 2 \"1:stop\": times must rise"},
      {"2:play, 1:stop", "times must rise"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.script);
    EXPECT_FALSE(vxtools::parseTransportScript(b.script, cues, error));
    EXPECT_NE(error.find(b.why), std::string::npos) << error;
  }

  EXPECT_EQ(vxtools::beatsToFrames(1.0, 44100, 120), 22050);
  EXPECT_EQ(vxtools::beatsToFrames(2.5, 44100, 120), 55125);
  EXPECT_EQ(vxtools::beatsToFrames(0.3, 48000, 140), 6171);  // 6171.43
  EXPECT_EQ(vxtools::beatsToFrames(0.0, 48000, 140), 0);
}

const StubLog* logOf(const vxtools::PluginHost& host) {
  auto proc = reinterpret_cast<StubLogProc>(host.symbol("stubLog"));
  return proc ? proc() : nullptr;
}

// Renders `frames` frames through prepareBlock as vornix-render does.
int renderWith(vxtools::PluginHost& host, vxtools::TransportSchedule& schedule, vxtools::MidiFeed& feed,
               int64_t frames, int blockSize) {
  int blocks = 0;
  for (int64_t done = 0; done < frames; ++blocks) {
    const int n = vxtools::prepareBlock(host, schedule, feed, done, frames - done, blockSize);
    host.processBlock(n);
    done += n;
  }
  return blocks;
}

// One tick per frame at 44100 Hz: 22050 ticks per beat at 120 BPM.
vxtools::SmfData frameClockedFile(const std::vector<uint64_t>& noteTicks) {
  vxtools::SmfData smf;
  smf.ticksPerBeat = 22050;
  smf.tempos.push_back({0, 500000, 0.0});
  uint8_t note = 60;
  for (uint64_t tick : noteTicks) smf.events.push_back({tick, 0x90, note++, 100, 0});
  return smf;
}

TEST(TransportScript, StopRestartAndJumpReachTheInstrumentOnTheirBlocks) {
  vxtools::PluginHost host;
  std::string message;
  ASSERT_EQ(host.load(STUB_INSTRUMENT, message), vxtools::LoadError::None) << message;
  const StubLog* log = logOf(host);
  ASSERT_NE(log, nullptr);
  host.start(44100.0, 4096);
  vxtools::Transport stopped;
  stopped.playing = false;
  host.setTransport(stopped);

  std::vector<vxtools::TransportCue> cues;
  std::string error;
  ASSERT_TRUE(vxtools::parseTransportScript("0:play, 1:stop, 1.5:play@16, 2:play@4", cues, error));
  vxtools::TransportSchedule schedule(cues, 44100.0, 120.0);
  vxtools::MidiFeed feed(frameClockedFile({100, 22150, 33075}), 44100.0);
  ASSERT_EQ(renderWith(host, schedule, feed, 55125, 4096), 15);

  const struct {
    int start, frames, flags;
    double ppq;
  } expected[] = {
      {0, 4096, 0x2E03, 0.0},
      {20480, 1570, 0x2E02, 20480 / 22050.0},  // cut at the stop
      {22050, 4096, 0x2E01, 1.0},              // stopped: changed, not playing
      {26146, 4096, 0x2E00, 1.0},              // the position holds
      {30242, 2833, 0x2E00, 1.0},
      {33075, 4096, 0x2E03, 16.0},  // play from beat 16
      {37171, 4096, 0x2E02, 16.0 + 4096 / 22050.0},
      {44100, 4096, 0x2E03, 4.0},  // a jump while playing
      {52292, 2833, 0x2E02, 4.0 + 8192 / 22050.0},
  };
  const int index[] = {0, 5, 6, 7, 8, 9, 10, 12, 14};
  for (int k = 0; k < 9; ++k) {
    SCOPED_TRACE(expected[k].start);
    const StubBlock& b = log->blocks[index[k]];
    EXPECT_EQ(b.frames, expected[k].frames);
    EXPECT_EQ(b.time.flags, expected[k].flags);
    EXPECT_NEAR(b.time.ppqPos, expected[k].ppq, 1e-9);
  }
  EXPECT_EQ(log->blocks[9].time.samplePos, 352800.0);  // 16 beats of 22050 frames
  EXPECT_EQ(log->blocks[12].time.samplePos, 88200.0);

  // The notes: frame 100 in block 0, 22150 at 100 into the block of 22050,
  // 33075 at the very start of its block.
  EXPECT_EQ(log->blocks[0].eventsBefore, 1);
  EXPECT_EQ(log->blocks[0].firstEventDelta, 100);
  EXPECT_EQ(log->blocks[6].eventsBefore, 1);
  EXPECT_EQ(log->blocks[6].firstEventDelta, 100);
  EXPECT_EQ(log->blocks[6].firstEvent[1], 61);
  EXPECT_EQ(log->blocks[9].eventsBefore, 1);
  EXPECT_EQ(log->blocks[9].firstEventDelta, 0);
  EXPECT_EQ(log->blocks[9].firstEvent[1], 62);
  EXPECT_EQ(log->blocks[1].eventsBefore, 0);
  EXPECT_EQ(feed.fed(), 3);
}

TEST(MidiFeed, CrowdedBlocksAreCutNotOverrun) {
  vxtools::PluginHost host;
  std::string message;
  ASSERT_EQ(host.load(STUB_INSTRUMENT, message), vxtools::LoadError::None) << message;
  const StubLog* log = logOf(host);
  ASSERT_NE(log, nullptr);
  host.start(44100.0, 4096);
  // 10 events at frame 1000, 600 at frame 1500: more than the 512 a block carries.
  std::vector<uint64_t> ticks(10, 1000);
  ticks.insert(ticks.end(), 600, 1500);
  ticks.push_back(9000);  // beyond the render: never fed
  vxtools::MidiFeed feed(frameClockedFile(ticks), 44100.0);
  vxtools::TransportSchedule none({}, 44100.0, 120.0);
  ASSERT_EQ(renderWith(host, none, feed, 8000, 4096), 3);
  // The first block ends before frame 1500; the next starts there with as
  // many as fit, the rest of that frame is dropped, and it runs its full length.
  EXPECT_EQ(log->blocks[0].frames, 1500);
  EXPECT_EQ(log->blocks[0].eventsBefore, 10);
  EXPECT_EQ(log->blocks[0].firstEventDelta, 1000);
  EXPECT_EQ(log->blocks[1].frames, 4096);
  EXPECT_EQ(log->blocks[1].eventsBefore, vxtools::PluginHost::kMaxInputEvents);
  EXPECT_EQ(log->blocks[1].firstEventDelta, 0);
  EXPECT_EQ(log->blocks[2].frames, 8000 - 5596);
  EXPECT_EQ(log->blocks[2].eventsBefore, 0);
  EXPECT_EQ(feed.fed(), 10 + vxtools::PluginHost::kMaxInputEvents);
  EXPECT_EQ(feed.dropped(), 600 - vxtools::PluginHost::kMaxInputEvents);
  EXPECT_EQ(feed.pending(), 1);
}

}  // namespace
