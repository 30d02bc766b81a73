// The half-band designs shared by Upsampler4x and Downsampler4x.
#pragma once

#include <cassert>

#include "kovworks/hiir/PolyphaseIir2Designer.h"

namespace kov {
namespace studio {
namespace genlib {
namespace oversampler_design {

// Both stages reject by 69 dB, enough to keep the distortion's aliases under
// the noise of the voice. The stage between 1x and 2x needs a narrow
// transition band (1 % of its 2x rate) so that the passband reaches 0.49 fs;
// the stage between 2x and 4x only has to clear the images above 1.4 fs.
constexpr double kAttenuationDb = 69.0;
constexpr double kTransition1x2x = 0.01;
constexpr double kTransition2x4x = 0.2;
constexpr int kNbrCoefs1x2x = 8;
constexpr int kNbrCoefs2x4x = 3;

// Fills coef_arr (room for nbr_coefs values) with the design, which must
// need exactly nbr_coefs coefficients.
inline void compute_stage_coefs(double coef_arr[], int nbr_coefs, double transition) noexcept {
  const int needed =
      hiir::PolyphaseIir2Designer::compute_nbr_coefs_from_proto(kAttenuationDb, transition);
  assert(needed == nbr_coefs);
  if (needed != nbr_coefs) {
    // Cannot happen with the fixed designs above; never write past the
    // caller's array, leave the stage at its inert all-zero coefficients.
    for (int i = 0; i < nbr_coefs; ++i) {
      coef_arr[i] = 0.0;
    }
    return;
  }
  hiir::PolyphaseIir2Designer::compute_coefs(coef_arr, kAttenuationDb, transition);
}

}  // namespace oversampler_design
}  // namespace genlib
}  // namespace studio
}  // namespace kov
