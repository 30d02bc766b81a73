// Brings a signal at four times the base rate fs back to fs: two half-band
// 2x stages in cascade, the first with 3 coefficients (it removes what lies
// between 1.4 * fs and 2.6 * fs by at least 69 dB before the rate halves),
// the second with 8 coefficients (between 0.51 * fs and 1.49 * fs, the same
// 69 dB). The passband reaches 0.49 * fs with a gain of 1 (ripple below
// 1e-6 dB), so whatever a non-linear process makes above 0.51 * fs is
// removed instead of folding back under fs / 2.
//
// Latency: the filters' own group delay is about 1.9 output samples at low
// frequencies (growing towards the band edge), and each stage adds one
// sample of its output rate, 1.5 output samples in all, because it evaluates
// its sections four at a time.
//
// Any number of channels, each with its own filter state, which carries over
// from one call to the next: a signal may be cut into blocks of any size.
// Processing never allocates; set_nbr_chn() does.
#pragma once

#include "kovworks/DynArray.h"
#include "kovworks/hiir/Downsampler2xSse.h"

namespace kov {
namespace studio {
namespace genlib {

class Downsampler4x {
 public:
  Downsampler4x() = default;
  virtual ~Downsampler4x() = default;

  Downsampler4x(const Downsampler4x&) = delete;
  Downsampler4x& operator=(const Downsampler4x&) = delete;

  // nbr_chn > 0. Keeps the existing channels, configures the new ones, then
  // clears every channel's filter state.
  void set_nbr_chn(int nbr_chn);
  int get_nbr_chn() const noexcept { return m_nbr_chn; }

  // Zeroes the filter state of every channel (at least one must exist).
  void clear_buffers() noexcept;

  // Reads 4 * nbr_spl samples from in_ptr and writes nbr_spl samples to
  // out_ptr; out_ptr may equal in_ptr. 0 <= chn < get_nbr_chn(),
  // nbr_spl > 0.
  void process_block_1ch(int chn, float* out_ptr, const float* in_ptr, long nbr_spl) noexcept;

  // The same for every channel in use: out_ptr_arr[c] and in_ptr_arr[c] are
  // the buffers of channel c.
  void process_block(float* const out_ptr_arr[], const float* const in_ptr_arr[],
                     long nbr_spl) noexcept;

 private:
  class ChnProc {
   public:
    // Runs the designer and loads both stages' coefficients.
    void config() noexcept;
    void clear_buffers() noexcept;
    void process_block(float* out_ptr, const float* in_ptr, long nbr_spl) noexcept;

   private:
    hiir::Downsampler2xSse<3> m_ds_4x2x;
    hiir::Downsampler2xSse<8> m_ds_2x1x;
  };

  mem::DynArray<ChnProc, 16> m_chn_arr;
  int m_nbr_chn = 0;
};

}  // namespace genlib
}  // namespace studio
}  // namespace kov
