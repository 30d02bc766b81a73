// Parameter assignments from the command line, and the level meter of the summary.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "LevelMeter.h"
#include "ParamMatcher.h"

namespace {

TEST(ParamMatcher, NamesIndicesAndAssignments) {
  // Names as an instrument reports them, padding included; three unnamed
  // parameters share one text, so only their indices reach them. A name
  // matches with or without its padding, in any letter case when only one
  // name fits; an exact name wins over folded case.
  const std::vector<std::string> names = {"CutOff", "Delay ", "gain", "Gain", "GAIN ", "invalid", "invalid"};
  // clang-format off
  const std::pair<const char*, int> queries[] = {
      {"CutOff", 0}, {"cutoff", 0}, {"Delay", 1}, {"Delay ", 1}, {"DELAY", 1}, {"Gain", 3}, {"GAIN", 4},
      {"gAiN", -1}, {"invalid", -1}, {"6", 6}, {"7", -1}, {"-1", -1}, {"99999999999999999999", -1}, {"", -1},
      {"Cutoff2", -1}};
  // clang-format on
  for (const auto& [query, index] : queries) {
    std::string error;
    EXPECT_EQ(vxtools::matchParameter(names, query, error), index) << query;
    EXPECT_EQ(error.empty(), index >= 0) << query;
  }
  std::string error;
  vxtools::matchParameter(names, "invalid", error);
  EXPECT_NE(error.find("ambiguous (indices 5, 6)"), std::string::npos) << error;
  vxtools::matchParameter(names, "Cutoff2", error);  // lists the names without their padding
  EXPECT_NE(error.find("1 \"Delay\""), std::string::npos) << error;

  // "NAME=VALUE" with a plain number from 0 to 1: no locale commas, no
  // trailing junk, no NaN.
  for (const char* bad : {"CutOff", "=0.5", "CutOff=", "CutOff=0,4", "CutOff=0.4x", "CutOff=nan",
                          "CutOff=1.01", "CutOff=-0.1"}) {
    std::string name;
    float value;
    EXPECT_FALSE(vxtools::splitAssignment(bad, name, value, error)) << bad;
  }
  std::string name;
  float value = -1.0f;
  ASSERT_TRUE(vxtools::splitAssignment("Delay =1e-1", name, value, error)) << error;
  EXPECT_TRUE(name == "Delay " && value == 0.1f);
}

TEST(LevelMeter, PeakAndRms) {
  // Constant 0.5 left and -0.25 right, added in two pieces: peak -6.0206 dB,
  // RMS -8.0618 dB. A full-scale sine over whole periods: RMS 1/sqrt(2) =
  // -3.0103 dB. Non-finite samples are counted and kept out of the figures.
  std::vector<float> zeros(64), half(100, 0.5f), quarter(100, -0.25f), sine(4800),
      bad = {0.5f, NAN, INFINITY, 0.5f};
  for (size_t i = 0; i < sine.size(); ++i) sine[i] = static_cast<float>(std::sin(2 * M_PI * i / 48.0));
  sine[12] = 1.0f;
  vxtools::LevelMeter silent, stub, full, broken;
  silent.add(zeros.data(), zeros.data(), 64);
  stub.add(half.data(), quarter.data(), 100);
  stub.add(half.data(), quarter.data(), 37);
  full.add(sine.data(), sine.data(), static_cast<int>(sine.size()));
  broken.add(bad.data(), half.data(), 4);
  EXPECT_TRUE(std::isinf(silent.peakDb()) && silent.peakDb() < 0 && std::isinf(silent.rmsDb()));
  EXPECT_TRUE(std::fabs(stub.peakDb() + 6.0206) < 1e-4 && std::fabs(stub.rmsDb() + 8.0618) < 1e-4);
  EXPECT_TRUE(std::fabs(full.peakDb()) < 1e-6 && std::fabs(full.rmsDb() + 3.0103) < 1e-3);
  EXPECT_TRUE(std::fabs(broken.peakDb() + 6.0206) < 1e-4 && std::fabs(broken.rmsDb() + 6.0206) < 1e-4);
  EXPECT_TRUE(stub.samples() == 274 && broken.nonFiniteSamples() == 2);
}

}  // namespace
