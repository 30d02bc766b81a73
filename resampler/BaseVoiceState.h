// One read head of the table player.
//
// A head walks through one level of a mip-map pyramid. Its position and its
// step are 32.32 fixed point (signed 64-bit) in samples of that level, so a
// head can run for hours of table time without losing phase. The player keeps
// two heads so it can crossfade when the level changes.
#pragma once

#include <cstdint>

namespace rspl {

class BaseVoiceState {
 public:
  static constexpr int kNbrBitsPerOct = 16;
  static constexpr int kFracBits = 32;

  // Position in samples of level _table (32.32).
  int64_t _pos = 0;
  // Advance per rendered sample (32.32). For an oversampled head this is per
  // sample of the double-rate buffer.
  int64_t _step = int64_t(1) << (kFracBits - 1);
  // First sample of the level (margins readable on both sides) and its length.
  const float* _table_ptr = nullptr;
  int64_t _table_len = 0;
  int _table = 0;
  bool _ovrspl_flag = true;

  // Level and oversampling state a pitch (1/65536 octave) asks for.
  static int level_for_pitch(int pitch) noexcept;
  static bool ovrspl_for_pitch(int pitch) noexcept { return pitch >= 0; }

  // Step for this head's own level and oversampling state at that pitch.
  void compute_step(int pitch) noexcept;

  // Moves the position to another level of the same pyramid, keeping the
  // place in the waveform (level L+1 sample n sits at level L sample 2n).
  void convert_pos_to_level(int new_table) noexcept;
};

}  // namespace rspl
