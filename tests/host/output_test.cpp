// Audio and MIDI out of the block driver, as a host receives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

bool allFinite(const std::vector<float>& samples) {
  return std::all_of(samples.begin(), samples.end(), [](float s) { return std::isfinite(s); });
}

float peak(const std::vector<float>& samples) {
  float p = 0.0f;
  for (float s : samples) p = std::max(p, std::fabs(s));
  return p;
}

TEST(Output, SilentUntilTheFirstResume) {
  FakeHost host;
  host.playTransport(120.0);
  for (int block = 0; block < 40; ++block) {  // about half a second, eight steps
    host.process(512);
    for (int i = 0; i < 512; ++i) {
      ASSERT_EQ(host.left()[i], 0.0f) << "block " << block << " sample " << i;
      ASSERT_EQ(host.right()[i], 0.0f) << "block " << block << " sample " << i;
    }
  }
}

TEST(Output, PlaysTheFactoryLineInHostSync) {
  FakeHost host;
  host.resume();
  host.playTransport(120.0);
  const int firstBlock = host.blocksProcessed();
  float loudest = 0.0f;
  std::vector<float> settledLeft, settledRight;
  for (int block = 0; block < 172; ++block) {  // two seconds
    host.process(512);
    ASSERT_TRUE(allFinite(host.left())) << "block " << block;
    ASSERT_TRUE(allFinite(host.right())) << "block " << block;
    loudest = std::max(loudest, peak(host.left()));
    if (block >= 86) {
      settledLeft.insert(settledLeft.end(), host.left().begin(), host.left().end());
      settledRight.insert(settledRight.end(), host.right().begin(), host.right().end());
    }
  }
  EXPECT_GT(loudest, 1e-3f);
  // Delay and ping-pong are off by default: once the volume smoother has
  // settled, both channels carry the same signal.
  for (size_t i = 0; i < settledLeft.size(); ++i) {
    ASSERT_NEAR(settledLeft[i], settledRight[i], 1e-5f) << "sample " << i;
  }

  // The sequencer's notes go to the host: step k of the factory line starts
  // at k * 5512.5 samples (120 BPM, 44100 Hz) with note + 35, velocity 127
  // when accented, else 64.
  std::vector<SentMidi> noteOns;
  for (const SentMidi& m : host.sentMidi()) {
    if ((m.status & 0xF0) == 0x90 && m.data2 != 0) noteOns.push_back(m);
  }
  const int expectedNotes[4] = {13 + 35, 15 + 35, 15 + 35, 14 + 35};
  const int expectedVelocities[4] = {64, 127, 64, 127};
  ASSERT_GE(noteOns.size(), 4u);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(noteOns[k].data1, expectedNotes[k]) << "step " << k;
    EXPECT_EQ(noteOns[k].data2, expectedVelocities[k]) << "step " << k;
    const double at = (noteOns[k].block - firstBlock) * 512.0 + noteOns[k].deltaFrames;
    EXPECT_NEAR(at, k * 5512.5, 2.0) << "step " << k;
    EXPECT_GE(noteOns[k].deltaFrames, 0);
    EXPECT_LT(noteOns[k].deltaFrames, 512);
  }
  // Two seconds at 120 BPM hold 16 steps, all notes.
  EXPECT_EQ(noteOns.size(), 16u);
}

TEST(Output, OddBlockLengthsAndHostQuirks) {
  FakeHost host;  // announces 512 frames
  host.resume();
  host.playTransport(120.0);
  for (int block = 0; block < 2000; ++block) {
    host.process(1);
    ASSERT_TRUE(allFinite(host.left())) << "1-frame block " << block;
    ASSERT_TRUE(allFinite(host.right())) << "1-frame block " << block;
  }
  for (int block = 0; block < 8; ++block) {
    host.process(8192);  // larger than announced
    ASSERT_TRUE(allFinite(host.left())) << "8192-frame block " << block;
    ASSERT_TRUE(allFinite(host.right())) << "8192-frame block " << block;
  }
  host.process(0);
  // Switching the distortion on and changing its algorithm inside long
  // blocks exercises the crossfades.
  host.setParameter(22, 1.0f);
  host.process(8192);
  host.setParameter(23, 0.6f);
  host.process(8192);
  host.setParameter(22, 0.0f);
  host.process(8192);
  EXPECT_TRUE(allFinite(host.left()));
  EXPECT_TRUE(allFinite(host.right()));

  // A host without time information.
  host.noTimeInfo();
  for (int block = 0; block < 20; ++block) {
    host.process(512);
    ASSERT_TRUE(allFinite(host.left())) << "no time info, block " << block;
  }
  // A host that passes no input array to an instrument without inputs.
  host.playTransport(120.0);
  for (int block = 0; block < 20; ++block) {
    host.process(512, true);
    ASSERT_TRUE(allFinite(host.left())) << "null inputs, block " << block;
  }
}

TEST(Output, LowSampleRateRendersThroughTheSideBuffer) {
  FakeHost::Options options;
  options.sampleRate = 16000.0f;
  FakeHost host(options);
  host.resume();
  host.playTransport(120.0);
  float loudest = 0.0f;
  for (int block = 0; block < 63; ++block) {  // two seconds
    host.process(512);
    ASSERT_TRUE(allFinite(host.left())) << "block " << block;
    loudest = std::max(loudest, peak(host.left()));
    if (block > 31) {
      for (int i = 0; i < 512; ++i) ASSERT_NEAR(host.left()[i], host.right()[i], 1e-5f);
    }
  }
  EXPECT_GT(loudest, 1e-3f);
  // A block longer than announced at the low rate as well.
  host.process(4096);
  EXPECT_TRUE(allFinite(host.left()));
}

}  // namespace
}  // namespace vornix::test
