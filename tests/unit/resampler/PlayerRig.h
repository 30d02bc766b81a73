// Test helpers for the table player: a pyramid-plus-player rig and two
// independent measurements of a rendered signal (zero-crossing frequency and
// a windowed FFT split into harmonic and non-harmonic components).
#pragma once

#include "resampler/InterpPack.h"
#include "resampler/MipMapFlt.h"
#include "resampler/ResamplerFlt.h"
#include "resampler/TableOscillator.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <vector>

namespace rspl_test {

// Pyramid from a kTableLen source, a player set on it, position 0.
struct PlayerRig {
  explicit PlayerRig(const std::vector<float>& source) {
    rspl::build_oscillator_mip_map(*mip_map, source.data());
    player->set_sample(*mip_map);
    player->set_interp(*interp);
    player->clear_buffers();
  }

  // Renders n samples in 32-sample chunks at a fixed pitch, as the voice does.
  std::vector<float> render(int n, int pitch) {
    std::vector<float> out(static_cast<size_t>(n));
    for (int i = 0; i < n; i += rspl::kChunkLen) {
      rspl::render_chunk(*player, out.data() + i, std::min(rspl::kChunkLen, n - i), pitch);
    }
    return out;
  }

  std::unique_ptr<rspl::MipMapFlt> mip_map = std::make_unique<rspl::MipMapFlt>();
  std::unique_ptr<rspl::InterpPack> interp = std::make_unique<rspl::InterpPack>();
  std::unique_ptr<rspl::ResamplerFlt> player = std::make_unique<rspl::ResamplerFlt>();
};

inline std::vector<float> sine_source() {
  std::vector<float> v(rspl::kTableLen);
  for (int i = 0; i < rspl::kTableLen; ++i) {
    v[i] = float(std::sin(2.0 * M_PI * i / rspl::kTableCycleLen));
  }
  return v;
}

// Frequency in cycles per sample from the upward zero crossings (linear
// interpolation between samples), first to last.
inline double zero_crossing_freq(const std::vector<float>& x, size_t start) {
  double first = -1.0, last = -1.0;
  int cycles = -1;
  for (size_t i = start + 1; i < x.size(); ++i) {
    if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
      const double t = double(i - 1) + double(-x[i - 1]) / double(x[i] - x[i - 1]);
      if (first < 0.0) {
        first = t;
      }
      last = t;
      ++cycles;
    }
  }
  return cycles > 0 ? cycles / (last - first) : 0.0;
}

inline void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) {
      j ^= bit;
    }
    j ^= bit;
    if (i < j) {
      std::swap(a[i], a[j]);
    }
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> wl = std::polar(1.0, -2.0 * M_PI / double(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1.0);
      for (size_t j = 0; j < len / 2; ++j) {
        const auto u = a[i + j];
        const auto v = a[i + j + len / 2] * w;
        a[i + j] = u + v;
        a[i + j + len / 2] = u - v;
        w *= wl;
      }
    }
  }
}

struct AliasReport {
  double worst_db = -400.0;  // strongest non-harmonic bin re the fundamental
  double worst_hz = 0.0;
};

// Blackman-Harris window (sidelobes -92 dB), power-of-two length from start.
// Bins within 8 bins of a multiple of f0_hz are harmonics; the rest count
// as aliases when at or below max_hz.
inline AliasReport measure_aliases(const std::vector<float>& x, size_t start, size_t n, double sample_rate,
                                   double f0_hz, double max_hz) {
  std::vector<std::complex<double>> a(n);
  for (size_t k = 0; k < n; ++k) {
    const double p = 2.0 * M_PI * double(k) / double(n);
    const double w = 0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
    a[k] = x[start + k] * w;
  }
  fft(a);
  const double bin_hz = sample_rate / double(n);
  const int f0_bin = int(f0_hz / bin_hz + 0.5);
  double fund = 0.0;
  for (int k = f0_bin - 3; k <= f0_bin + 3; ++k) {
    fund = std::max(fund, std::abs(a[size_t(k)]));
  }
  AliasReport rep;
  for (size_t k = 8; k < n / 2; ++k) {
    const double f = double(k) * bin_hz;
    const double h = f / f0_hz;
    const double dist_bins = std::fabs(h - std::round(h)) * f0_hz / bin_hz;
    if ((std::round(h) >= 1.0 && dist_bins < 8.0) || f > max_hz) {
      continue;
    }
    const double db = 20.0 * std::log10(std::abs(a[k]) / fund + 1e-30);
    if (db > rep.worst_db) {
      rep.worst_db = db;
      rep.worst_hz = f;
    }
  }
  return rep;
}

}  // namespace rspl_test
