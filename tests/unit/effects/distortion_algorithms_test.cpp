// The four distortion algorithms on their own: Cruncher, Overdrive, Valve and
// Clipper12. Expected numbers come from distortion_expected.py (beside this
// file), which works them out from the algorithms' rules, or by hand.
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

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();  // a setter ignores it
using Samples = std::vector<float>;

Samples sine(int n, double amp, double cyclesPerSample, double offset = 0.0) {
  Samples v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    v[size_t(i)] = float(amp * std::sin(6.283185307179586 * cyclesPerSample * i) + offset);
  return v;
}

// `calls` silent calls of 64 samples, then `buf` in calls of `slice` samples,
// as the distortion unit runs an algorithm (each call steps the smoothers once).
template <class Unit>
Samples run(Unit& unit, Samples buf, int slice = 64, int calls = 0) {
  Samples silence(64, 0.0f);
  for (int k = 0; k < calls; ++k) unit.process(silence.data(), 64);
  for (size_t start = 0; start < buf.size(); start += size_t(slice))
    unit.process(buf.data() + start, int(std::min<size_t>(size_t(slice), buf.size() - start)));
  return buf;
}

void expectPicks(const Samples& y, std::initializer_list<std::pair<int, double>> picks, double tol) {
  for (const auto& [i, expected] : picks) EXPECT_NEAR(y[size_t(i)], expected, tol) << "sample " << i;
}

}  // namespace

TEST(DistortionAlgorithms, GoldenRuns) {
  // Cruncher: drive 0.25 (k = 15.625), threshold 0.25 clip beyond |x| = 0.016
  // at 0.125 and halve below; drive 0.41 (k = 68.92), threshold 0.2: 0.1 beyond 0.0029.
  Cruncher c;
  expectPicks(run(c, {0.01f, 0.015f, 0.017f, -0.5f}), {{0, 0.005}, {1, 0.0075}, {2, 0.125}, {3, -0.125}},
              1e-8);
  c.setDrive(1.0f);
  c.setThreshold(0.0f);
  expectPicks(run(c, {0.0028f, 0.003f, -0.003f}), {{0, 0.0014}, {1, 0.1}, {2, -0.1}}, 1e-8);
  // Overdrive across three slices: smoothers, gain state and curve; then,
  // settled at full drive and mix, small-signal gain 20 * 10^(-1/2) and loud
  // inputs towards the constant magnitude s / w.
  Overdrive o;
  o.setDrive(0.7f);
  o.setMix(0.5f);
  expectPicks(run(o, sine(192, 0.8, 0.01)), {{5, 0.2429232448}, {64, -0.5975452662}, {191, -0.4147598147}},
              2e-6);
  o.setDrive(1.0f);
  o.setMix(1.0f);
  expectPicks(run(o, {1e-4f, 1.0f, -0.5f}, 3, 400),
              {{0, 6.312593468e-4}, {1, 0.316229105}, {2, -0.3015203774}}, 1e-7);
  // Valve, computed with the four-exponential form of the curve.
  Valve v;
  v.setDrive(0.8f);
  expectPicks(run(v, sine(192, 0.7, 0.013, -0.2)),
              {{0, -0.1004579291}, {64, -0.4159554541}, {191, -0.09002926946}}, 2e-6);
  // A fresh clipper on silence grows with r2 / R to the constant 0.00135 P
  // (P = 0.363 at setting 0.5); at drive 0.6, setting 0.3 both stages work;
  // driven hard the second element saturates near 0.801 P upwards and only
  // 0.675 P downwards (P = 0.270 at setting 0.9).
  const std::pair<float, float> settings[] = {{0.0f, 0.5f}, {0.6f, 0.3f}, {1.0f, 0.9f}};
  const Samples inputs[3] = {Samples(64 * 140, 0.0f), sine(4096, 0.9, 1.0 / 800.0),
                             sine(8192, 1.0, 1.0 / 1600.0)};
  Samples y[3];
  for (int k = 0; k < 3; ++k) {
    Clipper12 clipper;
    clipper.setSetting(settings[k].second);
    clipper.clear();
    clipper.setDrive(settings[k].first);
    y[k] = run(clipper, inputs[k], k == 0 ? 64 : 256);
  }
  expectPicks(y[0],
              {{0, 1.146227859e-07}, {10, 1.983376205e-05}, {500, 4.758074065e-4}, {8959, 4.896400075e-4}},
              1e-9);
  expectPicks(y[1], {{300, 0.07868451625}, {2047, 0.1112902462}, {4095, -0.1036463082}}, 1e-5);
  expectPicks(y[2], {{1000, 0.04551105574}, {1400, -0.08073337376}, {4500, -0.1110817492}}, 1e-5);
}

TEST(DistortionAlgorithms, ParameterMappingsRatesAndGuards) {
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
  // Overdrive at mix 0 passes the input exactly, whatever the drive.
  Overdrive o;
  o.setDrive(1.0f);
  o.setMix(0.0f);
  const Samples x = sine(64, 0.9, 0.03);
  EXPECT_EQ(run(o, x, 64, 400), x);
  o.setMix(-3.0f);
  EXPECT_EQ(o.m_mix, 0.0f);
  // Valve: output gain 1 - 0.375 log10(101) at drive 1; loud inputs stay
  // finite (the plain curve gives inf / inf).
  Valve v;
  v.setDrive(1.0f);
  for (float s : run(v, {20.0f, -20.0f, 1e6f}, 3, 400)) EXPECT_TRUE(std::isfinite(s));
  EXPECT_NEAR(v.m_outputGain, 0.24837948381900787, 1e-6);
  // Clipper pre-stage: the first sample of a 0.01 step after settling is
  // 0.01 (1 - w)^3 times the gain, 4 below drive 0.125 and 32 x drive above.
  for (auto [drive, expected] : {std::pair{0.1f, 0.009940488263964653}, {1.0f, 0.07952383905649185}}) {
    Clipper12 k;
    k.clear();
    k.setDrive(drive);
    Samples silence(64, 0.0f);
    for (int i = 0; i < 400; ++i) k.processDisto12(silence.data(), 64);
    float step = 0.01f;
    k.processDisto12(&step, 1);
    EXPECT_NEAR(step, expected, 1e-9) << drive;
  }

  // The smoothers run at four times the host rate when oversampled; bad
  // rates (below 1 Hz, or four times not an int) are ignored.
  Clipper12 k;
  const std::pair<int, float> rates[] = {{44100, 0.991134762763977f},
                                         {48000, 0.9918521642684937f},
                                         {0, 0.9918521642684937f},
                                         {std::numeric_limits<int>::max(), 0.9918521642684937f}};
  for (auto [rate, a4] : rates) {
    v.setSamplerate(rate);
    k.setSamplerate(rate);
    EXPECT_FLOAT_EQ(v.m_driveSmoother.a, a4) << rate;
    EXPECT_FLOAT_EQ(k.m_driveSmoother.a, a4) << rate;
    EXPECT_FLOAT_EQ(k.m_settingSmoother.a, a4) << rate;
  }
  v.m_oversample = false;
  v.setSamplerate(44100);
  EXPECT_FLOAT_EQ(v.m_driveSmoother.a, 0.9650079011917114f);
}
