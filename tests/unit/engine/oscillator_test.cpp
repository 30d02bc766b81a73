// The band-limited oscillator plays the note the voice asks for: a quarter
// of the table frequency times 2^(2 tuning - 1), whatever the rate, the
// waveform and the octave of the mip-map level it reads.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "engine/Oscillator.h"
#include "engine/Tables.h"

namespace {

// Renders `seconds` of the oscillator as the engine does: blocks of 512,
// chunks of 32 through processResampler2.
std::vector<double> render(Oscillator& osc, long double noteFreq, float tuning, double sr, double seconds) {
  const int total = int(sr * seconds);
  std::vector<double> out;
  out.reserve(size_t(total));
  osc.restart();
  for (int done = 0; done < total; done += 512) {
    osc.beginBlock();
    const int n = std::min(512, total - done);
    for (int i = 0; i < n; i += Oscillator::kChunk) {
      osc.processResampler2(std::min(Oscillator::kChunk, n - osc.written()), noteFreq, tuning, sr);
      for (int j = i; j < std::min(n, i + Oscillator::kChunk); ++j) out.push_back(osc.sample(j));
    }
  }
  return out;
}

// The signal from sample `from` on, Hann-windowed.
std::vector<double> windowed(const std::vector<double>& x, int from) {
  const size_t n = x.size() - size_t(from);
  std::vector<double> w(n);
  for (size_t i = 0; i < n; ++i) w[i] = x[size_t(from) + i] * (0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / n));
  return w;
}

// Spectrum magnitude of the windowed signal at frequency f (Hz).
double magnitude(const std::vector<double>& w, double f, double sr) {
  std::complex<double> sum = 0.0, rot = 1.0;
  const double omega = 2.0 * M_PI * f / sr;
  const std::complex<double> step = std::polar(1.0, -omega);
  for (size_t i = 0; i < w.size(); ++i) {
    if ((i & 1023) == 0) rot = std::polar(1.0, -omega * double(i));  // no drift in the rotation
    sum += w[i] * rot;
    rot *= step;
  }
  return std::abs(sum);
}

// Frequency of the strongest partial within +-60 cents of `expected`, in
// cents from it: a 2-cent scan, then a golden-section search. With a 2 s
// Hann window the main lobe is +-1 Hz wide and the nearest other partial
// (the octave) is far outside it, so the peak sits on the fundamental to
// well under a cent.
double centsOff(const std::vector<double>& w, double expected, double sr) {
  auto at = [&](double cents) { return magnitude(w, expected * std::exp2(cents / 1200.0), sr); };
  double best = -60.0, bestMag = 0.0;
  for (double c = -60.0; c <= 60.0; c += 2.0) {
    const double m = at(c);
    if (m > bestMag) {
      bestMag = m;
      best = c;
    }
  }
  const double g = 0.5 * (std::sqrt(5.0) - 1.0);
  double lo = best - 2.0, hi = best + 2.0;
  double a = hi - g * (hi - lo), b = lo + g * (hi - lo), ma = at(a), mb = at(b);
  for (int i = 0; i < 24; ++i) {
    if (ma > mb) {
      hi = b, b = a, mb = ma, a = hi - g * (hi - lo), ma = at(a);
    } else {
      lo = a, a = b, ma = mb, b = lo + g * (hi - lo), mb = at(b);
    }
  }
  return 0.5 * (lo + hi);
}

TEST(BandLimitedOscillator, FundamentalFollowsNoteTuningAndRate) {
  struct Case {
    int note;
    float tuning;
    double rate;
  };
  // Middle, top and bottom of the keyboard, the tuning extremes, and rates
  // from 44.1 to 96 kHz; the last three ask for a table step below one
  // half (more than an octave under the table's natural pitch).
  const Case cases[] = {{13, 0.5f, 44100.0}, {25, 0.5f, 48000.0}, {37, 0.25f, 96000.0}, {60, 1.0f, 44100.0},
                        {49, 0.75f, 96000.0}, {1, 0.5f, 44100.0}, {60, 0.0f, 48000.0}, {20, 1.0f, 96000.0},
                        {1, 0.0f, 44100.0},  {10, 0.0f, 96000.0}, {1, 0.5f, 96000.0}};
  Oscillator osc;
  for (bool square : {false, true}) {
    osc.setWaveform(square);
    for (const Case& c : cases) {
      const double expected = double(cNoteFreq[c.note]) / 4.0 * std::exp2(2.0 * c.tuning - 1.0);
      const std::vector<double> x = render(osc, cNoteFreq[c.note], c.tuning, c.rate, 2.1);
      const double cents = centsOff(windowed(x, int(0.1 * c.rate)), expected, c.rate);
      EXPECT_NEAR(cents, 0.0, 0.5) << (square ? "square" : "saw") << " note " << c.note << " tuning " << c.tuning
                                   << " at " << c.rate << " Hz (" << expected << " Hz)";
      // A real tone, not silence or a stuck head.
      double peak = 0.0;
      for (double v : x) peak = std::max(peak, std::fabs(v));
      EXPECT_GT(peak, 0.3);
      EXPECT_LT(peak, 1.5);
    }
  }
  // Below 22050 Hz the oscillator renders nothing.
  osc.beginBlock();
  osc.processResampler2(32, cNoteFreq[13], 0.5f, 16000.0);
  EXPECT_EQ(osc.written(), 0);
}

}  // namespace
