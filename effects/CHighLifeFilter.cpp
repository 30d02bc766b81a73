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
