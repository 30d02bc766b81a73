// 2x downsampler: a half-band polyphase IIR stage with NC all-pass
// coefficients (from PolyphaseIir2Designer), run four sections at a time.
//
// For every pair of input samples (s0 the earlier) it passes s1 through
// branch A and s0 through branch B and emits the mean of the two. Gain 1 in
// the passband. Because half of each branch runs on the previous pair, the
// output is that of the plain cascade one output sample later, on top of the
// filter's own group delay. Single precision.
#pragma once

#include <xmmintrin.h>

#include <cassert>

#include "kovworks/hiir/StageDataSse.h"

namespace hiir {

template <int NC>
class Downsampler2xSse {
  static_assert(NC > 0, "a stage needs at least one coefficient");

  using Proc = StageProcSse<NC>;

 public:
  static constexpr int kNbrCoefs = NC;

  Downsampler2xSse() noexcept {
    for (int g = 0; g < Proc::kNbrSlots; ++g) {
      for (int lane = 0; lane < 4; ++lane) {
        m_filter[g].coef[lane] = 0.0f;
      }
    }
    Proc::clear_mem(m_filter);
  }

  // coef_arr: NC coefficients in (0, 1), as the designer gives them.
  void set_coefs(const double coef_arr[]) noexcept {
    assert(coef_arr != nullptr);
    Proc::set_coefs(m_filter, coef_arr);
  }

  // in_ptr holds 2 * nbr_spl samples, out_ptr receives nbr_spl. out_ptr may
  // equal in_ptr (each output is written after its pair has been read).
  void process_block(float out_ptr[], const float in_ptr[], long nbr_spl) noexcept {
    assert(out_ptr != nullptr);
    assert(in_ptr != nullptr);
    assert(nbr_spl > 0);

    Regs regs;
    load_regs(regs);
    for (long pos = 0; pos < nbr_spl; ++pos) {
      const __m128 pair = _mm_unpacklo_ps(_mm_load_ss(in_ptr + pos * 2),
                                          _mm_load_ss(in_ptr + pos * 2 + 1));
      _mm_store_ss(out_ptr + pos, step(regs, pair));
    }
    store_regs(regs);
  }

  float process_sample(const float in_ptr[2]) noexcept {
    float out = 0.0f;
    process_block(&out, in_ptr, 1);
    return out;
  }

  // For cascades that run several stages interleaved sample by sample, so
  // that the processor overlaps their dependency chains: load the state into
  // registers, step, store it back.
  using Regs = typename StageProcSse<NC>::Regs;
  void load_regs(Regs& regs) const noexcept { Proc::load(m_filter, regs); }
  void store_regs(const Regs& regs) noexcept { Proc::store(m_filter, regs); }

  // One pair of input samples, s0 (the earlier) in lane 0 of in, s1 in lane
  // 1. Returns the output sample in lane 0.
  static __m128 step(Regs& regs, __m128 in) noexcept {
    // s0 feeds lane 0 (branch B), s1 lane 1 (branch A); the branches end in
    // lanes 2 and 3.
    const __m128 y = Proc::step(regs, in);
    const __m128 hi = _mm_movehl_ps(y, y);
    const __m128 sum = _mm_add_ss(hi, _mm_shuffle_ps(hi, hi, _MM_SHUFFLE(1, 1, 1, 1)));
    return _mm_mul_ss(sum, _mm_set_ss(0.5f));
  }

  // Zeroes every section memory; the coefficients stay.
  void clear_buffers() noexcept { Proc::clear_mem(m_filter); }

 private:

  StageDataSse m_filter[Proc::kNbrSlots];
};

}  // namespace hiir
