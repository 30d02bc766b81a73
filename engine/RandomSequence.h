// The random integers of the pattern and sound randomisers: the same
// sequence as the C library's srand(seed) / rand() on glibc (its default
// additive feedback generator), computed here from a state of our own.
//
// The C library keeps one shared state behind a lock, and the audio thread
// randomises the current pattern at a block start: it must not take a lock.
// Each randomisation seeds a RandomSequence of its own instead, so the
// patterns a seed gives are those the C library gave, and nothing is shared.
//
// The generator: r[0] = seed (1 for a seed of 0); r[i] = 16807 r[i-1] mod
// (2^31 - 1) for i = 1..30, in signed 32-bit arithmetic; r[i] = r[i-31] for
// i = 31..33; from then on r[i] = r[i-3] + r[i-31] modulo 2^32. The first
// 310 of those are discarded; every draw is the next r[i] shifted right by
// one bit, 0 .. 2^31 - 1. No allocation, no lock.
#pragma once

#include <cstdint>

class RandomSequence {
 public:
  explicit RandomSequence(unsigned seed);

  // The next draw, 0 .. 2^31 - 1.
  int next() {
    const uint32_t value = m_ring[m_front] += m_ring[m_rear];
    m_front = m_front + 1 == kDegree ? 0 : m_front + 1;
    m_rear = m_rear + 1 == kDegree ? 0 : m_rear + 1;
    return static_cast<int>(value >> 1);
  }

 private:
  static constexpr int kDegree = 31;     // the taps r[i-31] ...
  static constexpr int kSeparation = 3;  // ... and r[i-3]

  uint32_t m_ring[kDegree];
  int m_front = kSeparation;  // r[i-3] before the step, r[i] after it
  int m_rear = 0;             // r[i-31]
};
