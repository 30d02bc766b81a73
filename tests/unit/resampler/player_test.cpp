// The table player and what it is built from: the interpolators, the
// decimator, the mip-map pyramid and the source waveforms against measured
// responses; then the player as the voice drives it: pitch and step
// arithmetic, aliasing over the note range, the level crossfade, very low
// pitches and block splits (its played frequency and level: the
// oscillator's test in the engine). Expected numbers come from
// reference_values.py beside this file. (The decimator's phase filter and
// its switch to decimation are heard in the glides across pitch 0.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <memory>
#include <vector>

#include "resampler/BaseVoiceState.h"
#include "resampler/Downsampler2Flt.h"
#include "resampler/InterpPack.h"
#include "resampler/MipMapFlt.h"
#include "resampler/ResamplerFlt.h"
#include "resampler/TableOscillator.h"
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

TEST(MipMapFlt, FilterAndLevels) {
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

// A pyramid from a saw (or a sine) source and a player set on it at position 0.
struct Rig {
  explicit Rig(bool sine = false) {
    Samples source(rspl::kTableLen);
    if (sine) {
      for (int i = 0; i < rspl::kTableLen; ++i)
        source[size_t(i)] = float(std::sin(2.0 * M_PI * i / rspl::kTableCycleLen));
    } else {
      rspl::generate_steady_saw(source.data(), rspl::kTableLen, rspl::kTableCycleLen);
    }
    rspl::build_oscillator_mip_map(*mipMap, source.data());
    player->set_sample(*mipMap);
    player->set_interp(*interp);
    player->clear_buffers();
  }
  // n samples in 32-sample chunks at a fixed pitch, as the voice renders.
  Samples render(int n, int pitch) {
    Samples out(static_cast<size_t>(n));
    for (int i = 0; i < n; i += rspl::kChunkLen)
      rspl::render_chunk(*player, out.data() + i, std::min(rspl::kChunkLen, n - i), pitch);
    return out;
  }
  std::unique_ptr<rspl::MipMapFlt> mipMap = std::make_unique<rspl::MipMapFlt>();
  std::unique_ptr<rspl::InterpPack> interp = std::make_unique<rspl::InterpPack>();
  std::unique_ptr<rspl::ResamplerFlt> player = std::make_unique<rspl::ResamplerFlt>();
};

// The voice's note table: 440 * 2^((i - 22) / 12), i = 1..60.
double noteFreq(int i) { return 440.0 * std::pow(2.0, (i - 22) / 12.0); }

// Strongest non-harmonic component below maxHz, in dB re the fundamental:
// Blackman-Harris window (sidelobes -92 dB), radix-2 FFT, bins within 8 of
// a harmonic count as that harmonic.
double worstAliasDb(const Samples& x, size_t start, size_t n, double rate, double f0, double maxHz) {
  std::vector<std::complex<double>> a(n);
  for (size_t k = 0; k < n; ++k) {
    const double p = 2.0 * M_PI * double(k) / double(n);
    a[k] = x[start + k] *
           (0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p));
  }
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> wl = std::polar(1.0, -2.0 * M_PI / double(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1.0);
      for (size_t j = 0; j < len / 2; ++j, w *= wl) {
        const auto u = a[i + j], v = a[i + j + len / 2] * w;
        a[i + j] = u + v;
        a[i + j + len / 2] = u - v;
      }
    }
  }
  const double binHz = rate / double(n);
  double fund = 0.0, worst = -400.0;
  for (int k = int(f0 / binHz + 0.5) - 3; k <= int(f0 / binHz + 0.5) + 3; ++k)
    fund = std::max(fund, std::abs(a[size_t(k)]));
  for (size_t k = 8; k < n / 2 && double(k) * binHz <= maxHz; ++k) {
    const double h = double(k) * binHz / f0;
    if (std::round(h) >= 1.0 && std::fabs(h - std::round(h)) * f0 / binHz < 8.0) continue;
    worst = std::max(worst, 20.0 * std::log10(std::abs(a[k]) / fund + 1e-30));
  }
  return worst;
}

TEST(TablePlayer, NotePitchAndHeadSteps) {
  // From reference_values.py; no note, a broken rate or an absurd note give
  // a defined pitch.
  const double pitches[][4] = {
      {523.2511306011972, 0.5, 44100, 105045}, {130.8127826502993, 0.0, 44100, -91562},
      {130.8127826502993, 0.5, 96000, -99574}, {2093.004522404789, 1.0, 22050, 367189},
      {0.0, 0.5, 44100, rspl::kMinPitch},      {440.0, 0.5, 0.0, rspl::kMinPitch},
      {1e9, 1.0, 44100, rspl::kMaxPitch}};
  for (const auto& p : pitches)
    EXPECT_EQ(rspl::pitch_for_note(p[0], p[1], p[2]), int(p[3])) << p[0] << " " << p[2];
  // {pitch, level, oversampled, step in 32.32}.
  const struct {
    int pitch, level;
    bool ovr;
    int64_t step;
  } cases[] = {{0, 0, true, 2147483648},       {32768, 0, true, 3037000499},   {98304, 1, true, 3037000499},
               {-32768, 0, false, 3037000499}, {-65536, 0, false, 2147483648}, {-98304, 0, false, 1518500249},
               {-180224, 0, false, 638450708}};
  for (const auto& c : cases) {
    rspl::BaseVoiceState v;
    v._table = rspl::BaseVoiceState::level_for_pitch(c.pitch);
    v._ovrspl_flag = rspl::BaseVoiceState::ovrspl_for_pitch(c.pitch);
    v.compute_step(c.pitch);
    EXPECT_EQ(v._table, c.level) << c.pitch;
    EXPECT_EQ(v._ovrspl_flag, c.ovr) << c.pitch;
    EXPECT_EQ(v._step, c.step) << c.pitch;
  }
}

TEST(TablePlayer, SawSweepAliasing) {
  // Every note at Tuning 0.5, 44.1 kHz. The decimator's transition band lets
  // the harmonics just above Nyquist fold into the top strip (20 to 22.05
  // kHz); below 20 kHz aliases stay 60 dB down.
  Rig rig;
  const size_t n = 1 << 16, start = 4096;
  double worstAudible = -400.0;
  for (int i = 1; i <= 60; ++i) {
    const Samples out = rig.render(int(start + n), rspl::pitch_for_note(noteFreq(i), 0.5, 44100.0));
    const double audible = worstAliasDb(out, start, n, 44100.0, noteFreq(i) * 0.25, 20000.0);
    EXPECT_LT(audible, -60.0) << "note " << i;
    EXPECT_LT(worstAliasDb(out, start, n, 44100.0, noteFreq(i) * 0.25, 22050.0), -30.0) << "note " << i;
    worstAudible = std::max(worstAudible, audible);
  }
  std::printf("worst alias below 20 kHz: %.1f dB\n", worstAudible);
}

TEST(TablePlayer, GlidesAcrossLevelsWithoutAJump) {
  // Glides over level boundaries (each crossed with a 64-sample crossfade)
  // on a sine table: a jump, a gain step or a head at the wrong pitch during
  // a fade shows as a spike in the second difference or a bent envelope.
  // The interpolators' own error adds about 1e-4 per sample.
  Rig sine(true);
  for (auto [from, to] : {std::pair{-20000, 20000}, {20000, -20000}, {50000, 80000}, {200000, 180000}}) {
    sine.player->set_playback_pos(0);
    sine.player->clear_buffers();
    Samples out(600 * 32);
    for (int c = 0; c < 600; ++c)
      rspl::render_chunk(*sine.player, out.data() + c * 32, 32,
                         c < 100 ? from : from + (to - from) * std::min(c - 100, 400) / 400);
    const double bound =
        1.05 * std::pow(2.0 * M_PI * std::pow(2.0, std::max(from, to) / 65536.0) / 1024.0, 2.0) + 5e-4;
    const size_t span = size_t(1024.0 / std::pow(2.0, std::min(from, to) / 65536.0)) + 8;  // a cycle
    for (size_t i = 3202; i < out.size(); ++i)
      ASSERT_LT(std::fabs(out[i] - 2 * out[i - 1] + out[i - 2]), bound)
          << from << " -> " << to << " at " << i;
    for (size_t s = 3200; s + span < out.size(); s += span / 2)
      EXPECT_NEAR(std::fabs(*std::max_element(out.begin() + long(s), out.begin() + long(s + span),
                                              [](float a, float b) { return std::fabs(a) < std::fabs(b); })),
                  1.0, 0.02)
          << from << " -> " << to << " at " << s;
  }
}

TEST(TablePlayer, LowPitchesAndBlockSplits) {
  Rig rig;
  rspl::ResamplerFlt& player = *rig.player;
  // Far below the natural rate the head plays (slowly) and stays finite.
  player.set_playback_pos(int64_t(1000) << 32);
  for (float v : rig.render(4096, rspl::kMinPitch)) ASSERT_TRUE(std::fabs(v) < 1.5f);
  // A long run at the highest pitch stays inside the table (the head wraps).
  rig.render(1 << 18, rspl::kMaxPitch);
  EXPECT_LT(player.get_playback_pos() >> 32, rspl::kTableLen);
  // Pitch changes across levels and oversampling, rendered whole or in odd
  // pieces, give the same samples.
  Rig a, b;
  Samples whole(7 * 256), split(7 * 256);
  const int pitches[] = {-70000, -70000, 20000, 90000, 90000, 150000, 10000};
  for (int k = 0; k < 7; ++k) {
    a.player->set_pitch(pitches[k]);
    a.player->interpolate_block(whole.data() + k * 256, 256);
    b.player->set_pitch(pitches[k]);
    int done = 0;
    for (int len : {1, 7, 64, 13, 100, 71}) {
      b.player->interpolate_block(split.data() + k * 256 + done, len);
      done += len;
    }
  }
  for (size_t i = 0; i < whole.size(); ++i) ASSERT_NEAR(whole[i], split[i], 2e-6) << i;
}

}  // namespace
