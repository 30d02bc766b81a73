// The 4x up- and downsamplers, their 2x stages and the half-band designs.
// Expected levels come from oversampler_reference.py (magnitude responses of
// the published coefficient tables); the stages are also checked against a
// plain double-precision cascade of all-pass sections written out here.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "kovworks/Downsampler4x.h"
#include "kovworks/Upsampler4x.h"
#include "kovworks/hiir/Downsampler2xSse.h"
#include "kovworks/hiir/PolyphaseIir2Designer.h"
#include "kovworks/hiir/Upsampler2xSse.h"

namespace {

using kov::studio::genlib::Downsampler4x;
using kov::studio::genlib::Upsampler4x;
using Samples = std::vector<float>;

constexpr double kPi = 3.14159265358979323846;
constexpr int kN = 2000;       // measuring window in base samples: bin k is k / 2000 fs
constexpr int kSettle = 4000;  // base samples for the slowest pole to die out (far below -300 dB)

// len samples of a sine making `cycles` cycles every `period` samples.
Samples sine(int len, int cycles, int period, double amp) {
  Samples x(static_cast<size_t>(len));
  for (int i = 0; i < len; ++i) x[size_t(i)] = float(amp * std::sin(2 * kPi * cycles * i / period + 0.3));
  return x;
}

Samples noise(int len, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  Samples x(static_cast<size_t>(len));
  for (float& v : x) v = dist(gen);
  return x;
}

// Amplitude of bin m over the len samples from start, in dB re amp; exact
// for whole-bin sines in steady state.
double binDb(const Samples& x, int start, int len, int m, double amp) {
  std::complex<double> acc = 0;
  for (int i = 0; i < len; ++i)
    acc += double(x[size_t(start + i)]) * std::polar(1.0, -2 * kPi * double(m) * i / len);
  return 20 * std::log10(std::max(std::abs(acc) * (m == 0 ? 1.0 : 2.0) / len / amp, 1e-30));
}

// Above -100 dB the reference must be met within 0.5 dB (0.002 dB in the
// passband; single-precision noise sits near -140 dB); below, the level only
// has to stay under -95 dB.
void expectLevel(double measured, double expected, const char* what, int bin) {
  const double tolerance = expected > -1 ? 0.002 : expected > -100 ? 0.5 : 5.0;
  EXPECT_NEAR(std::max(measured, -100.0), std::max(expected, -100.0), tolerance) << what << " bin " << bin;
}

struct Oversampler : testing::Test {
  void SetUp() override {
    us.set_nbr_chn(1);
    ds.set_nbr_chn(1);
  }
  Samples up(const Samples& x) {
    Samples y(x.size() * 4);
    us.process_block_1ch(0, y.data(), x.data(), long(x.size()));
    return y;
  }
  Samples down(const Samples& x) {
    Samples y(x.size() / 4);
    ds.process_block_1ch(0, y.data(), x.data(), long(y.size()));
    return y;
  }
  Upsampler4x us;
  Downsampler4x ds;
};

TEST_F(Oversampler, PassesTheBandAndRejectsImagesAndAliases) {
  // Upsampler: {k (sine at k / 2000 fs), levels at k and at the images
  // fs - f, fs + f, 2 fs - f}; 990 sits in the transition band.
  const struct {
    int k;
    double levels[4];
  } ups[] = {{20, {0, -86.8490, -88.1169, -96.0998}},
             {500, {0, -69.2463, -103.8251, -85.2584}},
             {980, {0, -69.1476, -151.7095, -97.5185}},
             {990, {-0.0135, -25.0694, -109.5816, -90.8520}}};
  for (const auto& row : ups) {
    us.clear_buffers();
    const Samples y = up(sine(kSettle + kN, row.k, kN, 0.5));
    const int bins[4] = {row.k, kN - row.k, kN + row.k, 2 * kN - row.k};
    for (int b = 0; b < 4; ++b)
      expectLevel(binDb(y, kSettle * 4, kN * 4, bins[b], 0.5), row.levels[b], "up", bins[b]);
  }
  // Downsampler: {4x-rate sine at m / 2000 fs, output bin, level}.
  const struct {
    int m, bin;
    double level;
  } downs[] = {{20, 20, 0},           {980, 980, 0},         {990, 990, -0.0135},
               {1010, 990, -25.0694}, {1020, 980, -69.1476}, {3980, 20, -96.0998}};
  for (const auto& row : downs) {
    ds.clear_buffers();
    const Samples y = down(sine((kSettle + kN) * 4, row.m, kN * 4, 0.5));
    expectLevel(binDb(y, kSettle, kN, row.bin, 0.5), row.level, "down", row.m);
  }
  // The round trip is transparent in the passband (the reference gives
  // gains within 2e-6 dB of 0).
  for (int k : {20, 500, 980}) {
    us.clear_buffers();
    ds.clear_buffers();
    EXPECT_NEAR(binDb(down(up(sine(kSettle + kN, k, kN, 0.8))), kSettle, kN, k, 0.8), 0.0, 0.0005) << k;
  }
}

TEST_F(Oversampler, BlockSplitsAndClearingAreExact) {
  const Samples x = noise(64 * 40, 3);
  const Samples wholeUp = up(x), wholeDown = down(wholeUp);
  for (const std::vector<long>& split : {std::vector<long>{1}, {13}, {1000}, {7, 1, 64, 30, 13}}) {
    down(up(noise(333, 1)));  // junk that clearing must forget
    us.clear_buffers();
    ds.clear_buffers();
    Samples u(x.size() * 4), d(x.size());
    for (long pos = 0, turn = 0; pos < long(x.size()); ++turn) {
      const long len = std::min(split[size_t(turn) % split.size()], long(x.size()) - pos);
      us.process_block_1ch(0, &u[size_t(pos) * 4], &x[size_t(pos)], len);
      ds.process_block_1ch(0, &d[size_t(pos)], &wholeUp[size_t(pos) * 4], len);
      pos += len;
    }
    EXPECT_EQ(u, wholeUp) << split[0];
    EXPECT_EQ(d, wholeDown) << split[0];
  }
}

// The textbook 2x stage in double precision: branch A runs the even-indexed
// coefficients in order, branch B the odd-indexed ones, each section
// y = a (x - y1) + x1.
struct PlainCascade {
  explicit PlainCascade(const std::vector<double>& c) : coefs(c), x1(c.size()), y1(c.size()) {}
  double branch(size_t first, double x) {
    for (size_t i = first; i < coefs.size(); i += 2) {
      const double y = coefs[i] * (x - y1[i]) + x1[i];
      x1[i] = x;
      y1[i] = y;
      x = y;
    }
    return x;
  }
  std::vector<double> coefs, x1, y1;
};

template <int NC>
void checkAgainstPlainCascade(const std::vector<double>& coefs) {
  SCOPED_TRACE(NC);
  const int len = 1 << 16;
  const Samples x = noise(len * 2, 5);
  hiir::Upsampler2xSse<NC> up;
  up.set_coefs(coefs.data());
  Samples upOut(size_t(len) * 2);
  up.process_block(upOut.data(), x.data(), len);
  hiir::Downsampler2xSse<NC> down;
  down.set_coefs(coefs.data());
  Samples downOut(static_cast<size_t>(len));
  down.process_block(downOut.data(), x.data(), len);
  PlainCascade upRef(coefs), downRef(coefs);
  double err = 0;
  // One input sample late: output pair n + 1 is the cascade's pair n. With
  // one coefficient, branch B has no section and passes its input exactly.
  for (size_t n = 0; n + 1 < size_t(len); ++n) {
    const double a = upRef.branch(0, x[n]), b = upRef.branch(1, x[n]);
    const double d = 0.5 * (downRef.branch(0, x[2 * n + 1]) + downRef.branch(1, x[2 * n]));
    err = std::max({err, std::fabs(upOut[2 * n + 2] - a), std::fabs(upOut[2 * n + 3] - b),
                    std::fabs(downOut[n + 1] - d)});
    if (NC == 1) {
      ASSERT_EQ(upOut[2 * n + 3], x[n]) << n;
    }
  }
  EXPECT_EQ(upOut[0], 0.0f);
  EXPECT_EQ(upOut[1], 0.0f);
  EXPECT_EQ(downOut[0], 0.0f);
  EXPECT_LT(err, 1e-5);
}

// The designer gives the oversampler's two stages the published tables (9
// significant digits); the four-at-a-time stages must equal the plain
// cascade, which catches a coefficient in the wrong lane or branch, a wrong
// branch order in the output and a broken pass-through lane.
TEST(HalfBandStages, DesignsMatchTheTablesAndStagesThePlainCascade) {
  const std::vector<double> table8 = {0.0771150798, 0.265968527, 0.482070625, 0.665104153,
                                      0.796820471,  0.884101509, 0.941251428, 0.982005414};
  const std::vector<double> table3 = {0.0814300232, 0.315659840, 0.709770800};
  for (const auto& [transition, table] : {std::pair{0.01, table8}, {0.2, table3}}) {
    double coefs[16] = {};
    ASSERT_EQ(hiir::PolyphaseIir2Designer::compute_coefs(coefs, 69, transition), int(table.size()));
    for (size_t i = 0; i < table.size(); ++i) EXPECT_NEAR(coefs[i], table[i], 1e-9) << transition << " " << i;
  }
  checkAgainstPlainCascade<8>(table8);
  checkAgainstPlainCascade<3>(table3);
  checkAgainstPlainCascade<1>({0.4});
  checkAgainstPlainCascade<6>({0.05, 0.2, 0.4, 0.6, 0.8, 0.9});
}

}  // namespace
