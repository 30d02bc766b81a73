// Tests of the distortion unit: algorithm selection and the editor message,
// parameter routing, slicing, the channel copy, rates, and how much the 4x
// oversampler cuts aliasing. Expected numbers are worked out by hand (the
// mappings) or come from distortion_expected.py beside this file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "effects/DistortionUnit.h"

namespace {

// Counts every allocation of the test program, to prove that processing
// allocates nothing.
long g_allocations = 0;

}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr double kTwoPi = 6.283185307179586;
using Samples = std::vector<float>;

// "Dist Sel" values well inside each algorithm's quarter.
constexpr float kSelect[DistortionUnit::kNumAlgorithms] = {0.1f, 0.35f, 0.6f, 0.85f};

Samples sine(size_t n, double amp, double hz, double rate = 44100.0) {
  Samples v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<float>(amp * std::sin(kTwoPi * hz * i / rate));
  return v;
}

// Runs the unit over `left` in host blocks of the given sizes (cycled),
// with a right channel full of junk; returns the left channel and checks
// that the right one equals it and that processing allocated nothing.
Samples render(DistortionUnit& u, Samples left, std::vector<int> blocks) {
  Samples right(left.size(), 123.0f);
  size_t pos = 0;
  for (size_t b = 0; pos < left.size(); ++b) {
    const int n = std::min<int>(blocks[b % blocks.size()], static_cast<int>(left.size() - pos));
    float* ch[2] = {left.data() + pos, right.data() + pos};
    const long allocations = g_allocations;
    u.processDisto(ch, n);
    EXPECT_EQ(g_allocations, allocations) << "processing allocated";
    pos += static_cast<size_t>(n);
  }
  EXPECT_EQ(right, left);
  return left;
}

struct Messages {
  std::vector<int> sent;
  static void record(void* self, int algorithm) { static_cast<Messages*>(self)->sent.push_back(algorithm); }
};

}  // namespace

// ---------------------------------------------------------------------------

TEST(DistortionUnit, ConstructionDefaultsAndRouting) {
  DistortionUnit u;
  EXPECT_EQ(u.m_distoAlgorithm, 0);
  EXPECT_EQ(u.m_previousDistoAlgorithm, 0);
  EXPECT_FALSE(u.m_distoAlgorithmChanged);
  EXPECT_EQ(u.m_overdrive.m_mix, 0.5f);
  EXPECT_EQ(u.m_clipper.m_setting, 0.5f);
  EXPECT_EQ(u.m_cruncher.getDrive(), 0.25f);
  EXPECT_EQ(u.m_cruncher.getThreshold(), 0.25f);

  // "Dist prm1" reaches all four drives, "Dist prm2" all but the valve.
  u.setDistoParam1(0.8f);
  EXPECT_EQ(u.m_overdrive.m_drive, 0.8f);
  EXPECT_EQ(u.m_clipper.m_drive, 0.8f);
  EXPECT_EQ(u.m_valve.m_drive, 0.8f);
  EXPECT_EQ(u.m_cruncher.getDrive(), 0.35f);  // 0.3 x 0.8 + 0.11
  Samples x = sine(256, 0.5, 300.0);
  u.setDisto(kSelect[2]);
  render(u, x, {64});
  const Valve before = u.m_valve;
  u.setDistoParam2(0.9f);
  EXPECT_EQ(u.m_overdrive.m_mix, 0.9f);
  EXPECT_EQ(u.m_clipper.m_setting, 0.9f);
  EXPECT_EQ(u.m_cruncher.getThreshold(), 0.56f);  // 0.4 x 0.9 + 0.2
  EXPECT_EQ(u.m_valve.m_drive, before.m_drive);
  EXPECT_EQ(u.m_valve.m_outputGain, before.m_outputGain);
  EXPECT_EQ(u.m_valve.m_levelDb, before.m_levelDb);
  EXPECT_EQ(u.m_valve.m_driveSmoother.z, before.m_driveSmoother.z);

  // A NaN leaves every parameter as it was.
  u.setDistoParam1(kNaN);
  u.setDistoParam2(kNaN);
  EXPECT_EQ(u.m_overdrive.m_drive, 0.8f);
  EXPECT_EQ(u.m_valve.m_drive, 0.8f);
  EXPECT_EQ(u.m_cruncher.getDrive(), 0.35f);
  EXPECT_EQ(u.m_overdrive.m_mix, 0.9f);
  EXPECT_EQ(u.m_cruncher.getThreshold(), 0.56f);
}

TEST(DistortionUnit, SelectionAndEditorMessage) {
  DistortionUnit u;
  const std::pair<float, int> cases[] = {{0.0f, 0},  {0.24f, 0}, {0.25f, 1}, {0.5f, 2},
                                         {0.75f, 3}, {1.0f, 3},  {-0.5f, 0}, {9.0f, 3}};
  for (const auto& [value, algorithm] : cases) {
    u.setDisto(value);
    EXPECT_EQ(u.m_distoAlgorithm, algorithm) << value;
  }
  u.setDisto(kNaN);
  EXPECT_EQ(u.m_distoAlgorithm, 3);

  DistortionUnit v;
  Messages m;
  v.setDisto(0.5f);  // no notifier yet: nothing to send, nothing breaks
  v.m_distoAlgorithmChanged = false;
  v.setAlgorithmNotifier(&Messages::record, &m);

  v.setDisto(0.6f);  // still 2, nothing pending: silent
  EXPECT_FALSE(v.m_distoAlgorithmChanged);
  EXPECT_TRUE(m.sent.empty());

  v.setDisto(0.3f);  // a change: flag, previous, message
  EXPECT_TRUE(v.m_distoAlgorithmChanged);
  EXPECT_EQ(v.m_previousDistoAlgorithm, 2);
  EXPECT_EQ(m.sent, std::vector<int>({1}));

  v.setDisto(0.3f);  // same while pending: message again, previous catches up
  EXPECT_TRUE(v.m_distoAlgorithmChanged);
  EXPECT_EQ(v.m_previousDistoAlgorithm, 1);
  EXPECT_EQ(m.sent, std::vector<int>({1, 1}));

  v.m_distoAlgorithmChanged = false;  // as the block driver's crossfade does
  v.setDisto(0.3f);
  EXPECT_FALSE(v.m_distoAlgorithmChanged);
  EXPECT_EQ(m.sent, std::vector<int>({1, 1}));

  v.setDisto(1.0f);
  EXPECT_EQ(m.sent, std::vector<int>({1, 1, 3}));
  v.setAlgorithmNotifier(nullptr, nullptr);
  v.setDisto(0.0f);
  EXPECT_EQ(m.sent.size(), 3u);
}

TEST(DistortionUnit, SlicingChannelsAndPassThrough) {
  const Samples x = sine(150, 0.8, 700.0);
  for (int a = 0; a < DistortionUnit::kNumAlgorithms; ++a) {
    DistortionUnit whole, parts, other;
    for (DistortionUnit* u : {&whole, &parts, &other}) {
      u->setDisto(kSelect[a]);
      u->setDistoParam1(0.9f);
      u->setDistoParam2(0.2f);
    }
    // 150 frames are slices of 64, 64 and 22: one call per slice is the same.
    const Samples y = render(whole, x, {150});
    EXPECT_EQ(y, render(parts, x, {64, 64, 22})) << a;
    EXPECT_NE(y, x) << a;
    // Cut differently, the once-per-slice smoothers step differently (the
    // cruncher has none).
    if (a != 3) {
      EXPECT_NE(y, render(other, x, {50})) << a;
    }
  }

  // Algorithm numbers outside 0..3 pass the signal through untouched.
  DistortionUnit u;
  for (int a : {-1, 4, 77}) {
    u.m_distoAlgorithm = a;
    EXPECT_EQ(render(u, x, {64}), x) << a;
  }
  Samples empty;
  float* none[2] = {empty.data(), empty.data()};
  u.processDisto(none, 0);
}

TEST(DistortionUnit, RatesAndOversamplerClearing) {
  DistortionUnit u;
  u.setSampleRate(48000.9f);  // truncated to 48000, smoothers at 192 kHz
  EXPECT_EQ(u.m_clipper.m_rate, 48000);
  EXPECT_FLOAT_EQ(u.m_valve.m_driveSmoother.a, 0.9918521642684937f);
  EXPECT_FLOAT_EQ(u.m_clipper.m_driveSmoother.a, 0.9918521642684937f);
  for (float bad : {0.0f, -44100.0f, kNaN, std::numeric_limits<float>::infinity(), 0.5f, 3e9f})
    u.setSampleRate(bad);
  EXPECT_EQ(u.m_clipper.m_rate, 48000);
  EXPECT_FLOAT_EQ(u.m_valve.m_driveSmoother.a, 0.9918521642684937f);

  // The cruncher is stateless and maps 0 to 0, so silence after a loud
  // passage shows only the oversampler's memories: a tail without
  // clearing, exact zeros after clearOversampler().
  u.setDisto(kSelect[3]);
  render(u, sine(512, 1.0, 5000.0), {64});
  const Samples silence(64, 0.0f);
  EXPECT_NE(render(u, silence, {64}), silence);
  render(u, sine(512, 1.0, 5000.0), {64});
  u.clearOversampler();
  EXPECT_EQ(render(u, silence, {64}), silence);
}

// Full-scale 1 kHz and 5 kHz sines through algorithms 1..3 at 44.1 kHz,
// once through the 4x path and once run directly at the host rate. After a
// second of warm-up, 4410 samples (100 periods of 1 kHz, 500 of 5 kHz) hold
// whole periods of every harmonic and of every alias too: all of them lie
// on multiples of 100 Hz (44100 = 441 x 100), i.e. on exact DFT bins of a
// 10 Hz grid, so no window is needed. The harmonics' energy is taken from
// the DFT at their bins; what is left of the total (Parseval) is aliasing.
namespace {

double nonHarmonicDb(const Samples& y, double hz) {
  const size_t n = y.size();
  double total = 0.0;
  for (float s : y) total += static_cast<double>(s) * s;
  double harmonic = 0.0;
  for (int k = 0; k * hz < 22050.0; ++k) {
    const double w = kTwoPi * k * hz / 44100.0;
    double re = 0.0, im = 0.0;
    for (size_t i = 0; i < n; ++i) {
      re += y[i] * std::cos(w * i);
      im -= y[i] * std::sin(w * i);
    }
    harmonic += (k == 0 ? 1.0 : 2.0) * (re * re + im * im) / n;
  }
  return 10.0 * std::log10(std::max(total - harmonic, 1e-300) / total);
}

double measureAliasing(int algorithm, double hz, bool oversampled) {
  DistortionUnit u;
  u.setSampleRate(44100.0f);
  u.setDisto(kSelect[algorithm]);
  u.setDistoParam1(1.0f);
  u.setDistoParam2(0.5f);
  u.m_clipper.m_oversample = u.m_valve.m_oversample = u.m_cruncher.m_oversample = oversampled;
  const Samples y = render(u, sine(44100 + 4410, 1.0, hz), {512});
  return nonHarmonicDb(Samples(y.end() - 4410, y.end()), hz);
}

}  // namespace

TEST(DistortionUnit, OversamplingCutsAliasing) {
  // How many dB the 4x path must cut the aliased share of the energy by.
  // At full drive all three turn a full-scale sine into something close to
  // a square wave, whose harmonics fall off as 1/k, so the energy above a
  // frequency F goes as 1/F: moving the folding point from 22 kHz to the
  // 154 kHz that the 4x band leaves (176.4 - 22.05) buys about
  // 10 log10(154 / 22) = 8.5 dB at the least. Measured (direct / 4x, dB):
  //   ClipInferno  1 kHz -18.5 / -34.9   5 kHz -10.2 / -23.4
  //   HotFuzz      1 kHz -20.5 / -54.4   5 kHz -10.8 / -25.5
  //   Ultracrunch  1 kHz -17.9 / -36.3   5 kHz -10.1 / -23.0
  // The margins are the measured cuts less 3 dB, rounded down; a bypassed or
  // mis-wired oversampler cuts nothing.
  struct Case {
    int algorithm;
    const char* name;
    double margin1k, margin5k;
  };
  const Case cases[] = {
      {1, "ClipInferno", 13.0, 10.0}, {2, "HotFuzz", 30.0, 11.0}, {3, "Ultracrunch", 15.0, 9.0}};
  for (const Case& c : cases) {
    for (const auto& [hz, margin] : {std::pair<double, double>{1000.0, c.margin1k}, {5000.0, c.margin5k}}) {
      const double direct = measureAliasing(c.algorithm, hz, false);
      const double over = measureAliasing(c.algorithm, hz, true);
      std::printf("[ aliasing ] %-11s %4.0f Hz: direct %7.1f dB, 4x %7.1f dB (of the total energy)\n", c.name,
                  hz, direct, over);
      EXPECT_LT(over, direct - margin) << c.name << " " << hz;
    }
  }
}
