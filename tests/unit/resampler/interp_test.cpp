// The interpolators and the decimator: table shapes, phase sums, measured
// responses against the design targets, and the decimator's phase filter.
// Expected numbers come from reference_values.py beside this file.
#include "resampler/Downsampler2Flt.h"
#include "resampler/InterpPack.h"
#include "resampler/ResamplerFlt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <vector>

namespace {

// Response of an impulse sampled 64 times per table sample, at f cycles per
// table sample (1 = the table rate).
double impulse_gain(const double* imp, int len, double f) {
  std::complex<double> s = 0.0;
  for (int k = 0; k < len; ++k) {
    s += imp[k] * std::polar(1.0, -2.0 * M_PI * f * k / 64.0);
  }
  return std::abs(s) / 64.0;
}

double db(double g) { return 20.0 * std::log10(g); }

TEST(InterpPack, TableShapesAndPhaseSums) {
  const double* t1 = rspl::InterpPack::_fir_1x_coef_arr;
  const double* t2 = rspl::InterpPack::_fir_2x_coef_arr;
  EXPECT_DOUBLE_EQ(t1[12 * 64], 0.96494);
  EXPECT_DOUBLE_EQ(t2[6 * 64], 1.159896529);
  EXPECT_DOUBLE_EQ(*std::max_element(t1, t1 + 24 * 64), 0.96494);
  EXPECT_DOUBLE_EQ(*std::max_element(t2, t2 + 12 * 64), 1.159896529);
  for (int k = 1; k < 12 * 64; ++k) {
    ASSERT_NEAR(t1[12 * 64 + k], t1[12 * 64 - k], 1e-12) << k;  // symmetric
  }

  const auto pack = std::make_unique<rspl::InterpPack>();
  for (int ph = 0; ph < 64; ++ph) {
    double s1 = 0.0, s2 = 0.0;
    for (int t = 0; t < 24; ++t) {
      s1 += pack->get_coef_1x(ph, t);
    }
    for (int t = 0; t < 12; ++t) {
      s2 += pack->get_coef_2x(ph, t);
    }
    EXPECT_NEAR(s1, 1.0, 3e-4) << ph;
    EXPECT_NEAR(s2, 1.0, 3e-4) << ph;
  }
  // Phase 0 puts the peak on the tap of sample I (tap 11 / tap 5).
  EXPECT_FLOAT_EQ(pack->get_coef_1x(0, 11), 0.96494f);
  EXPECT_FLOAT_EQ(pack->get_coef_2x(0, 5), 1.159896529f);
  EXPECT_EQ(rspl::InterpPack::get_len_pre(), 12);
  EXPECT_EQ(rspl::InterpPack::get_len_post(), 12);
}

TEST(InterpPack, MeasuredResponses) {
  const double* t1 = rspl::InterpPack::_fir_1x_coef_arr;
  const double* t2 = rspl::InterpPack::_fir_2x_coef_arr;
  // 24 taps: flat to 0.4 of the table rate, images above 0.75 rejected.
  EXPECT_NEAR(db(impulse_gain(t1, 24 * 64, 0.2)), 0.0, 0.01);
  EXPECT_NEAR(db(impulse_gain(t1, 24 * 64, 0.4)), 0.0, 0.1);
  // 12 taps: the whole level (to 0.45) passes; above 0.8 rejected.
  EXPECT_NEAR(db(impulse_gain(t2, 12 * 64, 0.3)), 0.0, 0.01);
  EXPECT_NEAR(db(impulse_gain(t2, 12 * 64, 0.45)), 0.0, 0.5);
  for (double f = 0.75; f <= 3.0; f += 0.01) {
    ASSERT_LT(db(impulse_gain(t1, 24 * 64, f)), -75.0) << f;
  }
  for (double f = 0.8; f <= 3.0; f += 0.01) {
    ASSERT_LT(db(impulse_gain(t2, 12 * 64, f)), -68.0) << f;
  }
}

TEST(InterpPack, InterpolatesBetweenSamples) {
  // A slow sine: both interpolators return the sine at fractional places.
  std::vector<float> table(400);
  for (int i = 0; i < 400; ++i) {
    table[i] = float(std::sin(2.0 * M_PI * 0.02 * (i - 100)));
  }
  const float* base = table.data() + 100;  // 100 samples of margin
  const auto pack = std::make_unique<rspl::InterpPack>();
  for (int64_t pos = int64_t(10) << 32; pos < (int64_t(200) << 32); pos += 0x3A5C1E2Bll) {
    const double x = double(pos) / 4294967296.0;
    const double expected = std::sin(2.0 * M_PI * 0.02 * x);
    ASSERT_NEAR(pack->interp_norm_at(base, pos), expected, 2e-4) << x;
    ASSERT_NEAR(pack->interp_ovrspl_at(base, pos), expected, 2e-4) << x;
  }
  // Block forms advance the head by its step; the oversampled one halves.
  rspl::BaseVoiceState v;
  v._table_ptr = base;
  v._pos = int64_t(20) << 32;
  v._step = int64_t(3) << 30;  // 0.75
  float out[8];
  pack->interp_ovrspl(out, 8, v);
  EXPECT_EQ(v._pos, (int64_t(20) << 32) + 8 * (int64_t(3) << 30));
  EXPECT_NEAR(out[4], 0.5 * std::sin(2.0 * M_PI * 0.02 * 23.0), 1e-4);
}

TEST(Downsampler2Flt, CoefficientsGiveTheDesignedResponse) {
  for (int i = 0; i < 7; ++i) {
    EXPECT_GT(rspl::ResamplerFlt::_dwnspl_coef_arr[i], 0.0);
    EXPECT_LT(rspl::ResamplerFlt::_dwnspl_coef_arr[i], 1.0);
  }
  // Steady-state amplitude for a sine at f cycles per input sample.
  auto measure = [](double f) {
    rspl::Downsampler2Flt d;
    d.set_coefs(rspl::ResamplerFlt::_dwnspl_coef_arr);
    const int n = 8192;
    std::vector<float> in(2 * n), out(n);
    for (int i = 0; i < 2 * n; ++i) {
      in[i] = float(std::sin(2.0 * M_PI * f * i));
    }
    d.downsample_block(out.data(), in.data(), n);
    // Amplitude at the output frequency 2f by correlation over the
    // second half (the filter has settled).
    std::complex<double> acc = 0.0;
    for (int i = n / 2; i < n; ++i) {
      acc += double(out[i]) * std::polar(1.0, -2.0 * M_PI * 2.0 * f * i);
    }
    return 2.0 * std::abs(acc) / (n / 2);
  };
  // From reference_values.py: gain 2 in the pass band, 1.4142 at 0.25.
  EXPECT_NEAR(measure(0.05), 2.0, 1e-3);
  EXPECT_NEAR(measure(0.2), 2.0, 1e-3);
  EXPECT_NEAR(measure(0.24), 1.997483705, 1e-3);
  EXPECT_NEAR(measure(0.245), 1.948505056, 2e-3);
  EXPECT_LT(measure(0.3), 2.0 * 1e-4);  // -93.9 dB, above float noise
  EXPECT_LT(measure(0.4), 2.0 * 1e-4);
}

TEST(Downsampler2Flt, PhaseFilterMatchesDecimatorAndSwitchesCleanly) {
  // The same sine given at the output rate (phase_block) and at twice
  // the rate with half amplitude (downsample_block, as behind the 0.5
  // interpolator) comes out identical in the pass band.
  const double f_out = 0.03;
  const int n = 2000;
  rspl::Downsampler2Flt a, b;
  a.set_coefs(rspl::ResamplerFlt::_dwnspl_coef_arr);
  b.set_coefs(rspl::ResamplerFlt::_dwnspl_coef_arr);
  std::vector<float> x1(n), x2(2 * n), y1(n), y2(n);
  for (int i = 0; i < n; ++i) {
    x1[i] = float(std::sin(2.0 * M_PI * f_out * i));
  }
  for (int i = 0; i < 2 * n; ++i) {
    x2[i] = float(0.5 * std::sin(2.0 * M_PI * f_out * 0.5 * i));
  }
  a.phase_block(y1.data(), x1.data(), n);
  b.downsample_block(y2.data(), x2.data(), n);
  for (int i = n / 2; i < n; ++i) {
    ASSERT_NEAR(y1[i], y2[i], 2e-4) << i;
  }
  // Switching one decimator from the phase filter to decimation mid-signal,
  // with branch A rebuilt from the odd samples it missed, continues exactly
  // as if it had been decimating all along.
  rspl::Downsampler2Flt c;
  c.set_coefs(rspl::ResamplerFlt::_dwnspl_coef_arr);
  std::vector<float> y3(n), odd(160);
  c.phase_block(y3.data(), x1.data(), n / 2);
  for (int k = 0; k < 160; ++k) {
    odd[k] = x2[size_t(n - 2 * 160 + 2 * k + 1)];
  }
  c.prime_branch_a(odd.data(), 160);
  c.downsample_block(y3.data() + n / 2, x2.data() + n, n / 2);
  for (int i = n / 4; i < n; ++i) {
    ASSERT_NEAR(y3[i], y2[i], 2e-4) << i;
  }
}

}  // namespace
