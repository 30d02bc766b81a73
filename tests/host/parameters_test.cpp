// The 29 host parameters as a host sees them: names, labels, read-back of
// derived values and the display texts. Expected texts come from
// tests/host/expected_displays.py, which applies the formatting rules
// (truncation, 8 characters, empty text for zero) by hand and keeps away
// from values whose text would hinge on rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(Parameters, NamesLabelsDefaultsAndTheirTexts) {
  const char* const names[26] = {
      "Volume",     "Waveform", "Tuning",   "CutOff",    "Resonance", "EnvMod",     "Decay",
      "Accent",     "Gate",     "Groove",   "NB STEP",   "Patt Sync", "Slide Time", "antialias",
      "trigger pt", "Delay ",   "Dly sync", "Dly ping",  "Dly time",  "Dly vol",    "Dly fdbk",
      "Dly filt",   "Disto",    "Dist Sel", "Dist prm1", "Dist prm2"};
  const char* const labels[10] = {"dB", " ", " ", "%", " ", "%", "%", "%", "ms", "%"};
  // Default texts: gate and slide are 5512 samples at 44100 Hz, the delay
  // half a beat; those of index 4 and 6 depend on the last bit of a
  // single-precision product (see expected_displays.py) and are left out.
  // clang-format off
  const char* const texts[29] = {
      "0.000000", "saw", "0.500000", "9", nullptr, "17", nullptr, "30", "124.9886", "", "16", "AUTO",
      "124.9886", "ON", "1", "OFF", "ON", "OFF", "250", "-10.4575", "30", "", "OFF", "Overdrive", "", "50",
      kUntouched, kUntouched, kUntouched};
  // clang-format on
  FakeHost host;
  const std::vector<float> defaults = ChunkImage::factory().params;
  for (int i = -1; i < 40; ++i) {
    EXPECT_EQ(host.text(effGetParamName, i), i >= 0 && i < 26 ? names[i] : "invalid") << i;
    EXPECT_EQ(host.text(effGetParamLabel, i), i >= 0 && i < 10 ? labels[i] : " ") << i;
    EXPECT_EQ(host.getParameter(i), i >= 0 && i < 29 ? defaults[i] : 0.0f) << i;
    EXPECT_TRUE(i < 0 || (i < 29 && !texts[i]) || host.display(i) == (i < 29 ? texts[i] : kUntouched)) << i;
  }
}

// A display text after one setting, at a sample rate, and
// (tempo above 0) after one block with the host stopped at that tempo.
struct DisplayCase {
  int index;
  float value;
  const char* text;
  float rate = 44100.0f;
  double tempo = 0.0;
};

TEST(Parameters, DisplayTexts) {
  // clang-format off
  const DisplayCase cases[] = {
      // dB, switches at 0.5 exactly, truncated fractions, int2string(trunc(100 v)).
      {0, 0.0f, "-oo"}, {19, 0.0f, "-oo"}, {1, 0.49f, "saw"}, {1, 0.5f, "square"}, {15, 0.5f, "ON"},
      {16, 0.2f, "OFF"}, {17, 0.5f, "ON"}, {22, 0.4999f, "OFF"}, {22, 0.5f, "ON"}, {4, 0.8125f, "0.812500"},
      {2, 2.0f / 3.0f, "0.666666"}, {3, 0.0f, ""}, {3, 1.0f, "100"}, {5, 0.999f, "99"}, {9, 0.5f, "50"},
      {24, 1.0f, "100"}, {21, 0.0f, "-100"}, {21, 0.25f, "-50"}, {21, 1.0f, "100"},
      // Pattern sync mode trunc(4 v): only 1.0 reaches AUTO; algorithm names whole.
      {11, 0.2499f, "free"}, {11, 0.25f, "1 step"}, {11, 0.5f, "4 step"}, {11, 0.999f, "16 step"},
      {23, 0.25f, "ClipInferno"}, {23, 0.5f, "HotFuzz"}, {23, 1.0f, "Ultracrunch"},
      // Gate (5512 - trunc(-(2v-1) * 2204)) samples, slide trunc(v^3 * 60000 + 5512),
      // steps trunc(63 v) + 1, pattern trunc(32 v) + 1; the synced delay one
      // of eight note lengths by trunc(7 v).
      {8, 0.25f, "100.0000"}, {12, 0.25f, "146.2358"}, {10, 0.0f, "1"}, {10, 0.5f, "32"}, {10, 1.0f, "64"},
      {14, 0.05f, "2"}, {14, 0.99f, "32"}, {18, 1.0f, "1000"}, {18, 0.0f, "62"},
      // Sample-based texts follow the rate and, after a block, the host tempo:
      // 48000 Hz and 120 BPM give 6000 samples per step and gate offsets of
      // +-2400; 140 BPM at 44100 Hz gives 4725 per step and a 9450-sample delay.
      {18, 0.5f, "250", 48000.0f}, {12, 0.0f, "114.8333", 48000.0f}, {12, 1.0f, "1364.833", 48000.0f},
      {8, 0.0f, "75.00000", 48000.0f, 120.0}, {8, 1.0f, "175.0000", 48000.0f, 120.0},
      {8, 0.5f, "107.1428", 44100.0f, 140.0}, {18, 0.5f, "214", 44100.0f, 140.0}};
  // clang-format on
  for (const DisplayCase& c : cases) {
    FakeHost host(c.rate);
    if (c.tempo > 0.0) {
      host.resume();
      host.stop(c.tempo);
      host.render(512);
    }
    host.setParameter(c.index, c.value);
    EXPECT_EQ(host.display(c.index), c.text) << "index " << c.index << " value " << c.value << ", " << c.rate;
  }
}

TEST(Parameters, ReadBack) {
  // In order on one instance: switches store 0 or 1, NB STEP reads back
  // (length - 1) / 63, trigger pt index / 32 of the pattern it switched to
  // (the transport is stopped, so at once; 1.0 triggers nothing), the
  // internal tempo is rounded to whole BPM (260 v + 40), antialias cannot be
  // changed, and sync type keeps the value as passed.
  // clang-format off
  const struct {
    int index;
    float value, readBack;
  } cases[] = {{1, 0.7f, 1.0f}, {1, 0.49f, 0.0f}, {22, 0.5f, 1.0f}, {22, 0.3f, 0.0f}, {15, 0.8f, 1.0f},
               {17, 0.2f, 0.0f}, {28, 0.5f, 1.0f}, {28, 0.49f, 0.0f}, {10, 0.0f, 0.0f}, {10, 1.0f, 1.0f},
               {10, 0.5f, 31.0f / 63.0f}, {14, 0.05f, 0.03125f}, {14, 0.5f, 0.5f}, {14, 1.0f, 0.5f},
               {27, 0.5f, 0.5f}, {27, 0.001f, 0.0f}, {27, 0.0058f, 2.0f / 260.0f},  // 41.508 rounds to 42
               {27, 0.3f, 78.0f / 260.0f}, {27, 1.0f, 1.0f}, {26, 0.1f, 0.1f}, {13, 0.0f, 1.0f}};
  // clang-format on
  FakeHost host;
  for (const auto& c : cases) {
    host.setParameter(c.index, c.value);
    EXPECT_EQ(host.getParameter(c.index), c.readBack) << "index " << c.index << " value " << c.value;
  }
  // Pattern 16 is a fresh 16-step pattern, whatever NB STEP did to pattern 0.
  EXPECT_EQ(host.display(10), "16");
  host.setParameter(14, 0.0f);
  EXPECT_EQ(host.display(10), "32");
  for (int index : {0, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 18, 19, 20, 21, 23, 24, 25}) {
    host.setParameter(index, 0.4375f);
    EXPECT_EQ(host.getParameter(index), 0.4375f) << "index " << index;
  }
  const auto before = host.getChunk();
  for (int index : {29, -1, 100000}) host.setParameter(index, 0.5f);
  EXPECT_EQ(host.getChunk(), before);
}

// What a careless host sends: values outside 0..1, infinities and NaN act
// like the nearest end of the range (more than 64 steps or a tempo that
// divides by zero must not be reachable), and sample rates and block sizes
// that mean nothing are ignored.
TEST(Parameters, CarelessHostInput) {
  FakeHost bad, clean;
  for (int index = 0; index < 29; ++index) {
    for (const auto& [value, clamped] : {std::pair{kInf, 1.0f}, {7.0f, 1.0f}, {-kInf, 0.0f}, {-0.5f, 0.0f}}) {
      bad.setParameter(index, value);
      clean.setParameter(index, clamped);
      EXPECT_TRUE(bad.getParameter(index) == clean.getParameter(index) &&
                  bad.display(index) == clean.display(index) && bad.getChunk() == clean.getChunk())
          << "index " << index << " value " << value;
    }
  }
  FakeHost host;
  host.setSampleRate(48000.0f);
  for (float rate : {0.0f, -0.0f, -44100.0f, kNaN, kInf}) host.setSampleRate(rate);
  for (int size : {0, -1, std::numeric_limits<int>::min()}) host.setBlockSize(size);
  EXPECT_EQ(host.display(12), "114.8333");  // 5512 samples at 48000 Hz
  EXPECT_EQ(host.display(18), "250");
  host.start(120.0);
  for (int index = 0; index < 29; ++index) {
    host.setParameter(index, kNaN);
    const float readBack = host.getParameter(index);
    EXPECT_TRUE(readBack >= 0.0f && readBack <= 1.0f) << "index " << index << ": " << readBack;
    EXPECT_EQ(host.display(index).find("nan"), std::string::npos) << "index " << index;
  }
  host.render(512, 100);
  EXPECT_LT(host.peakFrom(0), 4.0);
}

}  // namespace
}  // namespace vornix::test
