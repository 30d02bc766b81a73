// The randomisers' own generator against the C library it replaces: after
// the same seed it must draw what glibc's srand() / rand() draw, so every
// seed still gives the pattern it gave. glibc itself is the reference here.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/RandomSequence.h"
#include "engine/Tables.h"

namespace {

TEST(RandomSequence, DrawsWhatTheCLibraryDraws) {
#ifndef __GLIBC__
  GTEST_SKIP() << "the reference is glibc's generator";
#endif
  // 0 (taken as 1), small seeds, a time-sized seed, and seeds at and above
  // 2^31 (negative as 32-bit signed values, as instance addresses make them).
  const unsigned seeds[] = {0u,          1u,          2u,          12345u,     1700000000u,
                            2147483647u, 2147483648u, 0x9e3779b1u, 0xffffffffu};
  for (unsigned seed : seeds) {
    SCOPED_TRACE(seed);
    RandomSequence sequence(seed);
    std::srand(seed);
    for (int k = 0; k < 1000; ++k) ASSERT_EQ(sequence.next(), std::rand()) << "draw " << k;
    RandomSequence again(seed);
    std::srand(seed);
    for (int n : {15, 100, 12, 1, 0, 1000000}) ASSERT_EQ(random(again, n), random(n)) << n;
  }
}

}  // namespace
