// The 29 host parameters as a host sees them: names, labels, defaults,
// read-back of derived values and the display texts. Expected texts come
// from tests/host/expected_displays.py, which applies the formatting rules
// (truncation, 8 characters, "Huge!", empty text for zero) by hand and
// keeps away from values whose text would hinge on rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

const char* const kNames[26] = {
    "Volume",   "Waveform", "Tuning",   "CutOff",     "Resonance", "EnvMod",    "Decay",
    "Accent",   "Gate",     "Groove",   "NB STEP",    "Patt Sync", "Slide Time", "antialias",
    "trigger pt", "Delay ", "Dly sync", "Dly ping",  "Dly time",  "Dly vol",   "Dly fdbk",
    "Dly filt", "Disto",    "Dist Sel", "Dist prm1",  "Dist prm2"};

// Defaults as the host reads them back; the odd ones are given by their
// single-precision bit patterns.
float bitsToFloat(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof(f));
  return f;
}

TEST(ParameterNames, NamesAndLabels) {
  FakeHost host;
  for (int i = 0; i < 26; ++i) EXPECT_EQ(host.parameterName(i), kNames[i]) << "index " << i;
  for (int i : {26, 27, 28, 29, 100, -1}) {
    EXPECT_EQ(host.parameterName(i), "invalid") << "index " << i;
  }
  const char* const labels[10] = {"dB", " ", " ", "%", " ", "%", "%", "%", "ms", "%"};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(host.parameterLabel(i), labels[i]) << "index " << i;
  for (int i = 10; i < 40; ++i) EXPECT_EQ(host.parameterLabel(i), " ") << "index " << i;
}

TEST(ParameterDefaults, ReadBackAfterConstruction) {
  FakeHost host;
  const float expected[29] = {
      1.0f,                    // Volume
      0.0f,                    // Waveform: saw
      0.5f,                    // Tuning
      0.09375f,                // CutOff
      bitsToFloat(0x3F6B5C29), // Resonance 0.919375
      bitsToFloat(0x3E2EB852), // EnvMod 0.170625
      bitsToFloat(0x3F666666), // Decay 0.9
      bitsToFloat(0x3E9BD70A), // Accent 0.304375
      0.5f,                    // Gate
      0.0f,                    // Groove
      15.0f / 63.0f,           // NB STEP: 16 steps
      1.0f,                    // Patt Sync: AUTO
      0.0f,                    // Slide Time
      1.0f,                    // antialias
      0.0f,                    // trigger pt: pattern 0
      0.0f,                    // Delay off
      1.0f,                    // Dly sync on
      0.0f,                    // Dly ping off
      0.5f,                    // Dly time
      0.3f,                    // Dly vol
      0.3f,                    // Dly fdbk
      0.5f,                    // Dly filt
      0.0f,                    // Disto off
      0.0f,                    // Dist Sel
      0.0f,                    // Dist prm1
      0.5f,                    // Dist prm2
      0.0f,                    // sync type: host
      80.0f / 260.0f,          // internal tempo 120 BPM
      0.0f};                   // record off
  for (int i = 0; i < 29; ++i) EXPECT_EQ(host.getParameter(i), expected[i]) << "index " << i;
  EXPECT_EQ(host.getParameter(29), 0.0f);
  EXPECT_EQ(host.getParameter(-1), 0.0f);
  EXPECT_EQ(host.getParameter(1000), 0.0f);
}

TEST(ParameterDisplay, DefaultTexts) {
  FakeHost host;
  // Index 4 and 6 are left out: their default texts depend on the last bit
  // of a single-precision product (see expected_displays.py).
  const std::pair<int, const char*> expected[] = {
      {0, "0.000000"},    // 20 log10(1)
      {1, "saw"},         {2, "0.500000"}, {3, "9"}, {5, "17"}, {7, "30"},
      {8, "124.9886"},    // 5512 samples at 44100 Hz, gate offset 0
      {9, ""},            // int2string(0) is empty
      {10, "16"},         {11, "AUTO"},
      {12, "124.9886"},   // 5512 samples
      {13, "ON"},         {14, "1"},        {15, "OFF"}, {16, "ON"}, {17, "OFF"},
      {18, "250"},        // 11025 samples: half a beat at 120 BPM
      {19, "-10.4575"},   // 20 log10(0.3)
      {20, "30"},         {21, ""},         {22, "OFF"}, {23, "Overdrive"}, {24, ""},
      {25, "50"}};
  for (const auto& [index, text] : expected) {
    EXPECT_EQ(host.parameterDisplay(index), text) << "index " << index;
  }
  // The unnamed parameters and anything beyond write nothing.
  for (int index : {26, 27, 28, 29, 500}) {
    EXPECT_EQ(host.parameterDisplay(index), kUntouched) << "index " << index;
  }
}

struct DisplayCase {
  int index;
  float value;
  const char* text;
};

TEST(ParameterDisplay, TextsAcrossTheRange) {
  const DisplayCase cases[] = {
      // dB2string: "-oo" at and below zero.
      {0, 0.0f, "-oo"},
      {0, 0.3f, "-10.4575"},
      {19, 0.0f, "-oo"},
      // Switches turn on at 0.5 exactly.
      {1, 0.49f, "saw"},
      {1, 0.5f, "square"},
      {15, 0.49f, "OFF"},
      {15, 0.5f, "ON"},
      {16, 0.2f, "OFF"},
      {17, 0.5f, "ON"},
      {22, 0.5f, "ON"},
      {22, 0.4999f, "OFF"},
      // float2string: 8 characters, truncated rather than rounded.
      {2, 0.0f, "0.000000"},
      {2, 1.0f, "1.000000"},
      {2, 0.0625f, "0.062500"},
      {2, 2.0f / 3.0f, "0.666666"},
      {4, 0.8125f, "0.812500"},
      {4, 0.125f, "0.125000"},
      // int2string(trunc(100 v)): zero is an empty text.
      {3, 0.0f, ""},
      {3, 0.5f, "50"},
      {3, 1.0f, "100"},
      {5, 0.999f, "99"},
      {9, 0.5f, "50"},
      {24, 1.0f, "100"},
      {25, 0.0f, ""},
      // Dly filt runs from -100 to 100.
      {21, 0.0f, "-100"},
      {21, 0.25f, "-50"},
      {21, 1.0f, "100"},
      // Pattern sync: mode trunc(4 v); only 1.0 reaches AUTO.
      {11, 0.0f, "free"},
      {11, 0.2499f, "free"},
      {11, 0.25f, "1 step"},
      {11, 0.5f, "4 step"},
      {11, 0.75f, "16 step"},
      {11, 0.999f, "16 step"},
      {11, 1.0f, "AUTO"},
      // Distortion algorithm names are written whole.
      {23, 0.25f, "ClipInferno"},
      {23, 0.5f, "HotFuzz"},
      {23, 0.75f, "Ultracrunch"},
      {23, 1.0f, "Ultracrunch"},
      // Gate: (5512 - offset) samples; offset = trunc(-(2v-1) * 2204).
      {8, 0.25f, "100.0000"},  // 4410 samples
      {8, 0.5f, "124.9886"},
      // Slide Time: trunc(v^3 * 60000 + 5512) samples.
      {12, 0.0f, "124.9886"},   // 5512
      {12, 0.25f, "146.2358"},  // 6449
      // NB STEP: trunc(63 v) + 1 steps.
      {10, 0.0f, "1"},
      {10, 0.5f, "32"},
      {10, 1.0f, "64"},
      // trigger pt: pattern trunc(32 v), shown from 1.
      {14, 0.05f, "2"},
      {14, 0.5f, "17"},
      {14, 0.99f, "32"},
  };
  for (const DisplayCase& c : cases) {
    FakeHost host;
    host.setParameter(c.index, c.value);
    EXPECT_EQ(host.parameterDisplay(c.index), c.text)
        << "index " << c.index << " value " << c.value;
  }
}

TEST(ParameterDisplay, FormattedTextsStayWithinEightCharacters) {
  FakeHost host;
  for (int index = 0; index < 26; ++index) {
    if (index == 23) continue;  // the algorithm names are literal texts
    for (float v : {0.0f, 0.01f, 0.1f, 0.3333f, 0.5f, 0.77f, 0.9f, 0.999f, 1.0f}) {
      host.setParameter(index, v);
      const std::string text = host.parameterDisplay(index);
      EXPECT_LE(text.size(), 8u) << "index " << index << " value " << v << ": " << text;
      EXPECT_NE(text, kUntouched) << "index " << index;
    }
  }
}

TEST(ParameterReadBack, ForcedAndDerivedValues) {
  FakeHost host;
  // Waveform and Disto store only 0 or 1.
  host.setParameter(1, 0.7f);
  EXPECT_EQ(host.getParameter(1), 1.0f);
  host.setParameter(1, 0.49f);
  EXPECT_EQ(host.getParameter(1), 0.0f);
  host.setParameter(22, 0.5f);
  EXPECT_EQ(host.getParameter(22), 1.0f);
  host.setParameter(22, 0.3f);
  EXPECT_EQ(host.getParameter(22), 0.0f);
  // The delay switches store 0 or 1 as well.
  host.setParameter(15, 0.8f);
  EXPECT_EQ(host.getParameter(15), 1.0f);
  host.setParameter(17, 0.2f);
  EXPECT_EQ(host.getParameter(17), 0.0f);

  // NB STEP reads back (length - 1) / 63.
  host.setParameter(10, 0.0f);
  EXPECT_EQ(host.getParameter(10), 0.0f);
  host.setParameter(10, 1.0f);
  EXPECT_EQ(host.getParameter(10), 1.0f);
  host.setParameter(10, 0.5f);  // trunc(31.5) + 1 = 32 steps
  EXPECT_EQ(host.getParameter(10), 31.0f / 63.0f);

  // trigger pt reads back index / 32 of the pattern it switched to (the
  // transport is stopped, so the switch is immediate); 1.0 triggers nothing.
  host.setParameter(14, 0.05f);
  EXPECT_EQ(host.getParameter(14), 0.03125f);
  host.setParameter(14, 0.5f);
  EXPECT_EQ(host.getParameter(14), 0.5f);
  host.setParameter(14, 1.0f);
  EXPECT_EQ(host.getParameter(14), 0.5f);
  EXPECT_EQ(host.parameterDisplay(14), "17");
  // Pattern 16 is a fresh 16-step pattern, whatever NB STEP did to pattern 0.
  EXPECT_EQ(host.parameterDisplay(10), "16");
  host.setParameter(14, 0.0f);
  EXPECT_EQ(host.parameterDisplay(10), "32");

  // Internal tempo is rounded to whole BPM: 260 v + 40.
  host.setParameter(27, 0.5f);  // 170 BPM
  EXPECT_EQ(host.getParameter(27), 0.5f);
  host.setParameter(27, 0.001f);  // 40.26 -> 40 BPM
  EXPECT_EQ(host.getParameter(27), 0.0f);
  host.setParameter(27, 0.0058f);  // 41.508 rounds to 42 BPM, truncation would give 41
  EXPECT_EQ(host.getParameter(27), 2.0f / 260.0f);
  host.setParameter(27, 0.3f);  // 118 BPM
  EXPECT_EQ(host.getParameter(27), 78.0f / 260.0f);
  host.setParameter(27, 1.0f);  // 300 BPM
  EXPECT_EQ(host.getParameter(27), 1.0f);

  // Record is a switch.
  host.setParameter(28, 0.5f);
  EXPECT_EQ(host.getParameter(28), 1.0f);
  host.setParameter(28, 0.49f);
  EXPECT_EQ(host.getParameter(28), 0.0f);

  // Sync type keeps the value as passed.
  host.setParameter(26, 0.5f);
  EXPECT_EQ(host.getParameter(26), 0.5f);
  host.setParameter(26, 0.1f);
  EXPECT_EQ(host.getParameter(26), 0.1f);

  // antialias cannot be changed from the host.
  host.setParameter(13, 0.0f);
  EXPECT_EQ(host.getParameter(13), 1.0f);
  EXPECT_EQ(host.parameterDisplay(13), "ON");

  // Plain values come back as given.
  for (int index : {0, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 18, 19, 20, 21, 23, 24, 25}) {
    host.setParameter(index, 0.4375f);
    EXPECT_EQ(host.getParameter(index), 0.4375f) << "index " << index;
  }
  // Out-of-range indices change nothing.
  const auto before = host.getChunk();
  host.setParameter(29, 0.5f);
  host.setParameter(-1, 0.5f);
  host.setParameter(100000, 0.5f);
  EXPECT_EQ(host.getChunk(), before);
}

TEST(ParameterDisplay, DelayTimeInMilliseconds) {
  FakeHost host;
  // 120 BPM, 44100 Hz: 22050 samples per beat. Sync on picks one of eight
  // note lengths by trunc(7 v).
  EXPECT_EQ(host.parameterDisplay(18), "250");  // 0.5 beat
  host.setParameter(18, 1.0f);
  EXPECT_EQ(host.parameterDisplay(18), "1000");  // 2 beats, 44100 samples
  host.setParameter(18, 0.0f);
  EXPECT_EQ(host.parameterDisplay(18), "62");  // 1/8 beat, 2756 samples
  // Sync off: trunc(2 v * 22050) samples, at least 176.
  host.setParameter(16, 0.0f);
  host.setParameter(18, 0.5f);
  EXPECT_EQ(host.parameterDisplay(18), "500");
  host.setParameter(18, 0.25f);
  EXPECT_EQ(host.parameterDisplay(18), "250");
  host.setParameter(18, 0.0f);
  EXPECT_EQ(host.parameterDisplay(18), "3");  // 176 samples = 3.99 ms

  // The time follows the sample rate: at 48000 Hz half a beat is still 250 ms.
  FakeHost other;
  other.setSampleRate(48000.0f);
  EXPECT_EQ(other.parameterDisplay(18), "250");
}

TEST(ParameterDisplay, SampleBasedTextsFollowRateAndTempo) {
  // At 48000 Hz the slide time in samples is unchanged, the text is not.
  FakeHost host;
  host.setSampleRate(48000.0f);
  EXPECT_EQ(host.parameterDisplay(12), "114.8333");  // 5512 samples
  host.setParameter(12, 0.25f);
  EXPECT_EQ(host.parameterDisplay(12), "134.3541");  // 6449 samples
  host.setParameter(12, 1.0f);
  EXPECT_EQ(host.parameterDisplay(12), "1364.833");  // 65512 samples

  // After a block at 48000 Hz and 120 BPM: 24000 samples per beat, 6000 per
  // step, gate offsets of +-2400 samples.
  host.resume();
  host.stopTransport(120.0);
  host.process(512);
  host.setParameter(8, 0.0f);
  EXPECT_EQ(host.parameterDisplay(8), "75.00000");
  host.setParameter(8, 1.0f);
  EXPECT_EQ(host.parameterDisplay(8), "175.0000");
  host.setParameter(8, 0.5f);
  EXPECT_EQ(host.parameterDisplay(8), "125.0000");

  // A host tempo of 140 BPM at 44100 Hz: 18900 samples per beat, 4725 per
  // step; the synced delay follows the host tempo (9450 samples).
  FakeHost fast;
  fast.resume();
  fast.stopTransport(140.0);
  fast.process(512);
  EXPECT_EQ(fast.parameterDisplay(8), "107.1428");
  EXPECT_EQ(fast.parameterDisplay(18), "214");
}

}  // namespace
}  // namespace vornix::test
