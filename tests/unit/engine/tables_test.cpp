// Tables, smoother and random integers against values worked out by hand and
// in reference_tables.py (beside this file).
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>

#include "engine/CParamSmooth.h"
#include "engine/Tables.h"

TEST(NoteTable, FrequenciesAndSafeLookup) {
  const double quoted[][2] = {{1, 130.813}, {13, 261.626}, {22, 440.0}, {52, 2489.016}, {60, 3951.066}};
  for (const auto& q : quoted) EXPECT_NEAR(double(noteFrequency(int(q[0]))), q[1], 1e-9) << q[0];
  // Rounding to 0.0005 Hz on values >= 130 Hz moves a semitone ratio by at
  // most 2 * 0.0005 / 130 = 7.7e-6.
  for (int i = 2; i <= 60; ++i)
    EXPECT_NEAR(double(cNoteFreq[i] / cNoteFreq[i - 1]), std::pow(2.0, 1.0 / 12.0), 7.7e-6) << i;
  for (int bad : {0, -1, 61, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()})
    EXPECT_EQ(noteFrequency(bad), 0.0L) << bad;
}

TEST(FunctionTables, ResonanceCurveAndPowersOfTwo) {
  initFunTab1();
  initFunTab2();
  // Nested sines in double (script) vs extended products: a few 1e-17
  // apart; a wrong nesting depth or constant shows at 1e-3.
  const double curve[][2] = {
      {0, 0.0}, {1, 0.09489189720187656}, {16, 0.93876383976636035}, {44, 0.9999998375169119}, {64, 1.0}};
  for (const auto& c : curve) EXPECT_NEAR(funTab1[int(c[0])], c[1], 1e-15) << c[0];
  for (int i = 1; i < kFunTab1Size; ++i) EXPECT_GE(funTab1[i], funTab1[i - 1]) << i;
  // 2^((i - 256) / 32): nearest float of the exact power (script); a float
  // power may be one unit in the last place off, 1.2e-7 relative.
  const double powers[][2] = {{0, 1.0 / 256.0}, {1, 0.0039917859248816967}, {255, 0.97857207059860229},
                              {256, 1.0},       {511, 250.51445007324219},  {512, 256.0}};
  for (const auto& p : powers) {
    EXPECT_NEAR(funTab2[int(p[0])], p[1], p[1] * 1.2e-7) << p[0];
    EXPECT_EQ(funTab2[int(p[0])], double(float(funTab2[int(p[0])]))) << p[0];
  }
}

TEST(ParamSmooth, CoefficientsStepsAndBadRates) {
  // a = exp(-6.2831855 / (ms * rate / 1000)) in float (script); 1 ulp = 6e-8.
  const float rates[][3] = {
      {4.0f, 44100.0f, 0.965007901f}, {4.0f, 96000.0f, 0.983770669f}, {10.0f, 48000.0f, 0.986995339f}};
  CParamSmooth s(4.0f, 44100.0f);
  for (const auto& r : rates) {
    s.process(1.0f);
    s.init(r[0], r[1]);
    EXPECT_NEAR(s.a, r[2], 1e-7f) << r[1];
    EXPECT_FLOAT_EQ(s.a + s.b, 1.0f);
    EXPECT_EQ(s.z, 0.0f);
  }
  // Rates and times a host should never send keep the coefficients.
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  for (auto [ms, rate] : {std::pair{4.0f, 0.0f},
                          {4.0f, -44100.0f},
                          {4.0f, nan},
                          {4.0f, inf},
                          {0.0f, 44100.0f},
                          {nan, 44100.0f}}) {
    s.init(ms, rate);
    EXPECT_NEAR(s.a, 0.986995339f, 1e-7f) << ms << " ms @ " << rate;
  }
  EXPECT_NEAR(CParamSmooth(4.0f, 0.0f).a, 0.965007901f, 1e-7f);  // falls back to 4 ms at 44100 Hz

  // A step to 1 gives z_n = 1 - a^n: after 4 ms (176 samples) within 0.2 %.
  s.init(4.0f, 44100.0f);
  const float want[] = {0.0349920988f, 0.299660386f, 0.998105769f};
  for (int n = 1, k = 0; n <= 176; ++n) {
    const float z = s.process(1.0f);
    if (n == 1 || n == 10 || n == 176) {
      EXPECT_NEAR(z, want[k++], 1e-5f) << n;
    }
  }
}

TEST(RandomInt, RangeAndKnownDraws) {
  for (int n : {0, -5, 1}) EXPECT_EQ(random(n), 0) << n;
  // glibc's rand() after srand(1): 1804289383, 846930886, 1681692777,
  // 1714636915, 1957747793, 424238335; trunc(r * n / 2^31) done exactly in
  // the script.
  std::srand(1);
  const int draws[][2] = {{100, 84}, {15, 5}, {12, 9}, {2, 1}, {7, 6}, {1000000, 197551}};
  for (const auto& d : draws) EXPECT_EQ(random(d[0]), d[1]) << d[0];
}
