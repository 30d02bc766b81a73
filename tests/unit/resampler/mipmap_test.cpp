// The pyramid: its filter's measured response, the level layout and margins,
// and what a level holds for known inputs. Expected numbers come from
// reference_values.py beside this file.
#include "resampler/MipMapFlt.h"
#include "resampler/ResamplerFlt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

namespace {

const double* coefs() { return rspl::ResamplerFlt::_fir_mip_map_coef_arr; }

double filter_gain(double f) {
  double re = 0.0, im = 0.0;
  for (int k = 0; k < rspl::ResamplerFlt::kNbrMipMapTaps; ++k) {
    re += coefs()[k] * std::cos(2.0 * M_PI * f * k);
    im -= coefs()[k] * std::sin(2.0 * M_PI * f * k);
  }
  return std::hypot(re, im);
}

TEST(MipMapFilter, MeasuredResponse) {
  // Symmetric around tap 40, so the levels are not shifted.
  for (int k = 0; k < 40; ++k) {
    EXPECT_EQ(coefs()[k], coefs()[80 - k]) << k;
  }
  double pass_min = 10.0, pass_max = 0.0, stop_max = 0.0;
  for (int i = 0; i <= 5000; ++i) {
    const double f = 0.5 * i / 5000.0;
    const double g = filter_gain(f);
    if (f <= 0.22) {
      pass_min = std::min(pass_min, g);
      pass_max = std::max(pass_max, g);
    }
    if (f >= 0.28) {
      stop_max = std::max(stop_max, g);
    }
  }
  // Flat to 0.22 within the gain 1.0024 (ripple +-0.0024 around 1).
  EXPECT_LT(pass_max, 1.0025);
  EXPECT_GT(pass_min, 0.9975);
  EXPECT_LT(20.0 * std::log10(stop_max), -90.0);
  // -3 dB near 0.24 (0.23954 by reference_values.py).
  EXPECT_GT(filter_gain(0.2393), std::pow(10.0, -3.0 / 20.0));
  EXPECT_LT(filter_gain(0.2398), std::pow(10.0, -3.0 / 20.0));
  EXPECT_NEAR(filter_gain(0.0), 1.0024222114, 1e-9);
}

TEST(MipMapFlt, LayoutMarginsAndFilling) {
  rspl::MipMapFlt mm;
  mm.init_sample(1000, 12, 12, 5, coefs(), 81);
  EXPECT_FALSE(mm.is_ready());
  EXPECT_EQ(mm.get_add_len_pre(), 80);
  EXPECT_EQ(mm.get_add_len_post(), 80);
  const int lens[] = {1000, 500, 250, 125, 63};
  for (int l = 0; l < 5; ++l) {
    EXPECT_EQ(mm.get_lev_len(l), lens[l]);
  }
  // Filled in pieces: true while samples are missing.
  std::vector<float> ones(1000, 1.0f);
  EXPECT_TRUE(mm.fill_sample(ones.data(), 400));
  EXPECT_FALSE(mm.is_ready());
  EXPECT_TRUE(mm.fill_sample(ones.data(), 599));
  EXPECT_FALSE(mm.fill_sample(ones.data(), 1));
  EXPECT_TRUE(mm.is_ready());

  // Level 0 keeps the data and zero margins.
  const float* l0 = mm.use_table(0);
  EXPECT_EQ(l0[-80], 0.0f);
  EXPECT_EQ(l0[-1], 0.0f);
  EXPECT_EQ(l0[999], 1.0f);
  EXPECT_EQ(l0[1000 + 79], 0.0f);
  // Level L of a constant holds the DC gain^L in its middle.
  for (int l = 1; l < 5; ++l) {
    EXPECT_NEAR(mm.use_table(l)[mm.get_lev_len(l) / 2], std::pow(1.0024222114, l), 1e-5);
  }
  // Level 1 edges: partial sums of the filter, 20 samples into the margin.
  const float* l1 = mm.use_table(1);
  EXPECT_NEAR(l1[-1], -0.0614408637, 1e-6);
  EXPECT_NEAR(l1[-20], 0.0001991613, 1e-9);
  EXPECT_EQ(l1[-21], 0.0f);
  EXPECT_EQ(l1[500 + 20], 0.0f);
  EXPECT_NE(l1[500 + 19], 0.0f);

  // A zero-length sample is ready at once.
  rspl::MipMapFlt empty;
  empty.init_sample(0, 0, 0, 1, coefs(), 81);
  EXPECT_FALSE(empty.fill_sample(nullptr, 0));
  EXPECT_TRUE(empty.is_ready());
}

TEST(MipMapFlt, LevelsCarryTheBandAndRejectAliases) {
  // A sine at 0.1 cycles per level-0 sample reappears on level 1 at 0.2 with
  // the filter's gain there; one at 0.35 would alias to 0.3 and is removed.
  const int len = 4096;
  for (double f : {0.1, 0.35}) {
    std::vector<float> src(len);
    for (int i = 0; i < len; ++i) {
      src[i] = float(std::sin(2.0 * M_PI * f * i));
    }
    rspl::MipMapFlt mm;
    mm.init_sample(len, 12, 12, 2, coefs(), 81);
    mm.fill_sample(src.data(), len);
    const float* l1 = mm.use_table(1);
    // Amplitude at 2f cycles per level-1 sample, by correlation.
    std::complex<double> acc = 0.0;
    for (int n = 100; n < len / 2 - 100; ++n) {
      acc += double(l1[n]) * std::polar(1.0, -2.0 * M_PI * 2.0 * f * n);
    }
    const double amp = 2.0 * std::abs(acc) / (len / 2 - 200);
    double peak = 0.0;
    for (int n = 100; n < len / 2 - 100; ++n) {
      peak = std::max(peak, std::fabs(double(l1[n])));
    }
    if (f < 0.2) {
      EXPECT_NEAR(amp, 1.0020548318, 1e-3);
      // Phase kept: level 1 sample n is the source at 2n.
      EXPECT_NEAR(l1[1000], 1.0020548318 * std::sin(2.0 * M_PI * f * 2000), 1e-3);
    } else {
      EXPECT_LT(peak, 3e-5);  // |H(0.35)| = 2.4e-5
    }
  }
}

}  // namespace
