#include "kovworks/Upsampler4x.h"

#include <xmmintrin.h>

#include <cassert>

#include "kovworks/OversamplerDesign.h"

namespace kov {
namespace studio {
namespace genlib {

void Upsampler4x::set_nbr_chn(int nbr_chn) {
  assert(nbr_chn > 0);
  if (nbr_chn <= 0) {
    return;
  }
  const int old_nbr_chn = static_cast<int>(m_chn_arr.size());
  m_chn_arr.resize(static_cast<std::size_t>(nbr_chn));
  for (int chn = old_nbr_chn; chn < nbr_chn; ++chn) {
    m_chn_arr[chn].config();
  }
  m_nbr_chn = nbr_chn;
  clear_buffers();
}

void Upsampler4x::clear_buffers() noexcept {
  assert(m_nbr_chn > 0);
  for (int chn = 0; chn < m_nbr_chn; ++chn) {
    m_chn_arr[chn].clear_buffers();
  }
}

void Upsampler4x::process_block_1ch(int chn, float* out_ptr, const float* in_ptr,
                                    long nbr_spl) noexcept {
  assert(chn >= 0);
  assert(chn < m_nbr_chn);
  assert(out_ptr != nullptr);
  assert(in_ptr != nullptr);
  assert(nbr_spl > 0);
  // The instrument never breaks these; still, a broken caller finds its
  // output untouched rather than a write through a wild pointer.
  if (chn < 0 || chn >= m_nbr_chn || out_ptr == nullptr || in_ptr == nullptr || nbr_spl <= 0) {
    return;
  }

  m_chn_arr[chn].process_block(out_ptr, in_ptr, nbr_spl);
}

void Upsampler4x::process_block(float* const out_ptr_arr[], const float* const in_ptr_arr[],
                                long nbr_spl) noexcept {
  assert(out_ptr_arr != nullptr);
  assert(in_ptr_arr != nullptr);
  for (int chn = 0; chn < m_nbr_chn; ++chn) {
    process_block_1ch(chn, out_ptr_arr[chn], in_ptr_arr[chn], nbr_spl);
  }
}

void Upsampler4x::ChnProc::config() noexcept {
  using namespace oversampler_design;
  double coef_1x2x[kNbrCoefs1x2x];
  double coef_2x4x[kNbrCoefs2x4x];
  compute_stage_coefs(coef_1x2x, kNbrCoefs1x2x, kTransition1x2x);
  compute_stage_coefs(coef_2x4x, kNbrCoefs2x4x, kTransition2x4x);
  m_us_1x2x.set_coefs(coef_1x2x);
  m_us_2x4x.set_coefs(coef_2x4x);
}

void Upsampler4x::ChnProc::clear_buffers() noexcept {
  m_us_1x2x.clear_buffers();
  m_us_2x4x.clear_buffers();
}

void Upsampler4x::ChnProc::process_block(float* out_ptr, const float* in_ptr,
                                         long nbr_spl) noexcept {
  // Both stages advance together, sample by sample, with their state in
  // registers. Each stage is a serial dependency chain (every sample needs
  // the previous one), so interleaving them lets the processor run the
  // second stage's chain while the first waits on its own.
  using Stage1 = decltype(m_us_1x2x);
  using Stage2 = decltype(m_us_2x4x);
  Stage1::Regs regs_1;
  Stage2::Regs regs_2;
  m_us_1x2x.load_regs(regs_1);
  m_us_2x4x.load_regs(regs_2);
  for (long pos = 0; pos < nbr_spl; ++pos) {
    const __m128 u = Stage1::step(regs_1, _mm_set1_ps(in_ptr[pos]));  // u0: lane 3, u1: lane 2.
    const __m128 o01 = Stage2::step(regs_2, _mm_shuffle_ps(u, u, _MM_SHUFFLE(3, 3, 3, 3)));
    const __m128 o23 = Stage2::step(regs_2, _mm_shuffle_ps(u, u, _MM_SHUFFLE(2, 2, 2, 2)));
    // o0, o1, o2, o3 = lanes 3 and 2 of each.
    _mm_storeu_ps(out_ptr + pos * 4, _mm_shuffle_ps(o01, o23, _MM_SHUFFLE(2, 3, 2, 3)));
  }
  m_us_1x2x.store_regs(regs_1);
  m_us_2x4x.store_regs(regs_2);
}

}  // namespace genlib
}  // namespace studio
}  // namespace kov
