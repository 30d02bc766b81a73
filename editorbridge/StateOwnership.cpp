#include "editorbridge/StateOwnership.h"

#include <thread>

bool StateOwnership::tryEnterAudio() {
  m_audioCalls.fetch_add(1, std::memory_order_relaxed);
  int expected = kFree;
  return m_owner.compare_exchange_strong(expected, kAudio, std::memory_order_acquire, std::memory_order_relaxed);
}

void StateOwnership::leaveAudio() { m_owner.store(kFree, std::memory_order_release); }

void StateOwnership::enterBridge() {
  for (;;) {
    int expected = kFree;
    if (m_owner.compare_exchange_weak(expected, kBridge, std::memory_order_acquire, std::memory_order_relaxed))
      return;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

void StateOwnership::leaveBridge() { m_owner.store(kFree, std::memory_order_release); }

bool StateOwnership::audioIdle() {
  const uint32_t calls = m_audioCalls.load(std::memory_order_relaxed);
  const auto now = std::chrono::steady_clock::now();
  if (calls != m_seenCalls) {
    m_seenCalls = calls;
    m_seenAt = now;
    return false;
  }
  return !m_processing.load(std::memory_order_relaxed) || now - m_seenAt >= kIdleAfter;
}
