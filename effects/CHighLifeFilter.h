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
  // Inline (below): the delay calls it every sample.
  inline float work(float input, float cutoff, float resonance, int mode);

  // Read-only views of the coefficients computed by the last work() call.
  float getFeedbackFactor() const { return m_r; }
  float getP() const { return m_p; }
  float getK() const { return m_k; }

  // Largest value of the dither generator (the same range as RAND_MAX on
  // glibc), so one step of dither is at most kDitherMax * 1e-14.
  static constexpr std::uint32_t kDitherMax = 2147483647u;

 private:
  inline std::uint32_t nextDither();

  float m_r;   // feedback factor
  float m_p;   // stage coefficient
  float m_k;   // stage pole, 2p - 1
  float m_b0;  // last input
  float m_b1;  // stage outputs
  float m_b2;
  float m_b3;
  float m_b4;
  float m_prevB3;  // previous stage 3 output
  float m_prevB2;  // previous stage 2 output
  std::uint32_t m_ditherState;
};

// xorshift32 folded to 31 bits: lock-free, cheap and never stuck at zero.
inline std::uint32_t CHighLifeFilter::nextDither() {
  std::uint32_t s = m_ditherState;
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  m_ditherState = s;
  return s & kDitherMax;
}

inline float CHighLifeFilter::work(float input, float cutoff, float resonance, int mode) {
  const float f = cutoff;
  const float q = 1.0f - f;
  m_p = f + 0.8f * f * q;
  m_k = 2.0f * m_p - 1.0f;
  // The resonance scale is applied in double and rounded once, so the
  // loop gain for a given control value does not depend on float rounding
  // of the intermediate product.
  const float scaledRes = static_cast<float>(resonance * 0.89);
  m_r = (1.0f + 0.5f * q * (1.0f - q + 5.6f * q * q)) * scaledRes;

  const float x = static_cast<float>(input - m_r * m_b4 + nextDither() * 1e-14);

  const float b1 = (m_b0 + x) * m_p - m_k * m_b1;
  const float b2 = (b1 + m_b1) * m_p - m_k * m_b2;
  const float b3 = (b2 + m_b2) * m_p - m_k * m_b3;
  const float b4 = (m_b3 + b3) * m_p - m_k * m_b4;
  m_b0 = x;
  m_prevB3 = m_b3;
  m_prevB2 = m_b2;
  m_b1 = b1;
  m_b2 = b2;
  m_b3 = b3;
  m_b4 = b4;

  switch (mode) {
    case 1:
      return b4;
    case 2:
      return x - b4;
    case 3:
      return 3.0f * (b3 - b4);
    case 4:
      return 3.0f * (b3 - b4) - x;
    default:
      return 0.0f;
  }
}
