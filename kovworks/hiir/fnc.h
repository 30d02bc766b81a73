// Small numeric helpers shared by the half-band filter designer.
#pragma once

#include <cassert>

namespace hiir {

// Integer power of a double by repeated squaring: x^n for n >= 0, with
// ipowp(x, 0) == 1 for every x (0^0 included). The designer raises its nome q
// to exponents up to a few hundred, where a general pow() buys nothing.
inline double ipowp(double x, long n) noexcept {
  assert(n >= 0);

  double result = 1.0;
  while (n > 0) {
    if ((n & 1) != 0) {
      result *= x;
    }
    x *= x;
    n >>= 1;
  }
  return result;
}

}  // namespace hiir
