// Mip-map pyramid of a sampled waveform.
//
// Level 0 is the waveform as given. Each further level halves the sample rate:
// level L sample n is the previous level low-pass filtered at sample 2n, so
// level L holds ceil(len / 2^L) samples, band-limited to its own Nyquist
// frequency. The filter is a symmetric FIR given by its full impulse (odd
// length); only its centre and right half are kept.
//
// Every level has zero-filled margins before and after it (at least
// nbr_taps - 1 samples, rounded down to even), so an interpolator can read a
// few samples beyond either end. Filtered data is written 20 samples into each
// margin of levels >= 1; level 0's margins stay zero.
//
// All memory is taken by init_sample(); fill_sample() builds the levels once
// the last sample has arrived. Nothing is allocated afterwards.
#pragma once

#include <cstdint>
#include <vector>

namespace rspl {

class MipMapFlt {
 public:
  // Samples written into each margin of levels >= 1 (fewer if a short
  // filter leaves too little room).
  static constexpr int kFilledMargin = 20;

  // len >= 0 samples; margins >= 0; nbr_tables >= 1; imp_ptr the full
  // symmetric impulse of odd length nbr_taps.
  void init_sample(int len, int add_len_pre, int add_len_post, int nbr_tables, const double* imp_ptr,
                   int nbr_taps);

  // Appends nbr_spl samples to level 0 (no more than are still missing).
  // Returns true while samples are still missing.
  bool fill_sample(const float data[], int nbr_spl);

  bool is_ready() const noexcept;

  int get_sample_len() const noexcept { return _len; }
  int get_nbr_tables() const noexcept { return _nbr_tables; }
  int get_add_len_pre() const noexcept { return _add_len_pre; }
  int get_add_len_post() const noexcept { return _add_len_post; }
  // Samples in a level, margins excluded: ceil(len / 2^level).
  int get_lev_len(int level) const noexcept;
  // First sample of a level; get_add_len_pre() samples before it and
  // get_add_len_post() after its end may be read.
  const float* use_table(int level) const noexcept;

 private:
  void build_level(int level);

  int _len = -1;
  int _add_len_pre = 0;
  int _add_len_post = 0;
  int _filled_len = 0;
  int _filled_margin = kFilledMargin;
  int _nbr_tables = 0;
  std::vector<std::vector<float>> _table_arr;
  std::vector<float> _half_filter;  // h0..h(n-1)/2; freed once the levels are built
};

}  // namespace rspl
