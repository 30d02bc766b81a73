#include "resampler/InterpPack.h"

#include <xmmintrin.h>

namespace rspl {

InterpPack::InterpPack() noexcept {
  build(_phase_1x, _fir_1x_coef_arr);
  build(_phase_2x, _fir_2x_coef_arr);
}

template <int N>
void InterpPack::build(Phase<N> (&phase_arr)[kNbrPhases], const double* imp) noexcept {
  // Tap t multiplies table sample I - (N/2 - 1) + t, at distance
  // F + N/2 - 1 - t from the position: impulse index ph + (N - 1 - t) * 64.
  constexpr int imp_len = N * kNbrPhases;
  for (int ph = 0; ph < kNbrPhases; ++ph) {
    for (int t = 0; t < N; ++t) {
      const int k = ph + (N - 1 - t) * kNbrPhases;
      const double cur = imp[k];
      const double next = (k + 1 < imp_len) ? imp[k + 1] : 0.0;
      phase_arr[ph].coef[t] = static_cast<float>(cur);
      phase_arr[ph].dif[t] = static_cast<float>(next - cur);
    }
  }
}

template <int N>
inline float InterpPack::interp_one(const Phase<N> (&phase_arr)[kNbrPhases], const float* table,
                                    int64_t pos) noexcept {
  const int64_t index = pos >> 32;
  const uint32_t frac = static_cast<uint32_t>(pos);
  const Phase<N>& ph = phase_arr[frac >> 26];
  const float q = static_cast<float>(frac & 0x3FFFFFFu) * (1.0f / 67108864.0f);
  const float* src = table + index - (N / 2 - 1);
  // The tap products four at a time (each lane rounds exactly as the scalar
  // (c + d * q) * s does), then their sum in tap order, one add after the
  // other as a scalar loop adds them: the same bits, in fewer instructions.
  static_assert(N % 4 == 0, "taps in groups of four");
  alignas(16) float products[N];
  const __m128 qv = _mm_set1_ps(q);
  for (int t = 0; t < N; t += 4) {
    const __m128 c = _mm_loadu_ps(ph.coef + t);
    const __m128 d = _mm_loadu_ps(ph.dif + t);
    _mm_store_ps(products + t, _mm_mul_ps(_mm_add_ps(c, _mm_mul_ps(d, qv)), _mm_loadu_ps(src + t)));
  }
  float sum = 0.0f;
  for (int t = 0; t < N; ++t) {
    sum += products[t];
  }
  return sum;
}

float InterpPack::interp_norm_at(const float* table, int64_t pos) const noexcept {
  return interp_one(_phase_1x, table, pos);
}

float InterpPack::interp_ovrspl_at(const float* table, int64_t pos) const noexcept {
  return interp_one(_phase_2x, table, pos);
}

void InterpPack::interp_norm(float* dest, int n, BaseVoiceState& v) const noexcept {
  int64_t pos = v._pos;
  const int64_t step = v._step;
  const float* table = v._table_ptr;
  for (int i = 0; i < n; ++i) {
    dest[i] = interp_one(_phase_1x, table, pos);
    pos += step;
  }
  v._pos = pos;
}

void InterpPack::interp_norm_ramp_add(float* dest, int n, BaseVoiceState& v, int64_t step, float vol,
                                      float vol_step) const noexcept {
  int64_t pos = v._pos;
  const float* table = v._table_ptr;
  for (int i = 0; i < n; ++i) {
    dest[i] += vol * interp_one(_phase_1x, table, pos);
    vol += vol_step;
    pos += step;
  }
  v._pos = pos;
}

void InterpPack::interp_ovrspl(float* dest, int n, BaseVoiceState& v) const noexcept {
  int64_t pos = v._pos;
  const int64_t step = v._step;
  const float* table = v._table_ptr;
  for (int i = 0; i < n; ++i) {
    dest[i] = 0.5f * interp_one(_phase_2x, table, pos);
    pos += step;
  }
  v._pos = pos;
}

void InterpPack::interp_ovrspl_ramp_add(float* dest, int n, BaseVoiceState& v, int64_t step, float vol,
                                        float vol_step) const noexcept {
  int64_t pos = v._pos;
  const float* table = v._table_ptr;
  for (int i = 0; i < n; ++i) {
    dest[i] += 0.5f * vol * interp_one(_phase_2x, table, pos);
    vol += vol_step;
    pos += step;
  }
  v._pos = pos;
}

}  // namespace rspl
