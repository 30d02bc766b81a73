#include "resampler/WaveSources.h"

#include <cassert>

namespace rspl {

void generate_steady_saw(float* dest, int nbr_spl, int period) {
  assert(dest != nullptr || nbr_spl <= 0);
  assert(period >= 2);
  // Accumulated in extended precision; the last sample of a cycle is
  // computed from the cycle start so it lands on +1 exactly.
  const long double inc = 2.0L / static_cast<long double>(period - 1);
  for (int i = 0; i < nbr_spl; ++i) {
    const int k = i % period;
    dest[i] = (k == period - 1) ? 1.0f : static_cast<float>(-1.0L + k * inc);
  }
}

void generate_steady_square(float* dest, int nbr_spl, int period) {
  assert(dest != nullptr || nbr_spl <= 0);
  assert(period >= 2 && (period & 1) == 0);
  const int half = period / 2;
  for (int i = 0; i < nbr_spl; ++i) {
    dest[i] = (i % period < half) ? -1.0f : 1.0f;
  }
}

void generate_squarevirus(float* dest, int nbr_spl) {
  assert(dest != nullptr || nbr_spl <= 0);
  for (int i = 0; i < nbr_spl; ++i) {
    dest[i] = static_cast<float>(squarevirus[i % kSquareVirusLen] / 1.5 * 1.5979444);
  }
}

}  // namespace rspl
