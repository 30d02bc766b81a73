// Peak and RMS level of a stereo render, in dBFS (1.0 = 0 dBFS). Samples that
// are not finite are counted apart and left out of both figures, so one NaN
// cannot hide the level of the rest.
#pragma once

#include <cstdint>

namespace vxtools {

class LevelMeter {
 public:
  void add(const float* left, const float* right, int frames);

  double peak() const { return m_peak; }
  double rms() const;
  // 20·log10 of the value; -infinity for silence.
  static double toDb(double linear);
  double peakDb() const { return toDb(m_peak); }
  double rmsDb() const { return toDb(rms()); }
  int64_t nonFiniteSamples() const { return m_nonFinite; }
  int64_t samples() const { return m_samples; }

 private:
  double m_peak = 0.0;
  long double m_sumSquares = 0.0L;
  int64_t m_samples = 0;
  int64_t m_nonFinite = 0;
};

}  // namespace vxtools
