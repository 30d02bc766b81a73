// Two-to-one decimator built from two branches of first-order allpass
// sections (a polyphase half-band low-pass).
//
// Each section computes y = c * (x - y_prev) + x_prev. For output m, branch A
// runs src[2m + 1] through the sections with c0, c2, c4, c6 and branch B runs
// src[2m] through c1, c3, c5; the output is A + B. The sum has a DC gain of 2:
// the interpolator feeding it scales its samples by 0.5 instead.
//
// With the player's coefficients the response at the input rate is flat to
// 0.24 (within 0.011 dB), -3 dB at 0.25 and at least 92 dB down from 0.28.
// In the pass band it equals 2 * B(z^2), so phase_block() gives a normal-rate
// signal the same phase response by running branch B at the output rate.
#pragma once

namespace rspl {

class Downsampler2Flt {
 public:
  static constexpr int kNbrCoefs = 7;

  Downsampler2Flt() noexcept;

  // Seven coefficients, each strictly between 0 and 1.
  void set_coefs(const double coef_ptr[]) noexcept;

  // nbr_spl outputs from 2 * nbr_spl inputs. dest may not overlap src.
  void downsample_block(float dest[], const float src[], int nbr_spl) noexcept;

  // Phase-matches a signal already at the output rate: dest[i] equals
  // branch B of src[i]. In place is allowed. Branch B runs on half the
  // sample, as it does behind the 0.5-scaled interpolator, so its state
  // carries over when the player switches to downsample_block(); branch A
  // is left alone (it does not contribute, so no old state leaks out).
  void phase_block(float dest[], const float src[], int nbr_spl) noexcept;

  // Before switching from phase_block() to downsample_block(): rebuilds
  // branch A's state from the odd-position samples it would have seen (at
  // the 0.5 scale), oldest first. Its slowest section forgets at 0.934 per
  // sample, so about 160 samples leave no trace of the missing history.
  void prime_branch_a(const float odd_src[], int nbr_spl) noexcept;

  void clear_buffers() noexcept;

 private:
  static inline float run_branch_a(float x, const float* c, float* xs, float* ys) noexcept;
  static inline float run_branch_b(float x, const float* c, float* xs, float* ys) noexcept;
  void flush_denormals() noexcept;

  float _coef[kNbrCoefs];
  float _x[kNbrCoefs];  // previous input of section i (even: branch A, odd: branch B)
  float _y[kNbrCoefs];  // previous output of section i
};

}  // namespace rspl
