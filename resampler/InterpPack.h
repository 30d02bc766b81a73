// The table player's two polyphase interpolators.
//
// Each interpolator is a windowed-sinc impulse sampled 64 times per tap and
// split into 64 phases. A phase stores, per tap, the coefficient and the
// difference to the next point of the impulse, so the fraction between two
// phases is interpolated linearly: coefficient = c + d * q.
//
//  - 24 taps, normal playback (a step of at most one table sample per output
//    sample). Reads table samples I - 11 .. I + 12.
//  - 12 taps, oversampled playback into the double-rate buffer. Reads table
//    samples I - 5 .. I + 6. Its outputs are scaled by 0.5 because the
//    decimator that follows sums its two branches (gain 2).
//
// A head's position P splits into I = P >> 32 and a 32-bit fraction F; the
// phase is the top 6 bits of F and q the remaining 26 bits as 0..1. Both
// interpolators are zero-latency (centred on P). The caller keeps the head
// inside the level: the reads above need the level's margins.
#pragma once

#include "resampler/BaseVoiceState.h"

#include <cstdint>

namespace rspl {

class InterpPack {
 public:
  static constexpr int kNbrPhases = 64;
  static constexpr int kNbrTaps1x = 24;
  static constexpr int kNbrTaps2x = 12;

  // Impulses, 64 points per tap, centred on index taps / 2 * 64.
  static const double _fir_1x_coef_arr[kNbrTaps1x * kNbrPhases];
  static const double _fir_2x_coef_arr[kNbrTaps2x * kNbrPhases];

  InterpPack() noexcept;

  // Samples the interpolators read before and after the head's position
  // (a margin this wide keeps every read inside the level's storage).
  static constexpr int get_len_pre() noexcept { return 12; }
  static constexpr int get_len_post() noexcept { return 12; }

  // Normal head: writes n samples, advancing v by v._step per sample.
  void interp_norm(float* dest, int n, BaseVoiceState& v) const noexcept;
  // Normal head: adds vol * sample, vol += vol_step per sample, advancing
  // v by step (the player halves it inside the double-rate buffer).
  void interp_norm_ramp_add(float* dest, int n, BaseVoiceState& v, int64_t step, float vol,
                            float vol_step) const noexcept;
  // Oversampled head: writes 0.5 * sample, advancing v by v._step.
  void interp_ovrspl(float* dest, int n, BaseVoiceState& v) const noexcept;
  // Oversampled head: adds 0.5 * vol * sample with the ramp as above.
  void interp_ovrspl_ramp_add(float* dest, int n, BaseVoiceState& v, int64_t step, float vol,
                              float vol_step) const noexcept;

  // One sample at a position, without advancing (used by the tests too).
  float interp_norm_at(const float* table, int64_t pos) const noexcept;
  float interp_ovrspl_at(const float* table, int64_t pos) const noexcept;

  // Coefficient of a phase and tap (c, without the difference term).
  float get_coef_1x(int phase, int tap) const noexcept { return _phase_1x[phase].coef[tap]; }
  float get_coef_2x(int phase, int tap) const noexcept { return _phase_2x[phase].coef[tap]; }

 private:
  template <int N>
  struct Phase {
    float coef[N];
    float dif[N];
  };

  template <int N>
  static void build(Phase<N> (&phase_arr)[kNbrPhases], const double* imp) noexcept;

  template <int N>
  static float interp_one(const Phase<N> (&phase_arr)[kNbrPhases], const float* table, int64_t pos) noexcept;

  Phase<kNbrTaps1x> _phase_1x[kNbrPhases];
  Phase<kNbrTaps2x> _phase_2x[kNbrPhases];
};

}  // namespace rspl
