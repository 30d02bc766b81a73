#include "resampler/BaseVoiceState.h"

#include <cmath>

namespace rspl {

int BaseVoiceState::level_for_pitch(int pitch) noexcept {
  const int oct = pitch >> kNbrBitsPerOct;  // arithmetic shift: rounds down
  return oct > 0 ? oct : 0;
}

void BaseVoiceState::compute_step(int pitch) noexcept {
  // 2^(frac / 65536) / 2 in 32.32, that is 2^(frac-1) scaled by 2^32.
  // The constant is ln(2) / 65536.
  const int oct = pitch >> kNbrBitsPerOct;
  const int frac = pitch & ((1 << kNbrBitsPerOct) - 1);
  const int64_t base =
      static_cast<int64_t>(std::floor(std::exp(frac * 1.0576586617430806e-5) * 2147483648.0));
  int shift = oct - _table + (_ovrspl_flag ? 0 : 1);
  if (shift >= 0) {
    // The pitch is bounded by the pyramid height, so this stays far below
    // 2^63; the clamp only protects against a caller that skipped it.
    _step = base << (shift < 30 ? shift : 30);
  } else {
    // Pitches more than an octave below the natural rate give steps under
    // one half; a normal head interpolates correctly at any step below 1.
    shift = -shift;
    _step = shift < 63 ? (base >> shift) : 0;
  }
}

void BaseVoiceState::convert_pos_to_level(int new_table) noexcept {
  const int diff = _table - new_table;
  if (diff > 0) {
    // Left shift of a non-negative position; multiply to stay defined.
    _pos *= int64_t(1) << diff;
  } else if (diff < 0) {
    _pos >>= -diff;
  }
  _table = new_table;
}

}  // namespace rspl
