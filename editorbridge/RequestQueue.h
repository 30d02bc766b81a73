// A fixed-size single-producer, single-consumer queue of plain records.
// The producer is the bridge's timer thread; the consumer is whoever owns
// the instrument's state at the moment (StateOwnership): the audio thread
// at a block start, or the timer thread itself while it owns the state.
// No allocation after construction, no lock.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

template <typename T, size_t N>
class RequestQueue {
 public:
  static constexpr size_t kCapacity = N;

  // Producer. False when full.
  bool push(const T& item) {
    const size_t tail = m_tail.load(std::memory_order_relaxed);
    if (tail - m_head.load(std::memory_order_acquire) == N) return false;
    m_items[tail % N] = item;
    m_tail.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Consumer. False when empty.
  bool pop(T& item) {
    const size_t head = m_head.load(std::memory_order_relaxed);
    if (head == m_tail.load(std::memory_order_acquire)) return false;
    item = m_items[head % N];
    m_head.store(head + 1, std::memory_order_release);
    return true;
  }

  bool empty() const { return m_head.load(std::memory_order_acquire) == m_tail.load(std::memory_order_acquire); }

 private:
  std::array<T, N> m_items{};
  std::atomic<size_t> m_head{0};
  std::atomic<size_t> m_tail{0};
};
