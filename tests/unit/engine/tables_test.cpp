// Tables, smoother and random integers against values worked out by hand and
// in reference_tables.py (beside this file).
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>

#include "engine/CParamSmooth.h"
#include "engine/Tables.h"

namespace {

TEST(NoteTable, FrequenciesAndSafeLookup) {
  const double quoted[][2] = {{1, 130.813}, {10, 220.0},  {13, 261.626}, {22, 440.0},
                              {25, 523.251}, {34, 880.0}, {52, 2489.016}, {60, 3951.066}};
  for (const auto& q : quoted) EXPECT_NEAR(double(cNoteFreq[int(q[0])]), q[1], 1e-9) << q[0];
  EXPECT_EQ(cNoteFreq[22], 440.0L);
  EXPECT_EQ(cNoteFreq[0], 0.0L);
  // Rounding to 0.0005 Hz on values >= 130 Hz moves a semitone ratio by at
  // most 2 * 0.0005 / 130 = 7.7e-6.
  for (int i = 2; i <= 60; ++i)
    EXPECT_NEAR(double(cNoteFreq[i] / cNoteFreq[i - 1]), std::pow(2.0, 1.0 / 12.0), 7.7e-6) << i;

  EXPECT_EQ(noteFrequency(1), cNoteFreq[1]);
  EXPECT_EQ(noteFrequency(60), cNoteFreq[60]);
  for (int bad : {0, -1, 61, 127, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()})
    EXPECT_EQ(noteFrequency(bad), 0.0L) << bad;
}

TEST(FunctionTables, ResonanceCurveAndPowersOfTwo) {
  initFunTab1();
  initFunTab2();
  // Nested sines in double (script) vs extended products: a few 1e-17
  // apart; a wrong nesting depth or constant shows at 1e-3.
  const double curve[][2] = {{1, 0.09489189720187656},  {8, 0.65697754940997055},
                             {16, 0.93876383976636035}, {32, 0.99978147603133072},
                             {44, 0.9999998375169119},  {64, 1.0}};
  for (const auto& c : curve) EXPECT_NEAR(funTab1[int(c[0])], c[1], 1e-15) << c[0];
  EXPECT_EQ(funTab1[0], 0.0);
  for (int i = 1; i < kFunTab1Size; ++i) {
    EXPECT_GE(funTab1[i], funTab1[i - 1]) << i;
    EXPECT_LE(funTab1[i], 1.0) << i;  // the filter's damping relies on it
  }

  EXPECT_EQ(funTab2[0], 1.0 / 256.0);
  EXPECT_EQ(funTab2[256], 1.0);
  EXPECT_EQ(funTab2[512], 256.0);
  // Nearest float of the exact power (script); a float power may be one
  // unit in the last place off, 1.2e-7 relative. The stored value must be
  // the float result itself.
  const double mid[][2] = {{1, 0.0039917859248816967}, {100, 0.034078367054462433},
                           {255, 0.97857207059860229}, {511, 250.51445007324219}};
  for (const auto& m : mid) {
    EXPECT_NEAR(funTab2[int(m[0])], m[1], m[1] * 1.2e-7) << m[0];
    EXPECT_EQ(funTab2[int(m[0])], double(float(funTab2[int(m[0])]))) << m[0];
  }
  for (int i = 0; i + 32 < kFunTab2Size; ++i)
    EXPECT_NEAR(funTab2[i + 32], 2.0 * funTab2[i], funTab2[i] * 4.8e-7) << i;

  // A second instrument refills the shared tables with the same values.
  const double t1 = funTab1[5], t2 = funTab2[77];
  initFunTab1();
  initFunTab2();
  EXPECT_EQ(funTab1[5], t1);
  EXPECT_EQ(funTab2[77], t2);
}

TEST(ParamSmooth, CoefficientsConvergenceAndBadRates) {
  static_assert(offsetof(CParamSmooth, a) < offsetof(CParamSmooth, b) &&
                    offsetof(CParamSmooth, b) < offsetof(CParamSmooth, z) &&
                    sizeof(CParamSmooth) == 3 * sizeof(float),
                "other parts read a, b, z by position");
  // exp(-6.2831855 / (ms * rate / 1000)) in float (script); 1 ulp = 6e-8.
  CParamSmooth s(4.0f, 44100.0f);
  EXPECT_NEAR(s.a, 0.965007901f, 1e-7f);
  EXPECT_FLOAT_EQ(s.a + s.b, 1.0f);
  EXPECT_EQ(s.z, 0.0f);

  // A step to 1 gives z_n = 1 - a^n: 4 ms (176 samples) lands within 0.2 %.
  // Float accumulation stays within 1e-5.
  const float want[] = {0.0349920988f, 0.299660386f, 0.998105769f};
  const int at[] = {1, 10, 176};
  for (int n = 1, k = 0; n <= 176; ++n) {
    const float z = s.process(1.0f);
    if (n == at[k]) {
      EXPECT_NEAR(z, want[k++], 1e-5f) << n;
    }
  }
  // From there towards -0.5 the distance shrinks by a per step.
  float prev = s.z + 0.5f;
  for (int n = 0; n < 50; ++n) {
    const float d = s.process(-0.5f) + 0.5f;
    EXPECT_NEAR(d / prev, s.a, 2e-5f) << n;
    prev = d;
  }

  s.init(4.0f, 96000.0f);
  EXPECT_NEAR(s.a, 0.983770669f, 1e-7f);
  EXPECT_EQ(s.z, 0.0f);
  s.init(10.0f, 48000.0f);
  EXPECT_NEAR(s.a, 0.986995339f, 1e-7f);

  // Rates and times a host should never send keep the coefficients.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float bad[][2] = {{4, 0}, {4, -44100}, {4, nan}, {4, inf}, {0, 44100}, {nan, 44100}};
  for (const auto& p : bad) {
    s.process(1.0f);
    s.init(p[0], p[1]);
    EXPECT_NEAR(s.a, 0.986995339f, 1e-7f) << p[0] << " ms @ " << p[1];
    EXPECT_EQ(s.z, 0.0f);
  }
  CParamSmooth early(4.0f, 0.0f);  // falls back to 4 ms at 44100 Hz
  EXPECT_NEAR(early.a, 0.965007901f, 1e-7f);
  EXPECT_FLOAT_EQ(early.a + early.b, 1.0f);
}

TEST(RandomInt, RangeAndKnownDraws) {
  EXPECT_EQ(random(0), 0);
  EXPECT_EQ(random(-5), 0);
  for (int k = 0; k < 1000; ++k) EXPECT_EQ(random(1), 0);

  // glibc's rand() after srand(1): 1804289383, 846930886, 1681692777,
  // 1714636915, 1957747793, 424238335; trunc(r * n / 2^31) done exactly in
  // the script.
  std::srand(1);
  const int n[] = {100, 15, 12, 2, 7, 1000000};
  const int want[] = {84, 5, 9, 1, 6, 197551};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(random(n[k]), want[k]) << n[k];

  int seen[15] = {};
  for (int k = 0; k < 3000; ++k) {
    const int r = random(15);
    ASSERT_TRUE(r >= 0 && r < 15) << r;
    ++seen[r];
  }
  for (int v = 0; v < 15; ++v) EXPECT_GT(seen[v], 100) << v;  // 200 expected
}

}  // namespace
