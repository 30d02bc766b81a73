// CHighLifeFilter: a four-pole resonant ladder-style filter with one
// feedback path, used by the delay as the low-pass of its tone control.
//
// work(in, f, res, mode) filters one sample. f is the normalised cutoff in
// 0..1 (the delay passes the square of its control value, which gives a
// more even sweep), res the resonance in 0..1 (scaled by 0.89 internally so
// the loop stays below self-oscillation). Modes: 1 low-pass, 2 high-pass,
// 3 band-pass, 4 band-reject; any other mode answers 0. At DC the low-pass
// gain is 1 / (1 + r), r being the feedback factor computed from f and res.
//
// A tiny dither (at most about 2e-5, far below audibility) is added to the
// input so the stages never decay into denormal numbers. The dither comes
// from a private generator rather than the C library's rand(), whose shared
// state is guarded by a lock that the audio thread must not take.
#pragma once

#include <cstdint>

class CHighLifeFilter {
 public:
  CHighLifeFilter();

  void clear_filter();
  float work(float input, float cutoff, float resonance, int mode);

  // Read-only views of the coefficients computed by the last work() call.
  float getFeedbackFactor() const { return m_r; }
  float getP() const { return m_p; }
  float getK() const { return m_k; }

  // Largest value of the dither generator (the same range as RAND_MAX on
  // glibc), so one step of dither is at most kDitherMax * 1e-14.
  static constexpr std::uint32_t kDitherMax = 2147483647u;

 private:
  std::uint32_t nextDither();

  float m_r;       // feedback factor
  float m_p;       // stage coefficient
  float m_k;       // stage pole, 2p - 1
  float m_b0;      // last input
  float m_b1;      // stage outputs
  float m_b2;
  float m_b3;
  float m_b4;
  float m_prevB3;  // previous stage 3 output
  float m_prevB2;  // previous stage 2 output
  std::uint32_t m_ditherState;
};
