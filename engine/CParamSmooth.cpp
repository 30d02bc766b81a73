#include "engine/CParamSmooth.h"

#include <cmath>

namespace {
// Coefficients for 4 ms at 44100 Hz, used until a valid init() arrives. This
// is what every user asks for first, so a bad first call still leaves a sane
// smoother behind.
constexpr float kDefaultA = 0.9650079f;  // exp(-6.2831855 / 176.4) in single precision
}  // namespace

CParamSmooth::CParamSmooth(float smoothingTimeMs, float sampleRate)
    : a(kDefaultA), b(1.0f - kDefaultA), z(0.0f) {
  init(smoothingTimeMs, sampleRate);
}

void CParamSmooth::init(float smoothingTimeMs, float sampleRate) {
  z = 0.0f;
  // Reject 0, negatives, NaN and infinities (NaN fails every comparison).
  if (!(smoothingTimeMs > 0.0f) || !(sampleRate > 0.0f) ||
      !std::isfinite(smoothingTimeMs) || !std::isfinite(sampleRate)) {
    return;
  }
  // In double, where no product of two finite floats overflows or
  // underflows to 0.
  const double samples = 0.001 * smoothingTimeMs * sampleRate;
  a = static_cast<float>(std::exp(-6.2831855 / samples));
  b = 1.0f - a;
}
