#include "effects/DelayBuffer.h"

#include <cassert>
#include <cmath>

namespace {
constexpr int kInitialDelay = 22050;
}

DelayBuffer::DelayBuffer(int size)
    : m_buffer(new float[static_cast<unsigned>(size)]()),
      m_size(size),
      m_currentDelay(kInitialDelay),
      m_targetDelay(kInitialDelay),
      m_writeCounter(0),
      m_readPosition(0.0),
      m_readSpeed(1.0),
      m_readIndex(0),
      m_pendingDelay(-1) {
  // The index wrapping below masks with size - 1.
  assert(size > 1 && (size & (size - 1)) == 0);
  setDelayTime(kInitialDelay);
}

// Anything from 0 up to size - 1 can be read back; a negative time would
// read the future, so it is treated as 0.
int DelayBuffer::limitDelay(int samples) const {
  if (samples < 0) return 0;
  return samples < m_size ? samples : m_size - 1;
}

void DelayBuffer::setDelayTime(int samples) {
  const int d = limitDelay(samples);
  m_pendingDelay.store(-1, std::memory_order_relaxed);
  m_currentDelay = d;
  m_targetDelay = d;
  m_readSpeed = 1.0;
  m_readPosition = static_cast<double>(m_size + m_writeCounter - d);
  m_readIndex = m_size + m_writeCounter - d;
}

void DelayBuffer::setNewDelayTime(int samples) {
  m_pendingDelay.store(limitDelay(samples), std::memory_order_relaxed);
}

void DelayBuffer::applyNewDelay(int d) {
  m_targetDelay = d;
  m_readIndex = m_size + m_writeCounter - d;
  m_readSpeed = d < m_currentDelay ? 1.5 : 0.5;
}

int DelayBuffer::getTargetDelay() const {
  const int pending = m_pendingDelay.load(std::memory_order_relaxed);
  return pending >= 0 ? pending : m_targetDelay;
}

bool DelayBuffer::isGliding() const {
  return m_pendingDelay.load(std::memory_order_relaxed) >= 0 || m_readSpeed != 1.0;
}

void DelayBuffer::clear() {
  for (int i = 0; i < m_size; ++i) m_buffer[i] = 0.0f;
}
