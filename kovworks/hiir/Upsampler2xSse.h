// 2x upsampler: a half-band polyphase IIR stage with NC all-pass
// coefficients (from PolyphaseIir2Designer), run four sections at a time.
//
// For every input sample it emits two output samples at twice the rate: the
// output of branch A, then that of branch B. Gain 1 in the passband. Because
// half of each branch runs on the previous input sample, the output is that
// of the plain cascade one input sample (two output samples) later, on top of
// the filter's own group delay. Single precision.
#pragma once

#include <xmmintrin.h>

#include <cassert>

#include "kovworks/hiir/StageDataSse.h"

namespace hiir {

template <int NC>
class Upsampler2xSse {
  static_assert(NC > 0, "a stage needs at least one coefficient");

  using Proc = StageProcSse<NC>;

 public:
  static constexpr int kNbrCoefs = NC;

  Upsampler2xSse() noexcept {
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

  // out_ptr receives 2 * nbr_spl samples; it must not overlap in_ptr.
  void process_block(float out_ptr[], const float in_ptr[], long nbr_spl) noexcept {
    assert(out_ptr != nullptr);
    assert(in_ptr != nullptr);
    assert(nbr_spl > 0);

    Regs regs;
    load_regs(regs);
    for (long pos = 0; pos < nbr_spl; ++pos) {
      const __m128 y = step(regs, _mm_set1_ps(in_ptr[pos]));
      _mm_store_ss(out_ptr + pos * 2, _mm_shuffle_ps(y, y, _MM_SHUFFLE(3, 3, 3, 3)));
      _mm_store_ss(out_ptr + pos * 2 + 1, _mm_movehl_ps(y, y));
    }
    store_regs(regs);
  }

  void process_sample(float& out_0, float& out_1, float input) noexcept {
    float out[2];
    process_block(out, &input, 1);
    out_0 = out[0];
    out_1 = out[1];
  }

  // For cascades that run several stages interleaved sample by sample, so
  // that the processor overlaps their dependency chains: load the state into
  // registers, step, store it back.
  using Regs = typename StageProcSse<NC>::Regs;
  void load_regs(Regs& regs) const noexcept { Proc::load(m_filter, regs); }
  void store_regs(const Regs& regs) noexcept { Proc::store(m_filter, regs); }

  // One input sample, in lanes 0 and 1 of in (a broadcast will do). Returns
  // the first output sample (branch A) in lane 3 and the second (branch B)
  // in lane 2.
  static __m128 step(Regs& regs, __m128 in) noexcept { return Proc::step(regs, in); }

  // Zeroes every section memory; the coefficients stay.
  void clear_buffers() noexcept { Proc::clear_mem(m_filter); }

 private:

  StageDataSse m_filter[Proc::kNbrSlots];
};

}  // namespace hiir
