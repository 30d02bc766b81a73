#include "effects/CHighLifeFilter.h"

CHighLifeFilter::CHighLifeFilter() : m_ditherState(1u) { clear_filter(); }

void CHighLifeFilter::clear_filter() {
  m_r = 0.0f;
  m_p = 0.0f;
  m_k = 0.0f;
  m_b0 = 0.0f;
  m_b1 = 0.0f;
  m_b2 = 0.0f;
  m_b3 = 0.0f;
  m_b4 = 0.0f;
  m_prevB3 = 0.0f;
  m_prevB2 = 0.0f;
}

// xorshift32 folded to 31 bits: lock-free, cheap and never stuck at zero.
std::uint32_t CHighLifeFilter::nextDither() {
  std::uint32_t s = m_ditherState;
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  m_ditherState = s;
  return s & kDitherMax;
}

float CHighLifeFilter::work(float input, float cutoff, float resonance, int mode) {
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
