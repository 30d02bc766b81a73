#include "kovworks/Downsampler4x.h"

#include <xmmintrin.h>

#include <cassert>

#include "kovworks/OversamplerDesign.h"

namespace kov {
namespace studio {
namespace genlib {

void Downsampler4x::set_nbr_chn(int nbr_chn) {
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

void Downsampler4x::clear_buffers() noexcept {
  assert(m_nbr_chn > 0);
  for (int chn = 0; chn < m_nbr_chn; ++chn) {
    m_chn_arr[chn].clear_buffers();
  }
}

void Downsampler4x::process_block_1ch(int chn, float* out_ptr, const float* in_ptr,
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

void Downsampler4x::process_block(float* const out_ptr_arr[], const float* const in_ptr_arr[],
                                  long nbr_spl) noexcept {
  assert(out_ptr_arr != nullptr);
  assert(in_ptr_arr != nullptr);
  for (int chn = 0; chn < m_nbr_chn; ++chn) {
    process_block_1ch(chn, out_ptr_arr[chn], in_ptr_arr[chn], nbr_spl);
  }
}

void Downsampler4x::ChnProc::config() noexcept {
  using namespace oversampler_design;
  double coef_4x2x[kNbrCoefs2x4x];
  double coef_2x1x[kNbrCoefs1x2x];
  compute_stage_coefs(coef_4x2x, kNbrCoefs2x4x, kTransition2x4x);
  compute_stage_coefs(coef_2x1x, kNbrCoefs1x2x, kTransition1x2x);
  m_ds_4x2x.set_coefs(coef_4x2x);
  m_ds_2x1x.set_coefs(coef_2x1x);
}

void Downsampler4x::ChnProc::clear_buffers() noexcept {
  m_ds_4x2x.clear_buffers();
  m_ds_2x1x.clear_buffers();
}

void Downsampler4x::ChnProc::process_block(float* out_ptr, const float* in_ptr,
                                           long nbr_spl) noexcept {
  // Both stages advance together, sample by sample, with their state in
  // registers. Each stage is a serial dependency chain (every sample needs
  // the previous one), so interleaving them lets the processor run one
  // stage's chain while the other waits on its own.
  using Stage1 = decltype(m_ds_4x2x);
  using Stage2 = decltype(m_ds_2x1x);
  Stage1::Regs regs_1;
  Stage2::Regs regs_2;
  m_ds_4x2x.load_regs(regs_1);
  m_ds_2x1x.load_regs(regs_2);
  for (long pos = 0; pos < nbr_spl; ++pos) {
    // All four inputs are read before the output is written, so out_ptr
    // may equal in_ptr.
    const __m128 in = _mm_loadu_ps(in_ptr + pos * 4);
    const __m128 m0 = Stage1::step(regs_1, in);                     // From i0, i1.
    const __m128 m1 = Stage1::step(regs_1, _mm_movehl_ps(in, in));  // From i2, i3.
    _mm_store_ss(out_ptr + pos, Stage2::step(regs_2, _mm_unpacklo_ps(m0, m1)));
  }
  m_ds_4x2x.store_regs(regs_1);
  m_ds_2x1x.store_regs(regs_2);
}

}  // namespace genlib
}  // namespace studio
}  // namespace kov
