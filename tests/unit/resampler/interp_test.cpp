// What the table player is built from: the interpolators, the decimator, the
// mip-map pyramid and the source waveforms, against measured responses and
// the numbers of reference_values.py beside this file. (The decimator's
// phase filter and its switch to decimation are heard in the player's
// glides across pitch 0.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include "resampler/Downsampler2Flt.h"
#include "resampler/InterpPack.h"
#include "resampler/MipMapFlt.h"
#include "resampler/ResamplerFlt.h"
#include "resampler/WaveSources.h"

namespace {

using Samples = std::vector<float>;

// |sum c[k] e^(-2 pi i f k / step)| / norm: the response of an impulse
// sampled `step` times per table sample (or of a plain FIR at step 1).
double gain(const double* c, int len, double f, double step = 64.0) {
  std::complex<double> s = 0.0;
  for (int k = 0; k < len; ++k) s += c[k] * std::polar(1.0, -2.0 * M_PI * f * k / step);
  return std::abs(s) / step;
}
double db(double g) { return 20.0 * std::log10(g); }

// Amplitude of a sine at f cycles per sample in x[from, to), by correlation.
double amplitude(const Samples& x, int from, int to, double f) {
  std::complex<double> acc = 0.0;
  for (int i = from; i < to; ++i) acc += double(x[size_t(i)]) * std::polar(1.0, -2.0 * M_PI * f * i);
  return 2.0 * std::abs(acc) / (to - from);
}

Samples sine(int n, double f, double amp = 1.0) {
  Samples v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[size_t(i)] = float(amp * std::sin(2.0 * M_PI * f * i));
  return v;
}

TEST(InterpPack, ShapesResponsesAndInterpolation) {
  const double* t1 = rspl::InterpPack::_fir_1x_coef_arr;  // 24 taps x 64 phases
  const double* t2 = rspl::InterpPack::_fir_2x_coef_arr;  // 12 taps x 64 phases
  const auto pack = std::make_unique<rspl::InterpPack>();
  // 24 taps: flat to 0.4 of the table rate, above 0.75 rejected; 12 taps:
  // the whole level (to 0.45) passes, above 0.8 rejected.
  EXPECT_NEAR(db(gain(t1, 24 * 64, 0.2)), 0.0, 0.01);
  EXPECT_NEAR(db(gain(t1, 24 * 64, 0.4)), 0.0, 0.1);
  EXPECT_NEAR(db(gain(t2, 12 * 64, 0.3)), 0.0, 0.01);
  EXPECT_NEAR(db(gain(t2, 12 * 64, 0.45)), 0.0, 0.5);
  for (double f = 0.75; f <= 3.0; f += 0.01) {
    ASSERT_LT(db(gain(t1, 24 * 64, f)), -75.0) << f;
    ASSERT_LT(db(gain(t2, 12 * 64, f + 0.05)), -68.0) << f + 0.05;
  }

  // A slow sine comes back at fractional places from both interpolators.
  const Samples table = sine(400, 0.02);
  const float* base =
      table.data() + 100;  // 100 samples of margin; the sine is shifted by 100 samples = 2 cycles
  for (int64_t pos = int64_t(10) << 32; pos < (int64_t(200) << 32); pos += 0x3A5C1E2Bll) {
    const double expected = std::sin(2.0 * M_PI * 0.02 * double(pos) / 4294967296.0);
    ASSERT_NEAR(pack->interp_norm_at(base, pos), expected, 2e-4);
    ASSERT_NEAR(pack->interp_ovrspl_at(base, pos), expected, 2e-4);
  }
}

TEST(Downsampler2Flt, Response) {
  // Steady-state gain for a sine at f cycles per input sample (from
  // reference_values.py: 2 in the pass band, -93.9 dB at 0.3).
  const double gains[][3] = {{0.05, 2.0, 1e-3},          {0.2, 2.0, 1e-3}, {0.24, 1.997483705, 1e-3},
                             {0.245, 1.948505056, 2e-3}, {0.3, 0.0, 2e-4}, {0.4, 0.0, 2e-4}};
  for (const auto& g : gains) {
    rspl::Downsampler2Flt d;
    d.set_coefs(rspl::ResamplerFlt::_dwnspl_coef_arr);
    Samples out(8192);
    d.downsample_block(out.data(), sine(2 * 8192, g[0]).data(), 8192);
    EXPECT_NEAR(amplitude(out, 4096, 8192, 2.0 * g[0]), g[1], g[2]) << g[0];
  }
}

TEST(MipMapFlt, FilterLayoutAndLevels) {
  const double* coefs = rspl::ResamplerFlt::_fir_mip_map_coef_arr;
  for (int k = 0; k < 40; ++k) EXPECT_EQ(coefs[k], coefs[80 - k]) << k;  // centred: levels are not shifted
  // Flat to 0.22 within +-0.0024 around the DC gain 1.0024222114, -90 dB
  // from 0.28, -3 dB at 0.23954 (reference_values.py).
  for (int i = 0; i <= 5000; ++i) {
    const double f = 0.5 * i / 5000.0, g = gain(coefs, 81, f, 1.0);
    if (f <= 0.22) {
      ASSERT_NEAR(g, 1.0, 0.0025) << f;
    } else if (f >= 0.28) {
      ASSERT_LT(db(g), -90.0) << f;
    }
  }
  EXPECT_NEAR(gain(coefs, 81, 0.0, 1.0), 1.0024222114, 1e-9);
  EXPECT_GT(gain(coefs, 81, 0.2393, 1.0), std::pow(10.0, -3.0 / 20.0));
  EXPECT_LT(gain(coefs, 81, 0.2398, 1.0), std::pow(10.0, -3.0 / 20.0));

  // Halving lengths; level L of a constant holds the DC gain^L in its
  // middle; level 1's edges are partial sums of the filter, 20 samples into
  // the 80-sample margins.
  rspl::MipMapFlt mm;
  mm.init_sample(1000, 12, 12, 5, coefs, 81);
  EXPECT_FALSE(mm.fill_sample(Samples(1000, 1.0f).data(), 1000));
  const int lens[] = {1000, 500, 250, 125, 63};
  for (int l = 0; l < 5; ++l) {
    EXPECT_EQ(mm.get_lev_len(l), lens[l]);
    EXPECT_NEAR(mm.use_table(l)[lens[l] / 2], std::pow(1.0024222114, l), 1e-5) << l;
  }
  EXPECT_NEAR(mm.use_table(1)[-1], -0.0614408637, 1e-6);
  EXPECT_TRUE(mm.use_table(1)[-21] == 0.0f && mm.use_table(1)[520] == 0.0f);

  // A sine at 0.1 cycles per level-0 sample reappears on level 1 at 0.2,
  // in phase, with the filter's gain there; one at 0.35 (|H| = 2.4e-5)
  // would alias to 0.3 and is removed.
  for (double f : {0.1, 0.35}) {
    rspl::MipMapFlt m;
    m.init_sample(4096, 12, 12, 2, coefs, 81);
    m.fill_sample(sine(4096, f).data(), 4096);
    const Samples level1(m.use_table(1) + 100, m.use_table(1) + 1948);
    EXPECT_NEAR(amplitude(level1, 0, int(level1.size()), 2.0 * f), f < 0.2 ? 1.0020548318 : 0.0,
                f < 0.2 ? 1e-3 : 3e-5);
    if (f < 0.2) {
      EXPECT_NEAR(m.use_table(1)[1000], 1.0020548318 * std::sin(2.0 * M_PI * f * 2000), 1e-3);
    }
  }
}

TEST(WaveSources, SawAndRecordedSquare) {
  // Each saw cycle runs from -1 to +1 exactly, in steps of 2 / 1023.
  Samples saw(3000);
  rspl::generate_steady_saw(saw.data(), 3000, 1024);
  for (auto [i, v] :
       {std::pair{0, -1.0}, {1, -1.0 + 2.0 / 1023}, {1023, 1.0}, {2559, -1.0 + 511 * 2.0 / 1023}})
    EXPECT_FLOAT_EQ(saw[size_t(i)], float(v)) << i;
  // The recorded square cycle: samples that define its shape (to three
  // decimals), and its extremes.
  const float* v = rspl::squarevirus;
  const std::pair<int, float> points[] = {{0, -0.437f},   {3, 0.773f},    {256, 0.684f},  {526, -0.126f},
                                          {576, -0.960f}, {992, -0.467f}, {64, 0.93803f}, {580, -0.96605f}};
  for (auto [i, value] : points) EXPECT_NEAR(v[i], value, 0.0005f) << i;
  const auto [mn, mx] = std::minmax_element(v, v + rspl::kSquareVirusLen);
  EXPECT_TRUE(*mn > -0.9661f && *mx < 0.9381f);
}

}  // namespace
