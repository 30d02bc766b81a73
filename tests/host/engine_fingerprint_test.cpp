// Regression fingerprints of the factory pattern: two passes of the line at
// 120 BPM with default settings, reduced to the key and velocity of every
// step's note-on (known from the factory line) and the level of each step
// (RMS in dB between its note-on and the next, recorded from a reviewed
// render). A change in the voice, the filters or the step clock moves the
// levels; a change in the sequencer moves the notes.
//
// To review and update the levels after an intended change in the sound:
//   VORNIX_PRINT_FINGERPRINTS=1 ./host_engine_fingerprint_test
// prints fresh tables to paste below (the test is skipped while printing).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/ScriptedHost.h"

namespace vornix::test {
namespace {

const int kFactoryNotes[16] = {13, 15, 15, 14, 12, 16, 15, 14, 16, 13, 8, 16, 12, 16, 18, 12};
const bool kFactoryAccent[16] = {0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1};

constexpr int kSteps = 32;
// Levels are kept to 0.01 dB; the comparison allows for libm differences
// between builds.
constexpr double kToleranceDb = 0.05;

// Levels recorded at 44100 Hz (band-limited oscillator).
const double kLevels44100[kSteps] = {
    -23.58, -15.61, -22.94, -16.62, -20.36, -23.44, -22.89, -22.89,
    -22.54, -19.90, -17.34, -16.21, -23.45, -22.42, -18.98, -15.73,
    -23.72, -15.61, -22.94, -16.62, -20.36, -23.44, -22.89, -22.89,
    -22.54, -19.90, -17.34, -16.21, -23.45, -22.42, -18.97, -15.73};
// Levels recorded at 16000 Hz (44100 Hz render, resampled).
const double kLevels16000[kSteps] = {
    -22.88, -15.61, -22.93, -16.63, -20.36, -23.44, -22.89, -22.89,
    -22.54, -19.90, -17.35, -16.21, -23.46, -22.43, -18.99, -15.75,
    -23.71, -15.62, -22.94, -16.63, -20.36, -23.44, -22.89, -22.89,
    -22.55, -19.91, -17.36, -16.19, -23.44, -22.41, -19.00, -15.74};

bool printing() {
  const char* flag = std::getenv("VORNIX_PRINT_FINGERPRINTS");
  return flag != nullptr && *flag != '\0' && std::string(flag) != "0";
}

void checkFingerprint(float sampleRate, const double (&expectedLevels)[kSteps],
                      const char* tableName) {
  ScriptedHost::Options options;
  options.sampleRate = sampleRate;
  ScriptedHost host(options);
  host.resume();
  host.playTransport(120.0);
  const int64_t frames = static_cast<int64_t>((kSteps + 1.5) * sampleRate / 8.0);
  host.renderFrames(frames, 512);

  const auto ons = host.noteOns();
  ASSERT_GE(ons.size(), static_cast<size_t>(kSteps + 1));
  std::vector<double> levels;
  for (int k = 0; k < kSteps; ++k) {
    const double rms = host.rms(ons[k].at, ons[k + 1].at - ons[k].at);
    levels.push_back(std::round(2000.0 * std::log10(std::max(rms, 1e-12))) / 100.0);
  }
  if (printing()) {
    std::printf("const double %s[kSteps] = {", tableName);
    for (int k = 0; k < kSteps; ++k) {
      std::printf("%s%.2f%s", k % 8 == 0 ? "\n    " : " ", levels[k], k + 1 < kSteps ? "," : "");
    }
    std::printf("};\n");
    GTEST_SKIP() << "printed fresh levels";
  }
  for (int k = 0; k < kSteps; ++k) {
    SCOPED_TRACE("step " + std::to_string(k));
    EXPECT_EQ(ons[k].key, kFactoryNotes[k % 16] + 35);
    EXPECT_EQ(ons[k].velocity, kFactoryAccent[k % 16] ? 127 : 64);
    EXPECT_NEAR(levels[k], expectedLevels[k], kToleranceDb);
  }
  // Independent of the recorded tables: an accented step is louder than a
  // plain one whose gate closes halfway (loudness 1 + 3 × accent level).
  const int accented[] = {1, 3, 10, 11, 15};
  const int plain[] = {0, 6, 7, 8, 12, 13};
  for (int a : accented) {
    for (int p : plain) {
      EXPECT_GT(levels[16 + a], levels[16 + p] + 3.0) << "accented " << a << ", plain " << p;
    }
  }
}

TEST(Fingerprint, FactoryLineAt44100) { checkFingerprint(44100.0f, kLevels44100, "kLevels44100"); }

TEST(Fingerprint, FactoryLineAt16000) { checkFingerprint(16000.0f, kLevels16000, "kLevels16000"); }

}  // namespace
}  // namespace vornix::test
