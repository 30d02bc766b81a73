#include "resampler/MipMapFlt.h"

#include <algorithm>
#include <cassert>

namespace rspl {

void MipMapFlt::init_sample(int len, int add_len_pre, int add_len_post, int nbr_tables, const double* imp_ptr,
                            int nbr_taps) {
  assert(len >= 0);
  assert(add_len_pre >= 0);
  assert(add_len_post >= 0);
  assert(nbr_tables >= 1);
  assert(imp_ptr != nullptr);
  assert(nbr_taps >= 1 && (nbr_taps & 1) == 1);

  _half_filter.assign(imp_ptr + (nbr_taps - 1) / 2, imp_ptr + nbr_taps);

  // The filter reads (nbr_taps - 1) / 2 samples on either side of 2n, and
  // n runs kFilledMargin samples past either end of the coarser level, so
  // the finer level needs at least that much margin to stay in bounds.
  const int filter_margin = (nbr_taps - 1) & ~1;
  _add_len_pre = std::max(filter_margin, add_len_pre);
  _add_len_post = std::max(filter_margin, add_len_post);
  _len = len;
  _nbr_tables = nbr_tables;
  _filled_len = 0;
  // With the 81-tap filter this is 20. A shorter filter with the same
  // margins could reach past them, so the filled stretch shrinks instead.
  const int half = (nbr_taps - 1) / 2;
  _filled_margin =
      std::max(0, std::min(int(kFilledMargin), (std::min(_add_len_pre, _add_len_post) - half) / 2));

  _table_arr.clear();
  _table_arr.resize(nbr_tables);
  for (int level = 0; level < nbr_tables; ++level) {
    _table_arr[level].assign(static_cast<size_t>(_add_len_pre + get_lev_len(level) + _add_len_post), 0.0f);
  }
}

bool MipMapFlt::fill_sample(const float data[], int nbr_spl) {
  assert(_len >= 0);
  assert(nbr_spl >= 0);
  assert(nbr_spl <= _len - _filled_len);
  nbr_spl = std::min(nbr_spl, _len - _filled_len);
  if (nbr_spl > 0) {
    assert(data != nullptr);
    std::copy(data, data + nbr_spl, _table_arr[0].begin() + _add_len_pre + _filled_len);
    _filled_len += nbr_spl;
  }

  if (_filled_len < _len) {
    return true;
  }
  if (!_half_filter.empty()) {
    for (int level = 1; level < _nbr_tables; ++level) {
      build_level(level);
    }
    _half_filter.clear();
    _half_filter.shrink_to_fit();
  }
  return false;
}

bool MipMapFlt::is_ready() const noexcept { return _len >= 0 && _filled_len == _len && _nbr_tables >= 1; }

int MipMapFlt::get_lev_len(int level) const noexcept {
  assert(level >= 0 && level < 31);
  const int64_t div = int64_t(1) << level;
  return static_cast<int>((int64_t(_len) + div - 1) / div);
}

const float* MipMapFlt::use_table(int level) const noexcept {
  assert(level >= 0 && level < _nbr_tables);
  return _table_arr[level].data() + _add_len_pre;
}

void MipMapFlt::build_level(int level) {
  const float* src = use_table(level - 1);
  float* dst = _table_arr[level].data() + _add_len_pre;
  const int half = static_cast<int>(_half_filter.size()) - 1;
  const int lev_len = get_lev_len(level);
  for (int n = -_filled_margin; n < lev_len + _filled_margin; ++n) {
    const float* x = src + 2 * n;
    double sum = _half_filter[0] * double(x[0]);
    for (int i = 1; i <= half; ++i) {
      sum += _half_filter[i] * (double(x[-i]) + double(x[i]));
    }
    dst[n] = static_cast<float>(sum);
  }
}

}  // namespace rspl
