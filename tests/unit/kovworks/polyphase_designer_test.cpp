// The half-band designer against the published coefficient tables and
// oversampler_reference.py (an independent write-up of the procedure), and
// every design against its own goal, measured on the frequency response of
// the coefficients it returns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "kovworks/hiir/PolyphaseIir2Designer.h"

namespace {

using hiir::PolyphaseIir2Designer;

constexpr double kPi = 3.14159265358979323846;

// |H| of the half-band low-pass built from coefs, at f (fraction of the rate
// the filter runs at): (A(z^2) + z^-1 B(z^2)) / 2, even-indexed coefficients
// in branch A, odd-indexed in branch B.
double half_band_magnitude(const std::vector<double>& coefs, double f) {
  const std::complex<double> z1 = std::polar(1.0, -2 * kPi * f);
  const std::complex<double> z2 = z1 * z1;
  std::complex<double> branch[2] = {1.0, 1.0};
  for (size_t i = 0; i < coefs.size(); ++i) {
    branch[i % 2] *= (coefs[i] + z2) / (1.0 + coefs[i] * z2);
  }
  return std::abs(0.5 * (branch[0] + z1 * branch[1]));
}

TEST(PolyphaseIir2Designer, DesignsMatchPublishedTablesAndTheReference) {
  // The oversampler's two designs against the published tables (9
  // significant digits), a third against oversampler_reference.py.
  const struct {
    double attenuation, transition;
    std::vector<double> coefs;
    double tol;
  } designs[] = {
      {69,
       0.01,
       {0.0771150798, 0.265968527, 0.482070625, 0.665104153, 0.796820471, 0.884101509, 0.941251428,
        0.982005414},
       1e-9},
      {69, 0.2, {0.0814300232, 0.315659840, 0.709770800}, 1e-9},
      {100,
       0.05,
       {0.035832788431062107, 0.1340901419430669, 0.2720401433964576, 0.42432487127186852,
        0.57205719723570025, 0.70629214213863944, 0.82712476199732399, 0.94150309417375511},
       1e-13},
  };
  for (const auto& d : designs) {
    double coefs[16] = {};
    ASSERT_EQ(PolyphaseIir2Designer::compute_coefs(coefs, d.attenuation, d.transition), int(d.coefs.size()));
    for (size_t i = 0; i < d.coefs.size(); ++i)
      EXPECT_NEAR(coefs[i], d.coefs[i], d.tol) << d.attenuation << " " << i;
  }
}

// Whatever is asked for, the returned filter must deliver it: at least the
// attenuation from 0.25 + transition / 2 to 0.5, a flat passband up to
// 0.25 - transition / 2 and -3.01 dB (1 / sqrt 2) at 0.25.
TEST(PolyphaseIir2Designer, EveryDesignMeetsItsGoal) {
  const struct {
    double attenuation, transition;
  } goals[] = {{69, 0.01}, {69, 0.2}, {96, 0.002}, {20, 0.3}, {50, 0.45}};
  for (const auto& goal : goals) {
    SCOPED_TRACE(testing::Message() << goal.attenuation << " dB, " << goal.transition);
    double buf[64] = {};
    const int n = PolyphaseIir2Designer::compute_coefs(buf, goal.attenuation, goal.transition);
    ASSERT_TRUE(n > 0 && n <= 64);
    const std::vector<double> coefs(buf, buf + n);

    const double stop_lo = 0.25 + goal.transition / 2, pass_hi = 0.25 - goal.transition / 2;
    double worst_stop = 0, worst_pass = 1;
    for (int i = 0; i <= 2000; ++i) {
      worst_stop = std::max(worst_stop, half_band_magnitude(coefs, stop_lo + (0.5 - stop_lo) * i / 2000));
      worst_pass = std::min(worst_pass, half_band_magnitude(coefs, pass_hi * i / 2000));
    }
    // The odd order rounds up, so the goal is met with some margin; the
    // 0.01 dB allows for the finite frequency grid only.
    EXPECT_LE(20 * std::log10(worst_stop), -goal.attenuation + 0.01);
    // Power complementarity: |H_pass|^2 = 1 - |H_stop|^2 at the mirror
    // frequency, so the passband droops by at most half the stopband power.
    EXPECT_GE(worst_pass, std::sqrt(1 - std::pow(10.0, -goal.attenuation / 10)) - 1e-12);
    EXPECT_NEAR(half_band_magnitude(coefs, 0.25), std::sqrt(0.5), 1e-12);
  }
}

}  // namespace
