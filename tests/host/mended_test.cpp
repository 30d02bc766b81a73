// Host input that a careless host sends and that we deliberately treat
// more strictly than a plain reading of the parameter formulas would:
// parameter values outside 0..1 (NaN and infinities included) are clamped
// before use, and nonsensical sample rates and block sizes are ignored.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool allFinite(const std::vector<float>& samples) {
  for (float s : samples) {
    if (!std::isfinite(s)) return false;
  }
  return true;
}

TEST(MendedParameters, OutOfRangeValuesActLikeTheNearestEnd) {
  // Two instances get the same sequence of settings, one with the
  // out-of-range value, the other with the end of the range it must be
  // clamped to; everything the host can see must agree.
  FakeHost bad;
  FakeHost clean;
  const std::pair<float, float> cases[] = {{kInf, 1.0f}, {1.5f, 1.0f}, {-kInf, 0.0f},
                                           {-0.5f, 0.0f}};
  for (int index = 0; index < 29; ++index) {
    for (const auto& [value, clamped] : cases) {
      bad.setParameter(index, value);
      clean.setParameter(index, clamped);
      EXPECT_EQ(bad.getParameter(index), clean.getParameter(index))
          << "index " << index << " value " << value;
      EXPECT_EQ(bad.parameterDisplay(index), clean.parameterDisplay(index))
          << "index " << index << " value " << value;
      EXPECT_EQ(bad.getChunk(), clean.getChunk()) << "index " << index << " value " << value;
    }
  }
}

TEST(MendedParameters, ClampedValuesReadBack) {
  FakeHost host;
  host.setParameter(10, 7.0f);  // NB STEP: never more than 64 steps
  EXPECT_EQ(host.getParameter(10), 1.0f);
  EXPECT_EQ(host.parameterDisplay(10), "64");
  EXPECT_EQ(host.getChunk().size(), 11512u + 144u);
  host.setParameter(10, -3.0f);  // never fewer than 1
  EXPECT_EQ(host.getParameter(10), 0.0f);
  EXPECT_EQ(host.parameterDisplay(10), "1");

  host.setParameter(0, 1.5f);
  EXPECT_EQ(host.getParameter(0), 1.0f);
  EXPECT_EQ(host.parameterDisplay(0), "0.000000");
  host.setParameter(0, -0.5f);
  EXPECT_EQ(host.getParameter(0), 0.0f);
  EXPECT_EQ(host.parameterDisplay(0), "-oo");
  host.setParameter(2, kInf);
  EXPECT_EQ(host.parameterDisplay(2), "1.000000");
  host.setParameter(3, -kInf);
  EXPECT_EQ(host.parameterDisplay(3), "");
  host.setParameter(12, 1.5f);  // 65512 samples at most
  host.setParameter(27, 2.0f);  // 300 BPM at most
  EXPECT_EQ(host.getParameter(27), 1.0f);
  host.setParameter(27, -1.0f);  // 40 BPM at least
  EXPECT_EQ(host.getParameter(27), 0.0f);
  host.setParameter(14, 1.5f);  // like 1.0: triggers nothing
  EXPECT_EQ(host.getParameter(14), 0.0f);
}

TEST(MendedParameters, NaNLeavesEveryValueInRange) {
  FakeHost host;
  host.resume();
  host.playTransport(120.0);
  for (int index = 0; index < 29; ++index) {
    host.setParameter(index, kNaN);
    const float readBack = host.getParameter(index);
    EXPECT_TRUE(readBack >= 0.0f && readBack <= 1.0f) << "index " << index << ": " << readBack;
    const std::string text = host.parameterDisplay(index);
    EXPECT_EQ(text.find("nan"), std::string::npos) << "index " << index;
    EXPECT_EQ(text.find("NaN"), std::string::npos) << "index " << index;
  }
  const int length = std::stoi(host.parameterDisplay(10));
  EXPECT_GE(length, 1);
  EXPECT_LE(length, 64);
  const auto chunk = host.getChunk();
  EXPECT_EQ(chunk.size(), 11512u - 48u + 3u * static_cast<size_t>(length));
  for (int i = 0; i < 29; ++i) EXPECT_FALSE(std::isnan(chunkFloat(chunk, 3 + 4 * i))) << i;

  // The sound survives: the whole voice runs on the clamped values.
  for (int block = 0; block < 100; ++block) {
    host.process(512);
    ASSERT_TRUE(allFinite(host.left())) << "block " << block;
    ASSERT_TRUE(allFinite(host.right())) << "block " << block;
  }
}

TEST(MendedHost, MeaninglessSampleRatesAreIgnored) {
  FakeHost host;
  host.setSampleRate(48000.0f);
  ASSERT_EQ(host.parameterDisplay(12), "114.8333");  // 5512 samples at 48000 Hz
  for (float rate : {0.0f, -0.0f, -44100.0f, -1.0f, kNaN}) {
    host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    EXPECT_EQ(host.parameterDisplay(12), "114.8333") << "rate " << rate;
    EXPECT_EQ(host.parameterDisplay(18), "250") << "rate " << rate;
  }
  host.resume();
  host.playTransport(120.0);
  for (int block = 0; block < 50; ++block) {
    host.process(512);
    ASSERT_TRUE(allFinite(host.left())) << "block " << block;
    ASSERT_TRUE(allFinite(host.right())) << "block " << block;
  }
}

TEST(MendedHost, BlockSizesBelowOneAreIgnored) {
  FakeHost host;
  for (int size : {0, -1, -512, std::numeric_limits<int>::min()}) host.setBlockSize(size);
  host.resume();
  host.playTransport(120.0);
  for (int block = 0; block < 50; ++block) {
    host.process(512);
    ASSERT_TRUE(allFinite(host.left())) << "block " << block;
  }
  host.suspend();
  host.setBlockSize(0);
  host.resume();
  host.process(512);
  EXPECT_TRUE(allFinite(host.left()));
}

TEST(MendedHost, HugeTextAtAnAbsurdlyLowRate) {
  // 65512 samples at half a sample per second is over 99999999 ms.
  FakeHost host;
  host.setBlockSize(1);
  host.setSampleRate(0.5f);
  host.setParameter(12, 1.0f);
  EXPECT_EQ(host.parameterDisplay(12), "Huge!");
}

}  // namespace
}  // namespace vornix::test
