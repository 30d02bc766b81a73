#include "resampler/TableOscillator.h"

#include "resampler/MipMapFlt.h"
#include "resampler/ResamplerFlt.h"

#include <cassert>
#include <cmath>

namespace rspl {

void build_oscillator_mip_map(MipMapFlt& mip_map, const float* source) {
  mip_map.init_sample(kTableLen, kTableMargin, kTableMargin, kTableNbrLevels,
                      ResamplerFlt::_fir_mip_map_coef_arr, ResamplerFlt::kNbrMipMapTaps);
  mip_map.fill_sample(source, kTableLen);
}

int pitch_for_note(double note_freq, double tuning, double sample_rate) {
  // A rest or the silent state before the first note has frequency 0, and
  // log2(0) cannot be converted to an int.
  if (!(note_freq > 0.0) || !(sample_rate > 0.0) || !std::isfinite(tuning)) {
    return kMinPitch;
  }
  const double octaves = std::log2((note_freq * 0.25) / (sample_rate / kTableCycleLen));
  const double pitch = octaves * kPitchOctave + (2.0 * tuning - 1.0) * kPitchOctave;
  if (!(pitch > double(kMinPitch))) {
    return kMinPitch;
  }
  if (pitch > double(kMaxPitch)) {
    return kMaxPitch;
  }
  return static_cast<int>(pitch);  // truncation toward zero
}

void wrap_playback_pos(ResamplerFlt& resampler) {
  constexpr int64_t half_table = kTableLen / 2;
  constexpr int64_t cycle_fix = int64_t(kTableCycleLen) << 32;
  const int64_t pos = resampler.get_playback_pos();
  if ((pos >> 32) > half_table) {
    resampler.set_playback_pos(pos % cycle_fix + (half_table << 32));
  }
}

void render_chunk(ResamplerFlt& resampler, float* dest, int count, int pitch) {
  assert(count > 0 && count <= kChunkLen);
  resampler.set_pitch(pitch);
  wrap_playback_pos(resampler);
  resampler.interpolate_block(dest, count);
}

}  // namespace rspl
