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

TEST(LevelMeter, SilenceAndNonFiniteSamples) {
  // Silence is minus infinity dB. Non-finite samples are counted and kept
  // out of the figures: 0.5 on both channels is -6.0206 dB peak and RMS.
  // (The figures of a whole render are checked by the Render test.)
  std::vector<float> zeros(64), half(4, 0.5f), bad = {0.5f, NAN, INFINITY, 0.5f};
  vxtools::LevelMeter silent, broken;
  silent.add(zeros.data(), zeros.data(), 64);
  broken.add(bad.data(), half.data(), 4);
  EXPECT_TRUE(std::isinf(silent.peakDb()) && silent.peakDb() < 0 && std::isinf(silent.rmsDb()));
  EXPECT_TRUE(std::fabs(broken.peakDb() + 6.0206) < 1e-4 && std::fabs(broken.rmsDb() + 6.0206) < 1e-4);
  EXPECT_EQ(broken.nonFiniteSamples(), 2);
}

}  // namespace
