// Raises a signal to four times its sample rate: two half-band 2x stages in
// cascade. With fs the input rate, the first stage (8 coefficients) removes
// the images between 0.51 * fs and 1.49 * fs by at least 69 dB, the second
// (3 coefficients) those between 1.4 * fs and 2.6 * fs. The passband reaches
// 0.49 * fs with a gain of 1 (ripple below 1e-6 dB).
//
// Latency: the filters' own group delay is about 1.9 input samples at low
// frequencies (growing towards the band edge), and each stage adds one
// sample of its input rate, 1.5 input samples in all, because it evaluates
// its sections four at a time.
//
// Any number of channels, each with its own filter state, which carries over
// from one call to the next: a signal may be cut into blocks of any size.
// Processing never allocates; set_nbr_chn() does.
#pragma once

#include "kovworks/DynArray.h"
#include "kovworks/hiir/Upsampler2xSse.h"

namespace kov {
namespace studio {
namespace genlib {

class Upsampler4x {
 public:
  Upsampler4x() = default;
  virtual ~Upsampler4x() = default;

  Upsampler4x(const Upsampler4x&) = delete;
  Upsampler4x& operator=(const Upsampler4x&) = delete;

  // nbr_chn > 0. Keeps the existing channels, configures the new ones, then
  // clears every channel's filter state.
  void set_nbr_chn(int nbr_chn);
  int get_nbr_chn() const noexcept { return m_nbr_chn; }

  // Zeroes the filter state of every channel (at least one must exist).
  void clear_buffers() noexcept;

  // Reads nbr_spl samples from in_ptr and writes 4 * nbr_spl samples to
  // out_ptr, which must not overlap in_ptr. 0 <= chn < get_nbr_chn(),
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
    hiir::Upsampler2xSse<8> m_us_1x2x;
    hiir::Upsampler2xSse<3> m_us_2x4x;
  };

  mem::DynArray<ChnProc, 16> m_chn_arr;
  int m_nbr_chn = 0;
};

}  // namespace genlib
}  // namespace studio
}  // namespace kov
