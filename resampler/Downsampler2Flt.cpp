#include "resampler/Downsampler2Flt.h"

#include <cassert>

namespace rspl {

Downsampler2Flt::Downsampler2Flt() noexcept {
  for (int i = 0; i < kNbrCoefs; ++i) {
    _coef[i] = 0.0f;
  }
  clear_buffers();
}

void Downsampler2Flt::set_coefs(const double coef_ptr[]) noexcept {
  assert(coef_ptr != nullptr);
  for (int i = 0; i < kNbrCoefs; ++i) {
    assert(coef_ptr[i] > 0.0 && coef_ptr[i] < 1.0);
    _coef[i] = static_cast<float>(coef_ptr[i]);
  }
}

void Downsampler2Flt::clear_buffers() noexcept {
  for (int i = 0; i < kNbrCoefs; ++i) {
    _x[i] = 0.0f;
    _y[i] = 0.0f;
  }
}

inline float Downsampler2Flt::run_branch_a(float x, const float* c, float* xs, float* ys) noexcept {
  for (int i = 0; i < kNbrCoefs; i += 2) {
    const float y = c[i] * (x - ys[i]) + xs[i];
    xs[i] = x;
    ys[i] = y;
    x = y;
  }
  return x;
}

inline float Downsampler2Flt::run_branch_b(float x, const float* c, float* xs, float* ys) noexcept {
  for (int i = 1; i < kNbrCoefs; i += 2) {
    const float y = c[i] * (x - ys[i]) + xs[i];
    xs[i] = x;
    ys[i] = y;
    x = y;
  }
  return x;
}

void Downsampler2Flt::downsample_block(float dest[], const float src[], int nbr_spl) noexcept {
  assert(dest != nullptr && src != nullptr);
  assert(nbr_spl > 0);
  // The state in locals for the block: dest may not point into this
  // object, but the compiler cannot know that and would store and reload
  // every section's state after each output.
  float c[kNbrCoefs], xs[kNbrCoefs], ys[kNbrCoefs];
  for (int i = 0; i < kNbrCoefs; ++i) {
    c[i] = _coef[i];
    xs[i] = _x[i];
    ys[i] = _y[i];
  }
  for (int m = 0; m < nbr_spl; ++m) {
    const float a = run_branch_a(src[2 * m + 1], c, xs, ys);
    const float b = run_branch_b(src[2 * m], c, xs, ys);
    dest[m] = a + b;
  }
  for (int i = 0; i < kNbrCoefs; ++i) {
    _x[i] = xs[i];
    _y[i] = ys[i];
  }
  flush_denormals();
}

void Downsampler2Flt::phase_block(float dest[], const float src[], int nbr_spl) noexcept {
  assert(dest != nullptr && src != nullptr);
  assert(nbr_spl > 0);
  for (int i = 0; i < nbr_spl; ++i) {
    dest[i] = 2.0f * run_branch_b(0.5f * src[i], _coef, _x, _y);
  }
  flush_denormals();
}

void Downsampler2Flt::prime_branch_a(const float odd_src[], int nbr_spl) noexcept {
  assert(odd_src != nullptr || nbr_spl == 0);
  for (int i = 0; i < kNbrCoefs; i += 2) {
    _x[i] = 0.0f;
    _y[i] = 0.0f;
  }
  for (int i = 0; i < nbr_spl; ++i) {
    run_branch_a(odd_src[i], _coef, _x, _y);
  }
  flush_denormals();
}

void Downsampler2Flt::flush_denormals() noexcept {
  // A decaying state would otherwise end up in denormals, which are slow on
  // x86. Adding and removing a tiny constant rounds them to zero and leaves
  // normal values untouched.
  constexpr float anti_denormal = 1e-20f;
  for (int i = kNbrCoefs - 4; i < kNbrCoefs; ++i) {
    _y[i] += anti_denormal;
    _y[i] -= anti_denormal;
  }
}

}  // namespace rspl
