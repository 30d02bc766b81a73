// Parameter assignments from the command line, and the level meter of the summary.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "LevelMeter.h"
#include "ParamMatcher.h"

namespace {

// The names the instrument reports, padding included.
const std::vector<std::string> kNames = {
    "Volume",   "Waveform", "Tuning",    "CutOff",    "Resonance", "EnvMod",    "Decay",
    "Accent",   "Gate",     "Groove",    "NB STEP",   "Patt Sync", "Slide Time", "antialias",
    "trigger pt", "Delay ", "Dly sync",  "Dly ping",  "Dly time",  "Dly vol",   "Dly fdbk",
    "Dly filt", "Disto",    "Dist Sel",  "Dist prm1", "Dist prm2", "invalid",   "invalid",
    "invalid"};

TEST(ParamMatcher, NamesIndicesAndErrors) {
  std::string error;
  EXPECT_EQ(vxtools::matchParameter(kNames, "CutOff", error), 3);
  EXPECT_EQ(vxtools::matchParameter(kNames, "Volume", error), 0);
  EXPECT_EQ(vxtools::matchParameter(kNames, "Dist prm2", error), 25);
  // The padded name matches with or without its blank.
  EXPECT_EQ(vxtools::matchParameter(kNames, "Delay", error), 15);
  EXPECT_EQ(vxtools::matchParameter(kNames, "Delay ", error), 15);
  // Letter case is forgiven when only one name fits.
  EXPECT_EQ(vxtools::matchParameter(kNames, "cutoff", error), 3);
  EXPECT_EQ(vxtools::matchParameter(kNames, "NB Step", error), 10);
  // Indices.
  EXPECT_EQ(vxtools::matchParameter(kNames, "0", error), 0);
  EXPECT_EQ(vxtools::matchParameter(kNames, "27", error), 27);
  EXPECT_EQ(vxtools::matchParameter(kNames, "28", error), 28);

  EXPECT_EQ(vxtools::matchParameter(kNames, "29", error), -1);
  EXPECT_NE(error.find("out of range"), std::string::npos);
  EXPECT_EQ(vxtools::matchParameter(kNames, "99999999999999999999", error), -1);
  EXPECT_EQ(vxtools::matchParameter(kNames, "-1", error), -1);

  // The three unnamed parameters share one text: only their indices reach them.
  EXPECT_EQ(vxtools::matchParameter(kNames, "invalid", error), -1);
  EXPECT_NE(error.find("ambiguous"), std::string::npos);
  EXPECT_NE(error.find("26, 27, 28"), std::string::npos);

  EXPECT_EQ(vxtools::matchParameter(kNames, "Cutoff2", error), -1);
  EXPECT_NE(error.find("unknown parameter \"Cutoff2\""), std::string::npos);
  // The error lists the valid names, without their padding.
  EXPECT_NE(error.find("3 \"CutOff\""), std::string::npos);
  EXPECT_NE(error.find("15 \"Delay\""), std::string::npos);
  EXPECT_NE(error.find("25 \"Dist prm2\""), std::string::npos);
  EXPECT_EQ(vxtools::matchParameter(kNames, "", error), -1);
}

TEST(ParamMatcher, ExactNameWinsOverFoldedCase) {
  const std::vector<std::string> names = {"gain", "Gain", "GAIN "};
  std::string error;
  EXPECT_EQ(vxtools::matchParameter(names, "Gain", error), 1);
  EXPECT_EQ(vxtools::matchParameter(names, "GAIN", error), 2);
  EXPECT_EQ(vxtools::matchParameter(names, "gAiN", error), -1);  // three case-folded fits
  EXPECT_NE(error.find("ambiguous"), std::string::npos);
}

TEST(ParamMatcher, SplitAssignment) {
  std::string name, error;
  float value = -1.0f;
  ASSERT_TRUE(vxtools::splitAssignment("CutOff=0.4", name, value, error)) << error;
  EXPECT_EQ(name, "CutOff");
  EXPECT_FLOAT_EQ(value, 0.4f);
  ASSERT_TRUE(vxtools::splitAssignment("Delay =1", name, value, error));
  EXPECT_EQ(name, "Delay ");
  EXPECT_FLOAT_EQ(value, 1.0f);
  ASSERT_TRUE(vxtools::splitAssignment("3=0", name, value, error));
  EXPECT_EQ(name, "3");
  EXPECT_FLOAT_EQ(value, 0.0f);
  ASSERT_TRUE(vxtools::splitAssignment("x=1e-1", name, value, error));
  EXPECT_FLOAT_EQ(value, 0.1f);

  EXPECT_FALSE(vxtools::splitAssignment("CutOff", name, value, error));
  EXPECT_FALSE(vxtools::splitAssignment("=0.5", name, value, error));
  EXPECT_FALSE(vxtools::splitAssignment("CutOff=", name, value, error));
  EXPECT_FALSE(vxtools::splitAssignment("CutOff=0,4", name, value, error));  // no locale commas
  EXPECT_FALSE(vxtools::splitAssignment("CutOff=0.4x", name, value, error));
  EXPECT_FALSE(vxtools::splitAssignment("CutOff=nan", name, value, error));
  EXPECT_FALSE(vxtools::splitAssignment("CutOff=1.01", name, value, error));
  EXPECT_NE(error.find("outside 0..1"), std::string::npos);
  EXPECT_FALSE(vxtools::splitAssignment("CutOff=-0.1", name, value, error));
}

TEST(LevelMeter, PeakAndRms) {
  vxtools::LevelMeter silent;
  std::vector<float> zeros(64, 0.0f);
  silent.add(zeros.data(), zeros.data(), 64);
  EXPECT_TRUE(std::isinf(silent.peakDb()) && silent.peakDb() < 0);
  EXPECT_TRUE(std::isinf(silent.rmsDb()) && silent.rmsDb() < 0);

  // Constant 0.5 left and -0.25 right: peak -6.0206 dB, RMS -8.0618 dB.
  vxtools::LevelMeter stub;
  std::vector<float> left(100, 0.5f), right(100, -0.25f);
  stub.add(left.data(), right.data(), 100);
  stub.add(left.data(), right.data(), 37);  // the split must not matter
  EXPECT_NEAR(stub.peakDb(), -6.0206, 1e-4);
  EXPECT_NEAR(stub.rmsDb(), -8.0618, 1e-4);
  EXPECT_EQ(stub.samples(), 274);

  // A full-scale sine over whole periods: RMS 1/sqrt(2) = -3.0103 dB, peak 0 dB.
  vxtools::LevelMeter sine;
  std::vector<float> s(4800);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<float>(std::sin(2 * M_PI * i / 48.0));
  s[12] = 1.0f;
  sine.add(s.data(), s.data(), static_cast<int>(s.size()));
  EXPECT_NEAR(sine.peakDb(), 0.0, 1e-6);
  EXPECT_NEAR(sine.rmsDb(), -3.0103, 1e-3);

  // Non-finite samples are counted and kept out of the figures.
  vxtools::LevelMeter broken;
  std::vector<float> bad = {0.5f, NAN, INFINITY, 0.5f};
  std::vector<float> ok = {0.5f, 0.5f, 0.5f, 0.5f};
  broken.add(bad.data(), ok.data(), 4);
  EXPECT_EQ(broken.nonFiniteSamples(), 2);
  EXPECT_NEAR(broken.peakDb(), -6.0206, 1e-4);
  EXPECT_NEAR(broken.rmsDb(), -6.0206, 1e-4);
}

}  // namespace
