#include "engine/Tables.h"

#include <cmath>
#include <cstdlib>

#include "engine/RandomSequence.h"

const long double cNoteFreq[kNoteFreqCount] = {
    0.0L,  // rest
    130.813L,  138.591L,  146.832L,  155.563L,  164.814L,  174.614L,  184.997L,  195.998L,  207.652L,
    220.000L,  233.082L,  246.942L,  261.626L,  277.183L,  293.665L,  311.127L,  329.628L,  349.228L,
    369.994L,  391.995L,  415.305L,  440.000L,  466.164L,  493.883L,  523.251L,  554.365L,  587.330L,
    622.254L,  659.255L,  698.456L,  739.989L,  783.991L,  830.609L,  880.000L,  932.328L,  987.767L,
    1046.502L, 1108.731L, 1174.659L, 1244.508L, 1318.510L, 1396.913L, 1479.978L, 1567.982L, 1661.219L,
    1760.000L, 1864.655L, 1975.533L, 2093.005L, 2217.461L, 2349.318L, 2489.016L, 2637.020L, 2793.826L,
    2959.955L, 3135.963L, 3322.438L, 3520.000L, 3729.310L, 3951.066L,
};

double funTab1[kFunTab1Size];
double funTab2[kFunTab2Size];

namespace {

// One quarter-sine bend: the product in extended precision, the sine in
// double.
double bend(long double u) { return std::sin(static_cast<double>(1.5707963265L * u)); }

void fillFunTab1() {
  for (int i = 0; i < kFunTab1Size; ++i) {
    const long double u = static_cast<long double>(i) / 64.0L;
    funTab1[i] = bend(bend(bend(bend(u))));
  }
}

void fillFunTab2() {
  for (int i = 0; i < kFunTab2Size; ++i) {
    // Single-precision power by design: the curve's values are part of the
    // sound, so they are the float results, widened.
    funTab2[i] = static_cast<double>(std::pow(2.0f, static_cast<float>(i) / 32.0f - 8.0f));
  }
}

}  // namespace

// Each instance's constructor calls these. Rewriting the shared tables while
// another instance's audio thread reads them would be a data race even with
// equal values, so the filling happens once per process (thread-safe static
// initialisation) and later calls return at once.
void initFunTab1() {
  static const bool filled = (fillFunTab1(), true);
  (void)filled;
}

void initFunTab2() {
  static const bool filled = (fillFunTab2(), true);
  (void)filled;
}

namespace {

int scaledDraw(int draw, int n) {
  if (n <= 0) {
    return 0;
  }
  // 2^-31 is exact in every format; the product of a 31-bit integer and an
  // int fits the 64-bit mantissa of the extended format exactly.
  const long double scaled =
      static_cast<long double>(draw) * 4.656612873077392578125e-10L * static_cast<long double>(n);
  const int r = static_cast<int>(scaled);
  // A C library whose RAND_MAX exceeds 2^31 - 1 must not yield n.
  return r < n ? r : n - 1;
}

}  // namespace

int random(int n) { return n <= 0 ? 0 : scaledDraw(std::rand(), n); }

int random(RandomSequence& sequence, int n) { return n <= 0 ? 0 : scaledDraw(sequence.next(), n); }
