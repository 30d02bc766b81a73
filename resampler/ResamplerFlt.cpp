#include "resampler/ResamplerFlt.h"

#include "resampler/InterpPack.h"
#include "resampler/MipMapFlt.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace rspl {

// Full symmetric impulse; the centre tap is index 40.
const double ResamplerFlt::_fir_mip_map_coef_arr[kNbrMipMapTaps] = {
    0.0001991612514, 0.000652681315,  0.0007321838627, -5.20770713e-05,  -0.0007641618462, -5.638448426e-05,
    0.001043007134,  0.0002618629784, -0.001427331739, -0.0005903598292, 0.001886374043,   0.001076466716,
    -0.00241732264,  -0.001750193532, 0.003009892088,  0.002655276516,   -0.003657747155,  -0.003838234309,
    0.004347045423,  0.005358361364,  -0.005067457982, -0.007294029088,  0.00579846115,    0.009746961422,
    -0.006524811739, -0.01286996135,  0.007226610031,  0.01690351872,    -0.007884756779,  -0.02225965965,
    0.008479591244,  0.02971806374,   -0.008993687303, -0.04095867041,   0.009411374397,   0.06037160312,
    -0.009719550593, -0.1041018935,   0.009908930771,  0.3176382757,     0.4900273874,     0.3176382757,
    0.009908930771,  -0.1041018935,   -0.009719550593, 0.06037160312,    0.009411374397,   -0.04095867041,
    -0.008993687303, 0.02971806374,   0.008479591244,  -0.02225965965,   -0.007884756779,  0.01690351872,
    0.007226610031,  -0.01286996135,  -0.006524811739, 0.009746961422,   0.00579846115,    -0.007294029088,
    -0.005067457982, 0.005358361364,  0.004347045423,  -0.003838234309,  -0.003657747155,  0.002655276516,
    0.003009892088,  -0.001750193532, -0.00241732264,  0.001076466716,   0.001886374043,   -0.0005903598292,
    -0.001427331739, 0.0002618629784, 0.001043007134,  -5.638448426e-05, -0.0007641618462, -5.20770713e-05,
    0.0007321838627, 0.000652681315,  0.0001991612514,
};

const double ResamplerFlt::_dwnspl_coef_arr[Downsampler2Flt::kNbrCoefs] = {
    0.0457281, 0.168088, 0.332501, 0.504486, 0.663202, 0.803781, 0.933856,
};

ResamplerFlt::ResamplerFlt() noexcept {
  std::memset(_buf, 0, sizeof(_buf));
  _dwnspl.set_coefs(_dwnspl_coef_arr);
}

void ResamplerFlt::set_sample(const MipMapFlt& mip_map) noexcept {
  assert(mip_map.is_ready());
  _mip_map_ptr = &mip_map;
  _pitch = 0;
  BaseVoiceState& cur = _voice_arr[_cur];
  cur._pos = 0;
  select_level(cur, _pitch);
  _fade_flag = false;
  _fade_needed_flag = false;
}

void ResamplerFlt::set_interp(const InterpPack& interp) noexcept { _interp_ptr = &interp; }

void ResamplerFlt::select_level(BaseVoiceState& voice, int pitch) noexcept {
  assert(_mip_map_ptr != nullptr);
  const int level = std::min(BaseVoiceState::level_for_pitch(pitch), _mip_map_ptr->get_nbr_tables() - 1);
  voice.convert_pos_to_level(level);
  voice._ovrspl_flag = BaseVoiceState::ovrspl_for_pitch(pitch);
  voice._table_ptr = _mip_map_ptr->use_table(level);
  voice._table_len = _mip_map_ptr->get_lev_len(level);
  voice.compute_step(pitch);
}

void ResamplerFlt::set_pitch(int pitch) noexcept {
  assert(_mip_map_ptr != nullptr);
  if (_mip_map_ptr == nullptr) {
    return;  // no waveform yet; set_sample() starts from pitch 0 anyway
  }
  const int max_pitch = _mip_map_ptr->get_nbr_tables() * (1 << BaseVoiceState::kNbrBitsPerOct) - 1;
  assert(pitch <= max_pitch);
  pitch = std::min(pitch, max_pitch);
  _pitch = pitch;

  BaseVoiceState& cur = _voice_arr[_cur];
  const int level = std::min(BaseVoiceState::level_for_pitch(pitch), _mip_map_ptr->get_nbr_tables() - 1);
  _fade_needed_flag = (level != cur._table || BaseVoiceState::ovrspl_for_pitch(pitch) != cur._ovrspl_flag);
  cur.compute_step(pitch);
  if (_fade_flag) {
    _voice_arr[1 - _cur].compute_step(pitch);
  }
}

void ResamplerFlt::set_playback_pos(int64_t pos) noexcept {
  assert(_mip_map_ptr != nullptr);
  assert(pos >= 0);
  assert(_mip_map_ptr == nullptr || (pos >> 32) < _mip_map_ptr->get_sample_len());
  for (BaseVoiceState& voice : _voice_arr) {
    voice._pos = pos >> voice._table;
  }
}

int64_t ResamplerFlt::get_playback_pos() const noexcept {
  const BaseVoiceState& cur = _voice_arr[_cur];
  return cur._pos * (int64_t(1) << cur._table);
}

void ResamplerFlt::clear_buffers() noexcept {
  _dwnspl.clear_buffers();
  if (_mip_map_ptr != nullptr) {
    select_level(_voice_arr[_cur], _pitch);
  }
  _fade_flag = false;
  _fade_needed_flag = false;
}

void ResamplerFlt::prime_decimator(const BaseVoiceState& voice) noexcept {
  // Output m of the decimator takes its branch-A input half an output
  // sample after its branch-B input. The normal head's past samples at
  // those half-way positions, P - (k + 1/2) * step for k = K-1 .. 0, are
  // what branch A would have seen had the player been decimating all along.
  const int64_t step = voice._step;
  const int64_t last_pos = voice._pos - (step >> 1);
  int nbr = kPrimeLen;
  if (last_pos < 0) {
    nbr = 0;  // just restarted at 0: there is no history to rebuild
  } else if (step > 0) {
    nbr = int(std::min<int64_t>(nbr, last_pos / step + 1));
  }
  BaseVoiceState past = voice;
  past._pos = last_pos - int64_t(nbr > 0 ? nbr - 1 : 0) * step;
  _interp_ptr->interp_norm(_buf, nbr, past);
  for (int i = 0; i < nbr; ++i) {
    _buf[i] *= 0.5f;
  }
  _dwnspl.prime_branch_a(_buf, nbr);
}

void ResamplerFlt::begin_fade() noexcept {
  if (!_voice_arr[_cur]._ovrspl_flag) {
    // Leaving the phase filter for the decimator.
    prime_decimator(_voice_arr[_cur]);
  }
  const int old = _cur;
  _cur = 1 - _cur;
  _voice_arr[_cur] = _voice_arr[old];
  select_level(_voice_arr[_cur], _pitch);
  _fade_pos = 0;
  _fade_flag = true;
  _fade_needed_flag = false;
}

int ResamplerFlt::count_in_bounds(const BaseVoiceState& voice, int64_t step, int nbr_spl) const noexcept {
  // The 24-tap interpolator reads 11 samples before and 12 after the
  // position; the 12-tap one less. Use the wider reach for both.
  const int64_t first_ok = -int64_t(_mip_map_ptr->get_add_len_pre()) + 11;
  const int64_t last_ok = voice._table_len + _mip_map_ptr->get_add_len_post() - 13;
  const int64_t index = voice._pos >> 32;
  if (index < first_ok || index > last_ok) {
    return 0;
  }
  if (step <= 0) {
    return nbr_spl;
  }
  const int64_t room = ((last_ok << 32) | 0xFFFFFFFFll) - voice._pos;
  const int64_t fit = room / step + 1;
  return static_cast<int>(std::min<int64_t>(fit, nbr_spl));
}

void ResamplerFlt::render_fade(float dest[], int nbr_spl) noexcept {
  const int buf_spl = nbr_spl * 2;
  std::fill(_buf, _buf + buf_spl, 0.0f);

  const float ramp_step = 1.0f / float(kFadeLen * 2);
  const float vol_new = float(_fade_pos) / float(kFadeLen);
  const float vol_old = 1.0f - vol_new;
  const float vol_arr[2] = {vol_new, vol_old};
  const float vol_step_arr[2] = {ramp_step, -ramp_step};
  BaseVoiceState* voice_ptr_arr[2] = {&_voice_arr[_cur], &_voice_arr[1 - _cur]};

  for (int k = 0; k < 2; ++k) {
    BaseVoiceState& voice = *voice_ptr_arr[k];
    // The buffer runs at twice the output rate. An oversampled head's step
    // is already per buffer sample; a normal head's step is per output
    // sample, so it takes half of it here to stay at its own pitch. Its
    // samples are halved like the 12-tap ones because the decimator sums
    // its branches.
    const int64_t step = voice._ovrspl_flag ? voice._step : (voice._step >> 1);
    const int nbr_ok = count_in_bounds(voice, step, buf_spl);
    assert(nbr_ok == buf_spl);
    if (voice._ovrspl_flag) {
      _interp_ptr->interp_ovrspl_ramp_add(_buf, nbr_ok, voice, step, vol_arr[k], vol_step_arr[k]);
    } else {
      _interp_ptr->interp_norm_ramp_add(_buf, nbr_ok, voice, step, 0.5f * vol_arr[k], 0.5f * vol_step_arr[k]);
    }
  }

  _dwnspl.downsample_block(dest, _buf, nbr_spl);
  _fade_pos += nbr_spl;
  if (_fade_pos >= kFadeLen) {
    _fade_flag = false;
  }
}

void ResamplerFlt::interpolate_block(float dest[], int nbr_spl) noexcept {
  assert(_mip_map_ptr != nullptr);
  assert(_interp_ptr != nullptr);
  assert(dest != nullptr);
  assert(nbr_spl > 0);
  if (_mip_map_ptr == nullptr || _interp_ptr == nullptr) {
    std::fill(dest, dest + std::max(nbr_spl, 0), 0.0f);  // not set up: silence
    return;
  }

  int pos = 0;
  while (pos < nbr_spl) {
    if (_fade_needed_flag && !_fade_flag) {
      begin_fade();
    }
    const int rest = nbr_spl - pos;
    BaseVoiceState& cur = _voice_arr[_cur];

    if (_fade_flag) {
      const int m = std::min({rest, kFadeLen - _fade_pos, int(_buf_len)});
      render_fade(dest + pos, m);
      pos += m;
    } else if (cur._ovrspl_flag) {
      const int m = std::min(rest, int(_buf_len));
      const int nbr_ok = count_in_bounds(cur, cur._step, m * 2);
      assert(nbr_ok == m * 2);
      _interp_ptr->interp_ovrspl(_buf, nbr_ok, cur);
      std::fill(_buf + nbr_ok, _buf + m * 2, 0.0f);
      _dwnspl.downsample_block(dest + pos, _buf, m);
      pos += m;
    } else {
      const int nbr_ok = count_in_bounds(cur, cur._step, rest);
      assert(nbr_ok == rest);
      _interp_ptr->interp_norm(dest + pos, nbr_ok, cur);
      std::fill(dest + pos + nbr_ok, dest + nbr_spl, 0.0f);
      _dwnspl.phase_block(dest + pos, dest + pos, rest);
      pos = nbr_spl;
    }
  }
}

}  // namespace rspl
