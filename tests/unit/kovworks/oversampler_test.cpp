// The 4x up- and downsamplers and their 2x stages. Expected levels come from
// oversampler_reference.py (magnitude responses of the published coefficient
// tables); the stages are also checked against a plain double-precision
// cascade of all-pass sections written out here.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "kovworks/Downsampler4x.h"
#include "kovworks/Upsampler4x.h"
#include "kovworks/hiir/Downsampler2xSse.h"
#include "kovworks/hiir/Upsampler2xSse.h"

// Counts every allocation of the test program, to prove that processing
// makes none. GCC cannot see that these replacements pair malloc with free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
long g_nbr_allocs = 0;
}
void* operator new(std::size_t size) {
  ++g_nbr_allocs;
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t align) {
  ++g_nbr_allocs;
  const std::size_t a = static_cast<std::size_t>(align);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) {
    return p;
  }
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using kov::studio::genlib::Downsampler4x;
using kov::studio::genlib::Upsampler4x;

constexpr double kPi = 3.14159265358979323846;
constexpr int kN = 2000;       // Measuring window in base samples: bin k is k / 2000 fs.
constexpr int kSettle = 4000;  // Base samples to let the slowest pole die out (far below -300 dB).

// len samples of a sine making `cycles` cycles every `period` samples.
std::vector<float> sine(int len, int cycles, int period, double amp, double phase) {
  std::vector<float> x(len);
  for (int i = 0; i < len; ++i) {
    x[i] = static_cast<float>(amp * std::sin(2 * kPi * cycles * i / period + phase));
  }
  return x;
}

std::vector<float> noise(int len, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> x(len);
  for (float& v : x) {
    v = dist(gen);
  }
  return x;
}

// Amplitude of the component at bin m (m cycles over the len samples from
// start), in dB re amp. Exact for whole-bin sines in steady state.
double bin_level_db(const std::vector<float>& x, int start, int len, int m, double amp) {
  std::complex<double> acc = 0;
  for (int i = 0; i < len; ++i) {
    acc += static_cast<double>(x[start + i]) * std::polar(1.0, -2 * kPi * double(m) * i / len);
  }
  const double level = std::abs(acc) * (m == 0 ? 1.0 : 2.0) / len;
  return 20 * std::log10(std::max(level / amp, 1e-30));
}

std::vector<float> upsample(Upsampler4x& us, const std::vector<float>& x) {
  std::vector<float> y(x.size() * 4);
  us.process_block_1ch(0, y.data(), x.data(), static_cast<long>(x.size()));
  return y;
}

std::vector<float> downsample(Downsampler4x& ds, const std::vector<float>& x) {
  std::vector<float> y(x.size() / 4);
  ds.process_block_1ch(0, y.data(), x.data(), static_cast<long>(y.size()));
  return y;
}

class Oversampler : public testing::Test {
 protected:
  void SetUp() override {
    us.set_nbr_chn(1);
    ds.set_nbr_chn(1);
  }
  Upsampler4x us;
  Downsampler4x ds;
};

TEST_F(Oversampler, ClearBuffersGivesSilenceAndAFreshStart) {
  const std::vector<float> junk = noise(333, 1);
  const std::vector<float> probe = noise(200, 2);

  Upsampler4x fresh_us;
  fresh_us.set_nbr_chn(1);
  Downsampler4x fresh_ds;
  fresh_ds.set_nbr_chn(1);
  const std::vector<float> fresh_up = upsample(fresh_us, probe);
  const std::vector<float> fresh_down = downsample(fresh_ds, fresh_up);

  // Silence right after construction.
  const std::vector<float> zeros(256, 0.0f);
  for (float v : upsample(us, zeros)) ASSERT_EQ(v, 0.0f);
  for (float v : downsample(ds, zeros)) ASSERT_EQ(v, 0.0f);

  // Fill every memory, then clear: silence in gives exact silence out in
  // both directions, and a signal gives what a new instance gives.
  downsample(ds, upsample(us, junk));
  us.clear_buffers();
  ds.clear_buffers();
  for (float v : upsample(us, zeros)) ASSERT_EQ(v, 0.0f);
  for (float v : downsample(ds, zeros)) ASSERT_EQ(v, 0.0f);

  downsample(ds, upsample(us, junk));
  us.clear_buffers();
  ds.clear_buffers();
  EXPECT_EQ(upsample(us, probe), fresh_up);
  EXPECT_EQ(downsample(ds, fresh_up), fresh_down);

  // set_nbr_chn clears too.
  downsample(ds, upsample(us, junk));
  us.set_nbr_chn(1);
  ds.set_nbr_chn(1);
  EXPECT_EQ(upsample(us, probe), fresh_up);
  EXPECT_EQ(downsample(ds, fresh_up), fresh_down);
}

TEST_F(Oversampler, UnityGainAtDc) {
  for (float level : {1.0f, -0.37f, 1e-3f}) {
    SCOPED_TRACE(level);
    us.clear_buffers();
    ds.clear_buffers();
    const std::vector<float> dc(kSettle + 64, level);
    const std::vector<float> up = upsample(us, dc);
    const std::vector<float> down = downsample(ds, up);
    for (size_t i = kSettle * 4; i < up.size(); ++i) {
      ASSERT_NEAR(up[i], level, 1e-5 * std::fabs(level)) << i;
    }
    for (size_t i = kSettle; i < down.size(); ++i) {
      ASSERT_NEAR(down[i], level, 1e-5 * std::fabs(level)) << i;
    }
  }
}

// Tolerances: where the reference level is above -100 dB the measured one
// must match within 0.5 dB (single-precision noise sits near -140 dB);
// below that it only has to stay under -95 dB.
void expect_level(double measured_db, double expected_db) {
  if (expected_db > -100) {
    EXPECT_NEAR(measured_db, expected_db, 0.5);
  } else {
    EXPECT_LT(measured_db, -95.0);
  }
}

TEST_F(Oversampler, UpsamplerPassesTheSineAndRejectsItsImages) {
  // {k, fundamental at k, images at fs - f, fs + f, 2 fs - f}, dB re input.
  const struct {
    int k;
    double fund, im1, im2, im3;
  } rows[] = {
      {20, -0.0000, -86.8490, -88.1169, -96.0998},
      {200, -0.0000, -69.5301, -82.3627, -77.7451},
      {500, -0.0000, -69.2463, -103.8251, -85.2584},
      {800, -0.0000, -72.5603, -149.1532, -76.6134},
      {900, -0.0000, -69.1755, -145.7705, -80.6587},
      {950, -0.0000, -72.2035, -150.9985, -90.1402},
      {980, -0.0000, -69.1476, -151.7095, -97.5185},
      {990, -0.0135, -25.0694, -109.5816, -90.8520},  // 0.495 fs: in the transition band.
  };
  const double amp = 0.5;
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "f = " << row.k << " / " << kN << " fs");
    us.clear_buffers();
    const std::vector<float> up = upsample(us, sine(kSettle + kN, row.k, kN, amp, 0.3));
    const int start = kSettle * 4;
    const int len = kN * 4;
    EXPECT_NEAR(bin_level_db(up, start, len, row.k, amp), row.fund, 0.002);
    const double im1 = bin_level_db(up, start, len, kN - row.k, amp);
    const double im2 = bin_level_db(up, start, len, kN + row.k, amp);
    const double im3 = bin_level_db(up, start, len, 2 * kN - row.k, amp);
    expect_level(im1, row.im1);
    expect_level(im2, row.im2);
    expect_level(im3, row.im3);
    if (row.k <= 980) {  // Up to 0.49 fs every image is in a stopband.
      EXPECT_LT(std::max({im1, im2, im3}), -65.0);
    }
  }
}

TEST_F(Oversampler, DownsamplerRejectsWhatWouldAlias) {
  // {m: 4x-rate sine at m / 2000 fs, output bin, level dB re input}.
  const struct {
    int m, out_bin;
    double level;
  } rows[] = {
      {20, 20, -0.0000},      {500, 500, -0.0000},    {980, 980, -0.0000},
      {990, 990, -0.0135},    {1010, 990, -25.0694},  {1020, 980, -69.1476},
      {1200, 800, -72.5603},  {1600, 400, -74.4567},  {2000, 0, -375.5776},
      {2400, 400, -101.1735}, {2800, 800, -149.1532}, {2980, 980, -151.7095},
      {3020, 980, -97.5185},  {3400, 600, -88.9857},  {3800, 200, -77.7451},
      {3980, 20, -96.0998},
  };
  const double amp = 0.5;
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "F = " << row.m << " / " << kN << " fs");
    ds.clear_buffers();
    const std::vector<float> down =
        downsample(ds, sine((kSettle + kN) * 4, row.m, kN * 4, amp, 0.7));
    const double level = bin_level_db(down, kSettle, kN, row.out_bin, amp);
    if (row.level > -1) {
      EXPECT_NEAR(level, row.level, 0.002);
    } else {
      expect_level(level, row.level);
    }
    if (row.m >= 1020 && row.m <= 3980) {  // From 0.51 fs up: stopbands only.
      EXPECT_LT(level, -65.0);
    }
  }
}

TEST_F(Oversampler, RoundTripIsTransparentInThePassband) {
  // oversampler_reference.py gives trip gains within 2e-6 dB of 0 for all
  // of these: the passband ripple is far below what single precision shows.
  const double amp = 0.8;
  for (int k : {20, 200, 500, 800, 900, 980}) {
    SCOPED_TRACE(k);
    us.clear_buffers();
    ds.clear_buffers();
    const std::vector<float> out = downsample(ds, upsample(us, sine(kSettle + kN, k, kN, amp, 1.1)));
    EXPECT_NEAR(bin_level_db(out, kSettle, kN, k, amp), 0.0, 0.0005);
    // Nothing else comes out: the rest of the window holds under -100 dB.
    double total = 0;
    for (int i = kSettle; i < kSettle + kN; ++i) {
      total += double(out[i]) * out[i];
    }
    const double sine_power = amp * amp / 2 * std::pow(10.0, bin_level_db(out, kSettle, kN, k, amp) / 10);
    EXPECT_LT((total / kN - sine_power) / sine_power, 1e-10);
  }
}

TEST_F(Oversampler, BlockSizeDoesNotMatter) {
  const std::vector<float> x = noise(64 * 40, 3);
  std::vector<float> whole_up(x.size() * 4);
  std::vector<float> whole_down(x.size());
  for (size_t pos = 0; pos < x.size(); pos += 64) {
    us.process_block_1ch(0, &whole_up[pos * 4], &x[pos], 64);
  }
  for (size_t pos = 0; pos < x.size(); pos += 64) {
    ds.process_block_1ch(0, &whole_down[pos], &whole_up[pos * 4], 64);
  }

  const std::vector<std::vector<long>> splits = {{1}, {13}, {50}, {1000}, {7, 1, 64, 30, 13}};
  for (const auto& split : splits) {
    SCOPED_TRACE(split[0]);
    us.clear_buffers();
    ds.clear_buffers();
    std::vector<float> up(x.size() * 4);
    std::vector<float> down(x.size());
    size_t turn = 0;
    for (long pos = 0; pos < long(x.size()); ++turn) {
      const long len = std::min(split[turn % split.size()], long(x.size()) - pos);
      us.process_block_1ch(0, &up[pos * 4], &x[pos], len);
      ds.process_block_1ch(0, &down[pos], &whole_up[pos * 4], len);
      pos += len;
    }
    EXPECT_EQ(up, whole_up);
    EXPECT_EQ(down, whole_down);
  }

  // The downsampler may work in place.
  std::vector<float> in_place = whole_up;
  ds.clear_buffers();
  ds.process_block_1ch(0, in_place.data(), in_place.data(), long(x.size()));
  EXPECT_EQ(std::vector<float>(in_place.begin(), in_place.begin() + x.size()), whole_down);
}

TEST_F(Oversampler, ChannelsAreIndependentAndProcessingDoesNotAllocate) {
  const std::vector<float> a = noise(300, 4);
  const std::vector<float> b = sine(300, 17, 300, 0.9, 0.0);
  const std::vector<float> ref_a_up = upsample(us, a);
  const std::vector<float> ref_a_down = downsample(ds, ref_a_up);
  us.clear_buffers();
  ds.clear_buffers();
  const std::vector<float> ref_b_up = upsample(us, b);
  const std::vector<float> ref_b_down = downsample(ds, ref_b_up);

  // Grown from the one channel of the fixture: the new channels must be
  // configured as well as the kept one.
  us.set_nbr_chn(3);
  ds.set_nbr_chn(3);
  ASSERT_EQ(us.get_nbr_chn(), 3);
  std::vector<float> up[3] = {std::vector<float>(1200), std::vector<float>(1200),
                              std::vector<float>(1200)};
  std::vector<float> down[3] = {std::vector<float>(300), std::vector<float>(300),
                                std::vector<float>(300)};
  const long allocs_before = g_nbr_allocs;
  for (long pos = 0; pos < 300; pos += 60) {
    const float* in[3] = {&b[pos], &a[pos], &b[pos]};
    float* out[3] = {&up[0][pos * 4], &up[1][pos * 4], &up[2][pos * 4]};
    us.process_block(out, in, 60);
    ds.process_block_1ch(0, &down[0][pos], &up[0][pos * 4], 60);
    ds.process_block_1ch(1, &down[1][pos], &up[1][pos * 4], 60);
  }
  EXPECT_EQ(g_nbr_allocs, allocs_before);
  EXPECT_EQ(up[0], ref_b_up);
  EXPECT_EQ(up[1], ref_a_up);
  EXPECT_EQ(up[2], ref_b_up);
  EXPECT_EQ(down[0], ref_b_down);
  EXPECT_EQ(down[1], ref_a_down);
}

// The textbook form of a 2x stage in double precision: branch A runs the
// even-indexed coefficients in order, branch B the odd-indexed ones, each
// section y = a (x - y1) + x1.
struct PlainCascade {
  explicit PlainCascade(const std::vector<double>& c) : coefs(c), x1(c.size()), y1(c.size()) {}
  double branch(int first, double x) {
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
void check_stages_against_plain_cascade(const std::vector<double>& coefs) {
  SCOPED_TRACE(NC);
  const int len = 1 << 16;
  const std::vector<float> x = noise(len * 2, 5);

  hiir::Upsampler2xSse<NC> up;
  up.set_coefs(coefs.data());
  std::vector<float> up_out(len * 2);
  up.process_block(up_out.data(), x.data(), len);
  PlainCascade up_ref(coefs);
  double up_err = 0;
  // One input sample late: output pair n + 1 is the cascade's pair n.
  for (int n = 0; n + 1 < len; ++n) {
    const double a = up_ref.branch(0, x[n]);
    const double b = up_ref.branch(1, x[n]);
    up_err = std::max({up_err, std::fabs(up_out[2 * n + 2] - a), std::fabs(up_out[2 * n + 3] - b)});
  }
  EXPECT_EQ(up_out[0], 0.0f);
  EXPECT_EQ(up_out[1], 0.0f);
  EXPECT_LT(up_err, 1e-5);

  hiir::Downsampler2xSse<NC> down;
  down.set_coefs(coefs.data());
  std::vector<float> down_out(len);
  down.process_block(down_out.data(), x.data(), len);
  PlainCascade down_ref(coefs);
  double down_err = 0;
  for (int n = 0; n + 1 < len; ++n) {
    const double y = 0.5 * (down_ref.branch(0, x[2 * n + 1]) + down_ref.branch(1, x[2 * n]));
    down_err = std::max(down_err, std::fabs(down_out[n + 1] - y));
  }
  EXPECT_EQ(down_out[0], 0.0f);
  EXPECT_LT(down_err, 1e-5);
}

// A lane without a coefficient must pass its input on exactly, however long
// the run: with one coefficient, branch B of the upsampler is the input
// itself; with three, it is one single-precision section (c1).
TEST(HalfBandStages, SpareLanesPassExactly) {
  const int len = 1 << 18;
  const std::vector<float> x = noise(len, 6);
  std::vector<float> out(len * 2);

  const double one[] = {0.4};
  hiir::Upsampler2xSse<1> up1;
  up1.set_coefs(one);
  up1.process_block(out.data(), x.data(), len);
  for (int n = 0; n + 1 < len; ++n) {
    ASSERT_EQ(out[2 * n + 3], x[n]) << n;
  }

  const double three[] = {0.0814300232, 0.315659840, 0.709770800};
  hiir::Upsampler2xSse<3> up3;
  up3.set_coefs(three);
  up3.process_block(out.data(), x.data(), len);
  const float c1 = static_cast<float>(three[1]);
  float x1 = 0.0f;
  float y1 = 0.0f;
  for (int n = 0; n + 1 < len; ++n) {
    const float y = c1 * (x[n] - y1) + x1;
    x1 = x[n];
    y1 = y;
    ASSERT_EQ(out[2 * n + 3], y) << n;
  }
}

// Catches a coefficient in the wrong lane or branch, a wrong branch order in
// the output and a broken pass-through lane: the four-at-a-time stages must
// equal the plain cascade, one input sample late.
TEST(HalfBandStages, MatchThePlainCascadeOneSampleLate) {
  check_stages_against_plain_cascade<8>({0.0771150798, 0.265968527, 0.482070625, 0.665104153,
                                         0.796820471, 0.884101509, 0.941251428, 0.982005414});
  check_stages_against_plain_cascade<3>({0.0814300232, 0.315659840, 0.709770800});
  check_stages_against_plain_cascade<1>({0.4});
  check_stages_against_plain_cascade<6>({0.05, 0.2, 0.4, 0.6, 0.8, 0.9});
}

}  // namespace
