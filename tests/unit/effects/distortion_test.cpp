// The distortion: the four algorithms on their own (Cruncher, Overdrive,
// Valve, Clipper12) and the unit around them: selection and the editor
// message, parameter routing, slicing, the channel copy, rates, and how much
// the 4x oversampler cuts aliasing. Expected numbers come from
// distortion_expected.py (beside this file), which works them out from the
// algorithms' rules, or by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "effects/DistortionUnit.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();  // a setter ignores it
constexpr double kTwoPi = 6.283185307179586;
using Samples = std::vector<float>;

// "Dist Sel" values well inside each algorithm's quarter.
constexpr float kSelect[DistortionUnit::kNumAlgorithms] = {0.1f, 0.35f, 0.6f, 0.85f};

// n samples of a sine at `cycles` per sample.
Samples sine(int n, double amp, double cycles, double offset = 0.0) {
  Samples v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[size_t(i)] = float(amp * std::sin(kTwoPi * cycles * i) + offset);
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

// Runs the unit over `left` in host blocks of the given sizes (cycled),
// with a right channel full of junk that must come back equal to the left.
Samples render(DistortionUnit& u, Samples left, std::vector<int> blocks) {
  Samples right(left.size(), 123.0f);
  for (size_t b = 0, pos = 0; pos < left.size(); ++b) {
    const int n = std::min<int>(blocks[b % blocks.size()], int(left.size() - pos));
    float* ch[2] = {left.data() + pos, right.data() + pos};
    u.processDisto(ch, n);
    pos += size_t(n);
  }
  EXPECT_EQ(right, left);
  return left;
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

TEST(DistortionAlgorithms, GuardsAndLimits) {
  // Valve: output gain 1 - 0.375 log10(101) at drive 1; loud inputs stay
  // finite (the plain curve gives inf / inf).
  Valve v;
  v.setDrive(1.0f);
  for (float s : run(v, {20.0f, -20.0f, 1e6f}, 3, 400)) EXPECT_TRUE(std::isfinite(s));
  EXPECT_NEAR(v.m_outputGain, 0.24837948381900787, 1e-6);
}

TEST(DistortionUnit, SelectionEditorMessageAndRouting) {
  DistortionUnit u;
  std::vector<int> sent;
  u.setDisto(0.5f);  // no notifier yet: nothing to send, nothing breaks
  u.m_distoAlgorithmChanged = false;
  u.setAlgorithmNotifier([](void* to, int a) { static_cast<std::vector<int>*>(to)->push_back(a); }, &sent);
  // {value, algorithm, message sent}: a change flags, keeps the previous
  // algorithm and tells the editor; the same value while the change waits
  // for its crossfade tells it again; out of range is clamped, NaN ignored.
  const struct {
    float value;
    int algorithm;
    bool sent;
  } steps[] = {{0.6f, 2, false}, {0.3f, 1, true}, {0.3f, 1, true},  {0.0f, 0, true}, {0.24f, 0, true},
               {0.75f, 3, true}, {1.0f, 3, true}, {-0.5f, 0, true}, {9.0f, 3, true}, {kNaN, 3, false}};
  for (const auto& s : steps) {
    const size_t before = sent.size();
    u.setDisto(s.value);
    EXPECT_EQ(u.m_distoAlgorithm, s.algorithm) << s.value;
    EXPECT_EQ(sent.size(), before + (s.sent ? 1 : 0)) << s.value;
    if (s.sent) {
      EXPECT_EQ(sent.back(), s.algorithm) << s.value;
    }
  }
  EXPECT_EQ(u.m_previousDistoAlgorithm, 0);  // the algorithm before the last change
  u.m_distoAlgorithmChanged = false;         // as the block driver's crossfade does
  u.setDisto(0.9f);
  EXPECT_EQ(sent.size(), 8u);

  // "Dist prm1" reaches all four drives, "Dist prm2" all but the valve; NaN
  // leaves every parameter as it was.
  for (float v : {0.8f, kNaN}) u.setDistoParam1(v);
  for (float v : {0.9f, kNaN}) u.setDistoParam2(v);
  EXPECT_TRUE(u.m_overdrive.m_drive == 0.8f && u.m_clipper.m_drive == 0.8f && u.m_valve.m_drive == 0.8f);
  EXPECT_EQ(u.m_cruncher.getDrive(), 0.35f);  // 0.3 x 0.8 + 0.11
  EXPECT_TRUE(u.m_overdrive.m_mix == 0.9f && u.m_clipper.m_setting == 0.9f);
  EXPECT_EQ(u.m_cruncher.getThreshold(), 0.56f);  // 0.4 x 0.9 + 0.2
  u.setDistoParam1(7.0f);                         // limited to 1: 0.3 + 0.11
  EXPECT_EQ(u.m_cruncher.getDrive(), 0.41f);
}

TEST(DistortionUnit, SlicingChannelsRatesAndClearing) {
  // 150 frames are slices of 64, 64 and 22: one call per slice is the same
  // (and the right channel a copy of the left, see render()).
  const Samples x = sine(150, 0.8, 700.0 / 44100);
  for (int a = 0; a < DistortionUnit::kNumAlgorithms; ++a) {
    DistortionUnit whole, parts;
    for (DistortionUnit* u : {&whole, &parts}) {
      u->setDisto(kSelect[a]);
      u->setDistoParam1(0.9f);
    }
    const Samples y = render(whole, x, {150});
    EXPECT_EQ(y, render(parts, x, {64, 64, 22})) << a;
    EXPECT_NE(y, x) << a;
  }
  // The host rate is truncated and the smoothers run at four times it; bad
  // rates are ignored.
  DistortionUnit u;
  for (float rate : {48000.9f, 0.0f, -44100.0f, kNaN, std::numeric_limits<float>::infinity(), 0.5f, 3e9f})
    u.setSampleRate(rate);
  EXPECT_EQ(u.m_clipper.m_rate, 48000);
  EXPECT_FLOAT_EQ(u.m_valve.m_driveSmoother.a, 0.9918521642684937f);
  // The cruncher is stateless and maps 0 to 0, so silence after a loud
  // passage shows only the oversampler's memories: a tail without
  // clearing, exact zeros after clearOversampler().
  u.setDisto(kSelect[3]);
  const Samples silence(64, 0.0f), loud = sine(512, 1.0, 5000.0 / 44100);
  render(u, loud, {64});
  EXPECT_NE(render(u, silence, {64}), silence);
  render(u, loud, {64});
  u.clearOversampler();
  EXPECT_EQ(render(u, silence, {64}), silence);
}

// Full-scale 1 kHz and 5 kHz sines through algorithms 1..3 at 44.1 kHz at
// full drive, once through the 4x path and once run directly at the host
// rate. After a second of warm-up, 4410 samples hold whole periods of every
// harmonic and alias: all lie on multiples of 100 Hz, exact DFT bins of the
// 10 Hz grid, so no window is needed. The harmonics' energy is taken at
// their bins; what is left of the total (Parseval) is aliasing, in dB of it.
double aliasedDb(int algorithm, double hz, bool oversampled) {
  DistortionUnit u;
  u.setSampleRate(44100.0f);
  u.setDisto(kSelect[algorithm]);
  u.setDistoParam1(1.0f);
  u.setDistoParam2(0.5f);
  u.m_clipper.m_oversample = u.m_valve.m_oversample = u.m_cruncher.m_oversample = oversampled;
  const Samples all = render(u, sine(44100 + 4410, 1.0, hz / 44100), {512});
  const Samples y(all.end() - 4410, all.end());
  double total = 0.0, harmonic = 0.0;
  for (float s : y) total += double(s) * s;
  for (int k = 0; k * hz < 22050.0; ++k) {
    double re = 0.0, im = 0.0;
    for (size_t i = 0; i < y.size(); ++i) {
      re += y[i] * std::cos(kTwoPi * k * hz / 44100.0 * double(i));
      im -= y[i] * std::sin(kTwoPi * k * hz / 44100.0 * double(i));
    }
    harmonic += (k == 0 ? 1.0 : 2.0) * (re * re + im * im) / double(y.size());
  }
  return 10.0 * std::log10(std::max(total - harmonic, 1e-300) / total);
}

TEST(DistortionUnit, OversamplingCutsAliasing) {
  // Near-square output has harmonics falling as 1/k, so the energy above F
  // goes as 1/F: folding at 154 kHz (176.4 - 22.05) instead of 22 kHz buys
  // 10 log10(154 / 22) = 8.5 dB at the least. Measured (direct / 4x, dB):
  //   ClipInferno  1 kHz -18.5 / -34.9   5 kHz -10.2 / -23.4
  //   HotFuzz      1 kHz -20.5 / -54.4   5 kHz -10.8 / -25.5
  //   Ultracrunch  1 kHz -17.9 / -36.3   5 kHz -10.1 / -23.0
  // The required cuts are the measured ones less 3 dB, rounded down; a
  // bypassed or mis-wired oversampler cuts nothing.
  const double margins[4][2] = {{0, 0}, {13.0, 10.0}, {30.0, 11.0}, {15.0, 9.0}};
  for (int a = 1; a < 4; ++a) {
    for (int f = 0; f < 2; ++f) {
      const double hz = f ? 5000.0 : 1000.0, direct = aliasedDb(a, hz, false), over = aliasedDb(a, hz, true);
      std::printf("[ aliasing ] algorithm %d %4.0f Hz: direct %7.1f dB, 4x %7.1f dB\n", a, hz, direct, over);
      EXPECT_LT(over, direct - margins[a][f]) << a << " " << hz;
    }
  }
}
