#include "engine/RandomSequence.h"

RandomSequence::RandomSequence(unsigned seed) {
  if (seed == 0) seed = 1;
  // The seed is taken as a signed 32-bit value; 16807 r mod (2^31 - 1) is
  // formed without overflow as 16807 (r mod 127773) - 2836 (r / 127773),
  // plus the modulus when that is negative (127773 * 16807 + 2836 is the
  // modulus).
  int32_t word = static_cast<int32_t>(seed);
  m_ring[0] = static_cast<uint32_t>(word);
  for (int i = 1; i < kDegree; ++i) {
    const int32_t hi = word / 127773;
    const int32_t lo = word % 127773;
    word = 16807 * lo - 2836 * hi;
    if (word < 0) word += 2147483647;
    m_ring[i] = static_cast<uint32_t>(word);
  }
  for (int i = 0; i < 10 * kDegree; ++i) next();
}
