// The four distortion algorithms on their own: Cruncher, Overdrive, Valve and
// Clipper12. Expected numbers come from distortion_expected.py (beside this
// file), which works them out from the algorithms' rules, or by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "effects/Clipper12.h"
#include "effects/Cruncher.h"
#include "effects/Overdrive.h"
#include "effects/Valve.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
using Samples = std::vector<float>;

Samples sine(int n, double amp, double cyclesPerSample, double offset = 0.0) {
  Samples v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    v[size_t(i)] = float(amp * std::sin(6.283185307179586 * cyclesPerSample * i) + offset);
  return v;
}

// Runs `unit.process` over `buf` in calls of `slice` samples, as the
// distortion unit does (each call advances the smoothers by one step).
template <class Unit>
Samples run(Unit& unit, Samples buf, int slice = 64) {
  for (size_t start = 0; start < buf.size(); start += size_t(slice))
    unit.process(buf.data() + start, int(std::min<size_t>(size_t(slice), buf.size() - start)));
  return buf;
}

template <class Unit>
Samples settled(Unit& unit, const Samples& x, int calls = 400) {
  run(unit, Samples(64 * size_t(calls), 0.0f));
  return run(unit, x, int(x.size()));
}

}  // namespace

TEST(DistortionAlgorithms, GoldenRuns) {
  struct Golden {
    const char* name;
    std::function<Samples()> render;
    std::vector<std::pair<int, double>> picks;
    double tol;
  };
  const Golden runs[] = {
      // drive 0.25 (k = 15.625), threshold 0.25: clips beyond |x| = 0.016 at
      // 0.125, halves below; drive 1 (0.41, k = 68.92), threshold 0: 0.1 beyond 0.0029.
      {"cruncher",
       [] {
         Cruncher c;
         return run(c, {0.01f, 0.015f, 0.017f, -0.5f, -0.017f});
       },
       {{0, 0.005}, {1, 0.0075}, {2, 0.125}, {3, -0.125}, {4, -0.125}},
       1e-8},
      {"cruncher hot",
       [] {
         Cruncher c;
         c.setDrive(1.0f);
         c.setThreshold(0.0f);
         return run(c, {0.0028f, 0.003f, -0.003f});
       },
       {{0, 0.0014}, {1, 0.1}, {2, -0.1}},
       1e-8},
      // Across three slices: smoothers, gain state and curve.
      {"overdrive",
       [] {
         Overdrive o;
         o.setDrive(0.7f);
         o.setMix(0.5f);
         return run(o, sine(192, 0.8, 0.01));
       },
       {{5, 0.24292324483394623},
        {20, 0.7479071617126465},
        {63, -0.5738257765769958},
        {64, -0.5975452661514282},
        {191, -0.4147598147392273}},
       2e-6},
      // Settled at full drive and mix: small-signal gain 20 * 10^(-1/2),
      // loud inputs tend to the constant magnitude s / w.
      {"overdrive settled",
       [] {
         Overdrive o;
         o.setDrive(1.0f);
         o.setMix(1.0f);
         return settled(o, {1e-4f, 1.0f, -0.5f});
       },
       {{0, 0.0006312593468464911}, {1, 0.31622910499572754}, {2, -0.30152037739753723}},
       1e-7},
      // Computed with the four-exponential form of the curve.
      {"valve",
       [] {
         Valve v;
         v.setDrive(0.8f);
         return run(v, sine(192, 0.7, 0.013, -0.2));
       },
       {{0, -0.10045792907476425},
        {7, 0.08486083894968033},
        {63, -0.47838500142097473},
        {64, -0.41595545411109924},
        {191, -0.0900292694568634}},
       2e-6},
      // A fresh clipper on silence grows with r2 / R to the constant 0.00135 P
      // (P = 0.363 at setting 0.5).
      {"clipper silence",
       [] {
         Clipper12 c;
         c.m_setting = 0.5f;
         c.clear();
         return run(c, Samples(64 * 140, 0.0f));
       },
       {{0, 1.146227859294413e-07},
        {10, 1.9833762053167447e-05},
        {500, 0.00047580740647390485},
        {8959, 0.0004896400075216283}},
       1e-9},
      {"clipper",
       [] {
         Clipper12 c;
         c.clear();
         c.setDrive(0.6f);
         c.setSetting(0.3f);
         return run(c, sine(4096, 0.9, 1.0 / 800.0), 256);
       },
       {{300, 0.07868451625108719},
        {1000, -0.08731149137020111},
        {2047, 0.11129024624824524},
        {4095, -0.10364630818367004}},
       1e-5},
      // Driven hard the second element saturates near 0.801 P upwards and
      // only 0.675 P downwards (P = 0.270 at setting 0.9).
      {"clipper hot",
       [] {
         Clipper12 c;
         c.clear();
         c.setDrive(1.0f);
         c.setSetting(0.9f);
         return run(c, sine(8192, 1.0, 1.0 / 1600.0), 256);
       },
       {{1000, 0.04551105573773384},
        {1400, -0.08073337376117706},
        {4500, -0.11108174920082092},
        {8191, -0.05183731019496918}},
       1e-5},
  };
  for (const Golden& g : runs) {
    const Samples y = g.render();
    for (const auto& [i, expected] : g.picks)
      EXPECT_NEAR(y[size_t(i)], expected, g.tol) << g.name << " " << i;
  }
}

TEST(DistortionAlgorithms, ParameterMappingsAndGuards) {
  // Cruncher: drive 0.3 v + 0.11, threshold 0.4 v + 0.2, in double, then
  // stored as float; out of range is clamped, NaN ignored.
  Cruncher c;
  const float cruncher[][3] = {
      {1.0f, 0.41f, 0.6f}, {0.0f, 0.11f, 0.2f}, {kNaN, 0.11f, 0.2f}, {7.0f, 0.41f, 0.6f}};
  for (const auto& m : cruncher) {
    c.setDrive(m[0]);
    c.setThreshold(m[0]);
    EXPECT_EQ(c.getDrive(), m[1]) << m[0];
    EXPECT_EQ(c.getThreshold(), m[2]) << m[0];
  }
  Overdrive o;
  o.setDrive(1.0f);
  o.setMix(0.0f);  // mix 0 passes the input exactly once the smoother has decayed
  const Samples x = sine(64, 0.9, 0.03);
  EXPECT_EQ(settled(o, x, 4000), x);
  o.setDrive(kNaN);
  o.setMix(-3.0f);
  EXPECT_EQ(o.m_drive, 1.0f);
  EXPECT_EQ(o.m_mix, 0.0f);

  // Valve: zero in gives zero out; output gain 1 - 0.375 log10(101) at
  // drive 1; loud inputs stay finite (the plain curve gives inf / inf).
  Valve v;
  v.setDrive(1.0f);
  EXPECT_EQ(settled(v, Samples(64, 0.0f)), Samples(64, 0.0f));
  EXPECT_NEAR(v.m_outputGain, 0.24837948381900787, 1e-6);
  for (float s : run(v, {20.0f, -20.0f, 1e6f})) EXPECT_TRUE(std::isfinite(s));

  // Clipper pre-stage: the first sample of a 0.01 step after settling is
  // 0.01 (1 - w)^3 times the gain, 4 below drive 0.125 and 32 x drive above.
  for (auto [drive, expected] :
       {std::pair{0.1f, 0.009940488263964653}, {0.5f, 0.039761919528245926}, {1.0f, 0.07952383905649185}}) {
    Clipper12 k;
    k.clear();
    k.setDrive(drive);
    float step = 0.01f;
    for (int i = 0; i < 400; ++i) k.processDisto12(Samples(64, 0.0f).data(), 64);
    k.processDisto12(&step, 1);
    EXPECT_NEAR(step, expected, 1e-9) << drive;
  }
  // ... and never beyond 0.8 * 0.25, however loud, a bound it does reach.
  Clipper12 k;
  k.clear();
  k.setDrive(1.0f);
  Samples loud = sine(4096, 3.0, 0.01);
  for (size_t i = 0; i < loud.size(); i += 3) loud[i] = i % 2 ? -50.0f : 50.0f;
  for (size_t start = 0; start < loud.size(); start += 64) k.processDisto12(loud.data() + start, 64);
  EXPECT_EQ(*std::max_element(loud.begin(), loud.end(),
                              [](float a, float b) { return std::fabs(a) < std::fabs(b); }),
            0.2f);
  // The circuit's level follows "Dist prm2"; NaN parameters are ignored.
  k.setSetting(1.0f);
  run(k, Samples(64 * 100, 0.0f));
  EXPECT_NEAR(k.m_level, 0.25, 1e-7);
  k.setDrive(kNaN);
  k.setSetting(kNaN);
  EXPECT_EQ(k.m_drive, 1.0f);
  EXPECT_EQ(k.m_setting, 1.0f);
}

TEST(DistortionAlgorithms, ClipperTablesAndSmootherRates) {
  // Table ends as measured from the circuit, and the look-up rules: linear
  // between entries, held beyond, extrapolated just below the minimum.
  const float* a = Clipper12::tableA();
  EXPECT_EQ(a[99], -0.5521558f);
  EXPECT_EQ(Clipper12::tableBPositive()[99], 0.8013412f);
  EXPECT_EQ(Clipper12::tableBNegative()[99], 0.6746817f);
  const double lookups[][2] = {
      {0.5 / 101.97, -0.014854725}, {5.0, -0.5521558}, {-1.0, 0.0}, {std::nan(""), 0.0}};
  for (const auto& l : lookups) EXPECT_NEAR(Clipper12::lookup(a, 0.0f, 101.97f, l[0]), l[1], 1e-7) << l[0];
  EXPECT_NEAR(Clipper12::lookup(Clipper12::tableBPositive(), 0.006f, 101.97f, 0.0), -0.001348580592632485,
              1e-9);

  // Smoothers at four times the host rate when oversampled; bad rates
  // (below 1 Hz, or four times not an int) are ignored.
  Valve v;
  Clipper12 c;
  const std::pair<int, float> rates[] = {{44100, 0.991134762763977f},
                                         {48000, 0.9918521642684937f},
                                         {0, 0.9918521642684937f},
                                         {-5, 0.9918521642684937f},
                                         {std::numeric_limits<int>::max(), 0.9918521642684937f}};
  for (auto [rate, a4] : rates) {
    v.setSamplerate(rate);
    c.setSamplerate(rate);
    EXPECT_FLOAT_EQ(v.m_driveSmoother.a, a4) << rate;
    EXPECT_FLOAT_EQ(c.m_driveSmoother.a, a4) << rate;
    EXPECT_FLOAT_EQ(c.m_settingSmoother.a, a4) << rate;
  }
  EXPECT_EQ(c.m_rate, 48000);
  v.m_oversample = false;
  v.setSamplerate(44100);
  EXPECT_FLOAT_EQ(v.m_driveSmoother.a, 0.9650079011917114f);
}
