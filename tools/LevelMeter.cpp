#include "LevelMeter.h"

#include <cmath>
#include <initializer_list>
#include <limits>

namespace vxtools {

void LevelMeter::add(const float* left, const float* right, int frames) {
  for (const float* channel : {left, right}) {
    for (int i = 0; i < frames; ++i) {
      const double x = channel[i];
      if (!std::isfinite(x)) {
        ++m_nonFinite;
        continue;
      }
      const double a = std::fabs(x);
      if (a > m_peak) m_peak = a;
      m_sumSquares += x * x;
      ++m_samples;
    }
  }
}

double LevelMeter::rms() const {
  if (m_samples == 0) return 0.0;
  return static_cast<double>(std::sqrt(m_sumSquares / static_cast<long double>(m_samples)));
}

double LevelMeter::toDb(double linear) {
  if (!(linear > 0.0)) return -std::numeric_limits<double>::infinity();
  return 20.0 * std::log10(linear);
}

}  // namespace vxtools
