// The one guard every distortion parameter setter shares. The instrument
// hands over values already limited to 0..1, but a NaN that got through
// would poison a smoother for good, so setters keep their old value then.
#pragma once

namespace distortion_param {

inline float sanitise(float value, float previous) {
  if (value != value) return previous;  // NaN
  if (value < 0.0f) return 0.0f;
  if (value > 1.0f) return 1.0f;
  return value;
}

}  // namespace distortion_param
