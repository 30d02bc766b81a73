// Parameter assignments from the command line, and the level meter of the summary.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "LevelMeter.h"
#include "ParamMatcher.h"

namespace {

TEST(ParamMatcher, NamesIndicesAndErrors) {
  // The names the instrument reports, padding included.
  std::vector<std::string> names = {
      "Volume",    "Waveform",  "Tuning",   "CutOff",    "Resonance",  "EnvMod",    "Decay",      "Accent",
      "Gate",      "Groove",    "NB STEP",  "Patt Sync", "Slide Time", "antialias", "trigger pt", "Delay ",
      "Dly sync",  "Dly ping",  "Dly time", "Dly vol",   "Dly fdbk",   "Dly filt",  "Disto",      "Dist Sel",
      "Dist prm1", "Dist prm2", "invalid",  "invalid",   "invalid"};
  const std::pair<const char*, int> found[] = {
      {"CutOff", 3}, {"Dist prm2", 25}, {"Delay", 15}, {"Delay ", 15},  // with or without the padding
      {"cutoff", 3}, {"NB Step", 10},                                   // case forgiven when one name fits
      {"0", 0},      {"28", 28}};
  for (const auto& [query, index] : found) {
    std::string error;
    EXPECT_EQ(vxtools::matchParameter(names, query, error), index) << query << ": " << error;
  }
  // The three unnamed parameters share one text: only their indices reach
  // them. An unknown name lists the valid ones without their padding.
  const std::pair<const char*, std::vector<const char*>> refused[] = {
      {"29", {"out of range"}},
      {"99999999999999999999", {}},
      {"-1", {}},
      {"", {}},
      {"invalid", {"ambiguous", "26, 27, 28"}},
      {"Cutoff2", {"unknown parameter \"Cutoff2\"", "3 \"CutOff\"", "15 \"Delay\"", "25 \"Dist prm2\""}}};
  for (const auto& [query, messages] : refused) {
    std::string error;
    EXPECT_EQ(vxtools::matchParameter(names, query, error), -1) << query;
    for (const char* m : messages) EXPECT_NE(error.find(m), std::string::npos) << query << ": " << error;
  }
  // An exact name wins over folded case; several folded fits are ambiguous.
  names = {"gain", "Gain", "GAIN "};
  std::string error;
  EXPECT_EQ(vxtools::matchParameter(names, "Gain", error), 1);
  EXPECT_EQ(vxtools::matchParameter(names, "GAIN", error), 2);
  EXPECT_EQ(vxtools::matchParameter(names, "gAiN", error), -1);
}

TEST(ParamMatcher, SplitAssignment) {
  const struct {
    const char* text;
    const char* name;
    float value;
  } good[] = {{"CutOff=0.4", "CutOff", 0.4f},
              {"Delay =1", "Delay ", 1.0f},
              {"3=0", "3", 0.0f},
              {"x=1e-1", "x", 0.1f}};
  for (const auto& g : good) {
    std::string name, error;
    float value = -1.0f;
    ASSERT_TRUE(vxtools::splitAssignment(g.text, name, value, error)) << g.text << ": " << error;
    EXPECT_TRUE(name == g.name && value == g.value) << g.text;
  }
  // No locale commas, no trailing junk, no NaN, nothing outside 0..1.
  for (const char* bad : {"CutOff", "=0.5", "CutOff=", "CutOff=0,4", "CutOff=0.4x", "CutOff=nan",
                          "CutOff=1.01", "CutOff=-0.1"}) {
    std::string name, error;
    float value;
    EXPECT_FALSE(vxtools::splitAssignment(bad, name, value, error)) << bad;
  }
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
  EXPECT_NEAR(stub.peakDb(), -6.0206, 1e-4);
  EXPECT_NEAR(stub.rmsDb(), -8.0618, 1e-4);
  EXPECT_EQ(stub.samples(), 274);
  EXPECT_NEAR(full.peakDb(), 0.0, 1e-6);
  EXPECT_NEAR(full.rmsDb(), -3.0103, 1e-3);
  EXPECT_EQ(broken.nonFiniteSamples(), 2);
  EXPECT_NEAR(broken.peakDb(), -6.0206, 1e-4);
  EXPECT_NEAR(broken.rmsDb(), -6.0206, 1e-4);
}

}  // namespace
