// Tests of the four distortion algorithms on their own: Cruncher, Overdrive,
// Valve and Clipper12. Expected numbers come from distortion_expected.py
// (beside this file), which works them out from the algorithms' rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "effects/Clipper12.h"
#include "effects/Cruncher.h"
#include "effects/Overdrive.h"
#include "effects/Valve.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr double kTwoPi = 6.283185307179586;
using Samples = std::vector<float>;

Samples sine(int n, double amp, double cyclesPerSample, double offset = 0.0) {
  Samples v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    v[static_cast<size_t>(i)] = static_cast<float>(amp * std::sin(kTwoPi * cyclesPerSample * i) + offset);
  return v;
}

// Runs `unit.process` over `buf` in calls of `slice` samples, as the
// distortion unit does (each call advances the smoothers by one step).
template <class Unit>
Samples run(Unit& unit, Samples buf, int slice) {
  for (size_t start = 0; start < buf.size(); start += static_cast<size_t>(slice))
    unit.process(buf.data() + start, static_cast<int>(std::min<size_t>(slice, buf.size() - start)));
  return buf;
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(Cruncher, ClipsWithoutAmplifyingThePassBand) {
  Cruncher c;  // drive 0.25 (k = 15.625), threshold 0.25: clips beyond |x| = 0.016
  EXPECT_FLOAT_EQ(c.getDrive(), 0.25f);
  EXPECT_FLOAT_EQ(c.getThreshold(), 0.25f);
  Samples x = {0.01f, 0.015f, 0.017f, -0.5f, -0.015f, -0.017f, 0.0f};
  c.process(x.data(), static_cast<int>(x.size()));
  EXPECT_FLOAT_EQ(x[0], 0.005f);
  EXPECT_FLOAT_EQ(x[1], 0.0075f);
  EXPECT_FLOAT_EQ(x[2], 0.125f);
  EXPECT_FLOAT_EQ(x[3], -0.125f);
  EXPECT_FLOAT_EQ(x[4], -0.0075f);
  EXPECT_FLOAT_EQ(x[5], -0.125f);
  EXPECT_EQ(x[6], 0.0f);

  // Mappings, in double then stored as float; out-of-range and NaN inputs.
  c.setDrive(1.0f);
  c.setThreshold(1.0f);
  EXPECT_EQ(c.getDrive(), 0.41f);
  EXPECT_EQ(c.getThreshold(), 0.6f);
  c.setDrive(0.0f);
  c.setThreshold(0.0f);
  EXPECT_EQ(c.getDrive(), 0.11f);
  EXPECT_EQ(c.getThreshold(), 0.2f);
  c.setDrive(kNaN);
  c.setThreshold(kNaN);
  EXPECT_EQ(c.getDrive(), 0.11f);
  EXPECT_EQ(c.getThreshold(), 0.2f);
  c.setDrive(7.0f);
  EXPECT_EQ(c.getDrive(), 0.41f);

  // drive 0.41 (k = 68.92), threshold 0.2: the clip point is 0.0029.
  c.setDrive(1.0f);
  Samples y = {0.0028f, 0.0030f, -0.0030f};
  c.process(y.data(), 0);  // no samples: untouched
  EXPECT_EQ(y[0], 0.0028f);
  c.process(y.data(), 3);
  EXPECT_FLOAT_EQ(y[0], 0.0014f);
  EXPECT_FLOAT_EQ(y[1], 0.1f);
  EXPECT_FLOAT_EQ(y[2], -0.1f);
}

TEST(Overdrive, MixFadeInAndSaturation) {
  // A fresh overdrive's wet gain state starts at 0: its first call is
  // nearly the dry share (1 - w) x, w being one smoother step of 0.5.
  Overdrive fresh;
  fresh.m_mix = 0.5f;
  Samples y = run(fresh, Samples(64, 0.5f), 64);
  EXPECT_NEAR(y[0], 0.4912603199481964, 1e-6);
  EXPECT_NEAR(y[1], 0.4912686347961426, 1e-6);
  EXPECT_NEAR(y[63], 0.49176865816116333, 1e-6);

  // Golden run across three slices: smoothers, gain state and curve.
  Overdrive od;
  od.setDrive(0.7f);
  od.setMix(0.5f);
  y = run(od, sine(192, 0.8, 0.01), 64);
  const std::pair<int, double> golden[] = {{5, 0.24292324483394623},  {20, 0.7479071617126465},
                                           {63, -0.5738257765769958}, {64, -0.5975452661514282},
                                           {110, 0.4569993019104004}, {191, -0.4147598147392273}};
  for (const auto& [i, expected] : golden) EXPECT_NEAR(y[static_cast<size_t>(i)], expected, 2e-6) << i;

  // Settled at full drive and mix: small-signal gain 20 * 10^(-1/2), loud
  // inputs tend to the constant magnitude s / w.
  Overdrive hot;
  hot.setDrive(1.0f);
  hot.setMix(1.0f);
  run(hot, Samples(64 * 400, 0.0f), 64);
  y = run(hot, Samples{1e-4f, 1.0f, -0.5f}, 3);
  EXPECT_NEAR(y[0], 0.0006312593468464911, 1e-10);
  EXPECT_NEAR(y[1], 0.31622910499572754, 1e-7);
  EXPECT_NEAR(y[2], -0.30152037739753723, 1e-7);

  // Mix 0 passes the input exactly once the mix smoother has decayed,
  // whatever the drive.
  hot.setMix(0.0f);
  run(hot, Samples(64 * 4000, 0.0f), 64);
  const Samples x = sine(64, 0.9, 0.03);
  EXPECT_EQ(run(hot, x, 64), x);

  // NaN and out-of-range values never reach the smoothers.
  hot.setDrive(kNaN);
  hot.setMix(-3.0f);
  EXPECT_EQ(hot.m_drive, 1.0f);
  EXPECT_EQ(hot.m_mix, 0.0f);
}

TEST(Valve, CurveGainAndRate) {
  // Zero in gives zero out at any drive, before and after settling.
  for (float drive : {0.0f, 0.3f, 1.0f}) {
    Valve v;
    v.setDrive(drive);
    const Samples zeros(256, 0.0f);
    EXPECT_EQ(run(v, zeros, 64), zeros) << drive;
    EXPECT_EQ(run(v, Samples(64 * 200, 0.0f), 64), Samples(64 * 200, 0.0f)) << drive;
  }

  // Golden run, computed with the four-exponential form of the curve.
  Valve v;
  v.setDrive(0.8f);
  Samples y = run(v, sine(192, 0.7, 0.013, -0.2), 64);
  const std::pair<int, double> golden[] = {{0, -0.10045792907476425},  {7, 0.08486083894968033},
                                           {63, -0.47838500142097473}, {64, -0.41595545411109924},
                                           {120, -0.293628066778183},  {191, -0.0900292694568634}};
  for (const auto& [i, expected] : golden) EXPECT_NEAR(y[static_cast<size_t>(i)], expected, 2e-6) << i;

  // Output gain: 1 at drive 0, 1 - 0.375 log10(101) at drive 1.
  Valve full;
  EXPECT_FLOAT_EQ(full.m_outputGain, 1.0f);
  full.setDrive(1.0f);
  run(full, Samples(64 * 400, 0.0f), 64);
  EXPECT_NEAR(full.m_outputGain, 0.24837948381900787, 1e-6);
  // Loud inputs stay finite (the plain curve would give inf / inf here).
  y = run(full, Samples{20.0f, -20.0f, 1e6f}, 3);
  for (float s : y) EXPECT_TRUE(std::isfinite(s));

  // The drive smoother runs at four times the host rate when oversampled.
  Valve r;
  EXPECT_FLOAT_EQ(r.m_driveSmoother.a, 0.9650079011917114f);
  r.setSamplerate(44100);
  EXPECT_FLOAT_EQ(r.m_driveSmoother.a, 0.991134762763977f);
  r.setSamplerate(48000);
  EXPECT_FLOAT_EQ(r.m_driveSmoother.a, 0.9918521642684937f);
  r.setSamplerate(0);
  r.setSamplerate(-44100);
  EXPECT_FLOAT_EQ(r.m_driveSmoother.a, 0.9918521642684937f);
  r.m_oversample = false;
  r.setSamplerate(44100);
  EXPECT_FLOAT_EQ(r.m_driveSmoother.a, 0.9650079011917114f);
}

TEST(Clipper12, PreStage) {
  // Settle the drive smoother over 400 calls on silence (which leaves the
  // high-pass state at zero), then the first sample of a 0.01 step is 0.01 (1 - w)^3 times
  // the gain: 4 for any drive below 0.125, 32 x drive above.
  const std::pair<float, double> cases[] = {{0.0f, 0.009940488263964653},
                                            {0.1f, 0.009940488263964653},
                                            {0.5f, 0.039761919528245926},
                                            {1.0f, 0.07952383905649185}};
  for (const auto& [drive, expected] : cases) {
    Clipper12 c;
    c.clear();
    c.setDrive(drive);
    Samples silence(64, 0.0f);
    for (int k = 0; k < 400; ++k) c.processDisto12(silence.data(), 64);
    float step = 0.01f;
    c.processDisto12(&step, 1);
    EXPECT_NEAR(step, expected, 1e-9) << drive;
  }

  // Never beyond 0.8 * 0.25, however loud, and it does reach that bound.
  Clipper12 c;
  c.clear();
  c.setDrive(1.0f);
  Samples loud = sine(4096, 3.0, 0.01);
  for (size_t i = 0; i < loud.size(); i += 3) loud[i] = (i % 2 == 0) ? 50.0f : -50.0f;
  run(c, Samples(64 * 100, 0.0f), 64);
  for (size_t start = 0; start < loud.size(); start += 64) c.processDisto12(loud.data() + start, 64);
  float peak = 0.0f;
  for (float s : loud) peak = std::max(peak, std::fabs(s));
  EXPECT_EQ(peak, 0.8f * 0.25f);
}

TEST(Clipper12, CircuitFadeInSilenceAndGolden) {
  // A fresh clipper on silence: the output grows with r2 / R from almost
  // nothing to the constant 0.00135 P (P = 0.363 at setting 0.5).
  Clipper12 c;
  c.m_setting = 0.5f;
  c.clear();
  Samples y = run(c, Samples(64 * 40, 0.0f), 64);
  EXPECT_NEAR(y[0], 1.146227859294413e-07, 1e-12);
  EXPECT_NEAR(y[1], 6.745098630744906e-07, 1e-11);
  EXPECT_NEAR(y[10], 1.9833762053167447e-05, 1e-10);
  EXPECT_NEAR(y[100], 0.0002618607832118869, 1e-9);
  EXPECT_NEAR(y[500], 0.00047580740647390485, 1e-9);
  EXPECT_NEAR(y[2559], 0.0004896399914287031, 1e-9);
  y = run(c, Samples(64 * 100, 0.0f), 64);
  for (size_t i = y.size() - 64; i < y.size(); ++i) ASSERT_NEAR(y[i], 0.0004896400075216283, 1e-9);

  // The constant follows the level set by "Dist prm2" at once.
  for (const auto& [setting, expected] :
       {std::pair<float, double>{0.0f, 0.0007077451246786064}, {1.0f, 0.00033874812924306866}}) {
    c.setSetting(setting);
    y = run(c, Samples(64 * 100, 0.0f), 64);
    EXPECT_NEAR(y.back(), expected, 1e-9) << setting;
    EXPECT_NEAR(c.m_level, 0.45 - 0.2 * setting, 1e-7);
  }

  // Golden run of both stages: tables, coefficients, ramps and smoothers.
  Clipper12 g;
  g.clear();
  g.setDrive(0.6f);
  g.setSetting(0.3f);
  y = run(g, sine(4096, 0.9, 1.0 / 800.0), 256);
  const std::pair<int, double> golden[] = {{300, 0.07868451625108719},
                                           {1000, -0.08731149137020111},
                                           {2047, 0.11129024624824524},
                                           {3000, 0.08845190703868866},
                                           {4095, -0.10364630818367004}};
  for (const auto& [i, expected] : golden) EXPECT_NEAR(y[static_cast<size_t>(i)], expected, 1e-5) << i;

  // Driven hard, the second element saturates: near 0.801 P upwards and
  // only 0.675 P downwards (P = 0.270 at setting 0.9).
  Clipper12 hot;
  hot.clear();
  hot.setDrive(1.0f);
  hot.setSetting(0.9f);
  y = run(hot, sine(8192, 1.0, 1.0 / 1600.0), 256);
  const std::pair<int, double> loud[] = {{500, 0.07460752874612808},   {1000, 0.04551105573773384},
                                         {1400, -0.08073337376117706}, {4500, -0.11108174920082092},
                                         {6000, 0.035998739302158356}, {8191, -0.05183731019496918}};
  for (const auto& [i, expected] : loud) EXPECT_NEAR(y[static_cast<size_t>(i)], expected, 1e-5) << i;
  EXPECT_NEAR(*std::max_element(y.begin() + 4096, y.end()), 0.2158229500055313, 1e-5);
  EXPECT_NEAR(*std::min_element(y.begin() + 4096, y.end()), -0.18219363689422607, 1e-5);
}

TEST(Clipper12, TablesRatesAndGuards) {
  // Table ends as measured from the circuit, and the look-up rules: linear
  // between entries, held beyond, extrapolated just below the minimum.
  EXPECT_EQ(Clipper12::tableA()[0], 0.0f);
  EXPECT_EQ(Clipper12::tableA()[99], -0.5521558f);
  EXPECT_EQ(Clipper12::tableBPositive()[99], 0.8013412f);
  EXPECT_EQ(Clipper12::tableBNegative()[99], 0.6746817f);
  EXPECT_EQ(Clipper12::tableBNegative()[22], 0.2713567f);  // where the two halves part
  const float* a = Clipper12::tableA();
  EXPECT_NEAR(Clipper12::lookup(a, 0.0f, 101.97f, 0.5 / 101.97), -0.014854725, 1e-7);
  EXPECT_EQ(Clipper12::lookup(a, 0.0f, 101.97f, 5.0), -0.5521558f);
  EXPECT_EQ(Clipper12::lookup(a, 0.0f, 101.97f, -1.0), 0.0f);
  EXPECT_EQ(Clipper12::lookup(a, 0.0f, 101.97f, std::nan("")), 0.0f);
  EXPECT_NEAR(Clipper12::lookup(Clipper12::tableBPositive(), 0.006f, 101.97f, 0.0), -0.001348580592632485,
              1e-9);

  // Rates: both smoothers at four times the host rate; bad rates ignored.
  Clipper12 c;
  EXPECT_EQ(c.m_rate, 44100);
  c.setSamplerate(48000);
  EXPECT_EQ(c.m_rate, 48000);
  EXPECT_FLOAT_EQ(c.m_settingSmoother.a, 0.9918521642684937f);
  EXPECT_FLOAT_EQ(c.m_driveSmoother.a, 0.9918521642684937f);
  c.setSamplerate(0);
  c.setSamplerate(-5);
  c.setSamplerate(std::numeric_limits<int>::max());
  EXPECT_EQ(c.m_rate, 48000);

  // NaN parameters are ignored; the output stays finite.
  c.setDrive(0.4f);
  c.setDrive(kNaN);
  c.setSetting(kNaN);
  EXPECT_EQ(c.m_drive, 0.4f);
  EXPECT_EQ(c.m_setting, 0.0f);
  for (float s : run(c, sine(1024, 2.0, 0.02), 64)) ASSERT_TRUE(std::isfinite(s));
}
