// The distortion unit: algorithm selection and the editor message, parameter
// routing, slicing, the channel copy, rates, and how much the 4x oversampler
// cuts aliasing. Expected numbers are worked out by hand (the mappings) or
// come from distortion_expected.py beside this file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "effects/DistortionUnit.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr double kTwoPi = 6.283185307179586;
using Samples = std::vector<float>;

// "Dist Sel" values well inside each algorithm's quarter.
constexpr float kSelect[DistortionUnit::kNumAlgorithms] = {0.1f, 0.35f, 0.6f, 0.85f};

Samples sine(size_t n, double amp, double hz) {
  Samples v(n);
  for (size_t i = 0; i < n; ++i) v[i] = float(amp * std::sin(kTwoPi * hz * double(i) / 44100.0));
  return v;
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

struct Messages {
  std::vector<int> sent;
  static void record(void* self, int algorithm) { static_cast<Messages*>(self)->sent.push_back(algorithm); }
};

}  // namespace

TEST(DistortionUnit, SelectionEditorMessageAndRouting) {
  DistortionUnit u;
  Messages m;
  u.setDisto(0.5f);  // no notifier yet: nothing to send, nothing breaks
  u.m_distoAlgorithmChanged = false;
  u.setAlgorithmNotifier(&Messages::record, &m);
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
    const size_t before = m.sent.size();
    u.setDisto(s.value);
    EXPECT_EQ(u.m_distoAlgorithm, s.algorithm) << s.value;
    EXPECT_EQ(m.sent.size(), before + (s.sent ? 1 : 0)) << s.value;
    if (s.sent) {
      EXPECT_EQ(m.sent.back(), s.algorithm) << s.value;
    }
  }
  EXPECT_EQ(u.m_previousDistoAlgorithm, 0);  // the algorithm before the last change
  u.m_distoAlgorithmChanged = false;         // as the block driver's crossfade does
  u.setDisto(0.9f);
  EXPECT_EQ(m.sent.size(), 8u);

  // "Dist prm1" reaches all four drives, "Dist prm2" all but the valve; NaN
  // leaves every parameter as it was.
  for (float v : {0.8f, kNaN}) u.setDistoParam1(v);
  for (float v : {0.9f, kNaN}) u.setDistoParam2(v);
  EXPECT_EQ(u.m_overdrive.m_drive, 0.8f);
  EXPECT_EQ(u.m_clipper.m_drive, 0.8f);
  EXPECT_EQ(u.m_valve.m_drive, 0.8f);
  EXPECT_EQ(u.m_cruncher.getDrive(), 0.35f);  // 0.3 x 0.8 + 0.11
  EXPECT_EQ(u.m_overdrive.m_mix, 0.9f);
  EXPECT_EQ(u.m_clipper.m_setting, 0.9f);
  EXPECT_EQ(u.m_cruncher.getThreshold(), 0.56f);  // 0.4 x 0.9 + 0.2
}

TEST(DistortionUnit, SlicingChannelsRatesAndPassThrough) {
  const Samples x = sine(150, 0.8, 700.0);
  for (int a = 0; a < DistortionUnit::kNumAlgorithms; ++a) {
    DistortionUnit whole, parts, other;
    for (DistortionUnit* u : {&whole, &parts, &other}) {
      u->setDisto(kSelect[a]);
      u->setDistoParam1(0.9f);
      u->setDistoParam2(0.2f);
    }
    // 150 frames are slices of 64, 64 and 22: one call per slice is the same;
    // cut differently, the once-per-slice smoothers step differently (the
    // cruncher has none).
    const Samples y = render(whole, x, {150});
    EXPECT_EQ(y, render(parts, x, {64, 64, 22})) << a;
    EXPECT_NE(y, x) << a;
    EXPECT_EQ(y != render(other, x, {50}), a != 3) << a;
  }
  // Algorithm numbers outside 0..3 pass the signal through untouched.
  DistortionUnit u;
  for (int a : {-1, 4, 77}) {
    u.m_distoAlgorithm = a;
    EXPECT_EQ(render(u, x, {64}), x) << a;
  }

  // The host rate is truncated and the smoothers run at four times it; bad
  // rates are ignored.
  for (float rate : {48000.9f, 0.0f, -44100.0f, kNaN, std::numeric_limits<float>::infinity(), 0.5f, 3e9f})
    u.setSampleRate(rate);
  EXPECT_EQ(u.m_clipper.m_rate, 48000);
  EXPECT_FLOAT_EQ(u.m_valve.m_driveSmoother.a, 0.9918521642684937f);

  // The cruncher is stateless and maps 0 to 0, so silence after a loud
  // passage shows only the oversampler's memories: a tail without
  // clearing, exact zeros after clearOversampler().
  u.setDisto(kSelect[3]);
  const Samples silence(64, 0.0f);
  render(u, sine(512, 1.0, 5000.0), {64});
  EXPECT_NE(render(u, silence, {64}), silence);
  render(u, sine(512, 1.0, 5000.0), {64});
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
  const Samples all = render(u, sine(44100 + 4410, 1.0, hz), {512});
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
