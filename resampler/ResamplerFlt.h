// Band-limited table player.
//
// Plays a mip-mapped waveform at a pitch given in 1/65536 octave relative to
// one level-0 sample per output sample. For a pitch p >= 0 it reads level
// floor(p / 65536) at one to two level samples per output sample, renders at
// twice the output rate with the 12-tap interpolator and decimates, which
// removes what would alias. For p < 0 it reads level 0 slower than one sample
// per output sample with the 24-tap interpolator (no oversampling needed) and
// runs the result through the decimator's phase filter, so both paths share
// one phase response. Any negative pitch works: the step then drops below one
// half and keeps dropping.
//
// Whenever the pitch asks for another level or another path, the player
// crossfades over 64 output samples from the old read head to a new one placed
// at the same point of the waveform.
//
// Latency: none from the interpolators; the decimator (or its phase filter)
// adds its group delay, 1.15 output samples at low frequencies (the sum of
// (1 - c) / (1 + c) over branch B).
//
// Rendering works in pieces of at most _buf_len output samples in a fixed
// buffer; nothing is allocated after construction.
#pragma once

#include "resampler/BaseVoiceState.h"
#include "resampler/Downsampler2Flt.h"

#include <cstdint>

namespace rspl {

class InterpPack;
class MipMapFlt;

class ResamplerFlt {
 public:
  static constexpr int _buf_len = 128;
  static constexpr int kFadeLen = 64;
  static constexpr int kNbrMipMapTaps = 81;
  // Past samples used to rebuild the decimator's idle branch when a normal
  // head hands over to the double-rate path (fits in the buffer).
  static constexpr int kPrimeLen = 160;

  // Full 81-tap symmetric low-pass that builds the pyramid levels: flat to
  // 0.22 of the rate (gain 1.0024), -3 dB near 0.24, 90 dB down from 0.28.
  static const double _fir_mip_map_coef_arr[kNbrMipMapTaps];
  // Allpass coefficients of the decimator, c0..c6.
  static const double _dwnspl_coef_arr[Downsampler2Flt::kNbrCoefs];

  ResamplerFlt() noexcept;

  // The pyramid must be ready and outlive its use here. Resets pitch and
  // position to 0 and stops any crossfade.
  void set_sample(const MipMapFlt& mip_map) noexcept;
  void set_interp(const InterpPack& interp) noexcept;

  // Pitch in 1/65536 octave, below get_nbr_tables() * 65536. Takes effect
  // at the next interpolate_block(); a new level starts a crossfade there.
  void set_pitch(int pitch) noexcept;
  int get_pitch() const noexcept { return _pitch; }

  // Position in level-0 samples, 32.32 fixed point, 0 <= pos < length.
  void set_playback_pos(int64_t pos) noexcept;
  int64_t get_playback_pos() const noexcept;

  // Renders nbr_spl > 0 samples. The caller keeps the position inside the
  // sample (see render_chunk for the wrap the instrument uses).
  void interpolate_block(float dest[], int nbr_spl) noexcept;

  void clear_buffers() noexcept;

  // State seen from outside, for the instrument's diagnostics and tests.
  bool is_fading() const noexcept { return _fade_flag; }
  int get_fade_pos() const noexcept { return _fade_pos; }
  const BaseVoiceState& use_cur_voice() const noexcept { return _voice_arr[_cur]; }

 private:
  void select_level(BaseVoiceState& voice, int pitch) noexcept;
  void begin_fade() noexcept;
  void prime_decimator(const BaseVoiceState& voice) noexcept;
  void render_fade(float dest[], int nbr_spl) noexcept;
  // Number of samples the head can render from its position at this step
  // without reading past the level's margins (all of them, in normal use).
  int count_in_bounds(const BaseVoiceState& voice, int64_t step, int nbr_spl) const noexcept;

  const MipMapFlt* _mip_map_ptr = nullptr;
  const InterpPack* _interp_ptr = nullptr;
  float _buf[_buf_len * 2];
  Downsampler2Flt _dwnspl;
  BaseVoiceState _voice_arr[2];
  int _cur = 0;  // index of the current head; the other is the old head
  int _pitch = 0;
  int _fade_pos = 0;
  bool _fade_flag = false;
  bool _fade_needed_flag = false;
};

}  // namespace rspl
