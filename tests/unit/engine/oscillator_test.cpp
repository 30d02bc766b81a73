// The band-limited oscillator plays the note the voice asks for: a quarter
// of the table frequency times 2^(2 tuning - 1), whatever the rate, the
// waveform and the octave of the mip-map level it reads.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/Oscillator.h"
#include "engine/Tables.h"

TEST(BandLimitedOscillator, FundamentalFollowsNoteTuningAndRate) {
  struct Case {
    int note;
    float tuning;
    double rate;
  };
  // Middle, top and bottom of the keyboard, the tuning extremes, and rates
  // from 44.1 to 192 kHz; the last four ask for a table step below one
  // half (more than an octave under the table's natural pitch, 3.5 octaves
  // at 192 kHz); note 25 sits on the pyramid's level 1.
  const Case cases[] = {{13, 0.5f, 44100.0}, {25, 0.5f, 48000.0}, {37, 0.25f, 96000.0},
                        {60, 1.0f, 44100.0}, {60, 0.0f, 48000.0}, {1, 0.0f, 44100.0},
                        {10, 0.0f, 96000.0}, {1, 0.5f, 96000.0},  {1, 0.0f, 192000.0}};
  Oscillator osc;
  for (bool square : {false, true}) {
    osc.setWaveform(square);
    for (const Case& c : cases) {
      // Two seconds as the engine renders them: blocks of 512, chunks of 32.
      const double expected = double(cNoteFreq[c.note]) / 4.0 * std::exp2(2.0 * c.tuning - 1.0);
      std::vector<float> x;
      osc.restart();
      while (x.size() < size_t(2.0 * c.rate)) {
        osc.beginBlock();
        for (int i = 0; i < 512; i += Oscillator::kChunk) {
          osc.processResampler2(Oscillator::kChunk, cNoteFreq[c.note], c.tuning, c.rate);
          for (int j = i; j < i + Oscillator::kChunk; ++j) x.push_back(osc.sample(j));
        }
      }
      // Both waves cross zero upwards once a cycle: the mean period between
      // the first and last crossing (interpolated) gives the frequency.
      double first = -1.0, last = -1.0, sum2 = 0.0;
      int cycles = -1;
      for (size_t i = 1; i < x.size(); ++i) {
        sum2 += double(x[i]) * x[i];
        if (i < 512 || !(x[i - 1] < 0.0f && x[i] >= 0.0f)) continue;
        last = double(i - 1) + x[i - 1] / double(x[i - 1] - x[i]);
        first = first < 0.0 ? last : first;
        ++cycles;
      }
      const double cents = 1200.0 * std::log2(cycles / (last - first) * c.rate / expected);
      EXPECT_NEAR(cents, 0.0, 0.5) << (square ? "square" : "saw") << " note " << c.note << " tuning "
                                   << c.tuning << " at " << c.rate << " Hz (" << expected << " Hz)";
      // Harmonic n of the saw (-1 to 1) has amplitude 2 / (pi n), so those
      // below 0.45 of the rate give RMS^2 = 2 / pi^2 * sum 1/n^2; a wrong
      // gain on either path of the player shows here. The square is a tone too.
      double expected2 = 0.0;
      for (int h = 1; h * expected < 0.45 * c.rate; ++h) expected2 += 2.0 / (M_PI * M_PI) / (double(h) * h);
      const double rms = std::sqrt(sum2 / double(x.size()));
      EXPECT_NEAR(rms, square ? 0.6 : std::sqrt(expected2), square ? 0.3 : 0.005)
          << c.note << " at " << c.rate;
    }
  }
  // Below 22050 Hz the oscillator renders nothing.
  osc.beginBlock();
  osc.processResampler2(32, cNoteFreq[13], 0.5f, 16000.0);
  EXPECT_EQ(osc.written(), 0);
}
