#include "kovworks/hiir/PolyphaseIir2Designer.h"

#include <cassert>
#include <cmath>

#include "kovworks/hiir/fnc.h"

namespace hiir {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Both theta series converge very fast (q stays below 0.7 even for absurdly
// narrow transition bands); a term this small no longer changes a double.
constexpr double kSeriesEnd = 1e-100;

}  // namespace

int PolyphaseIir2Designer::compute_nbr_coefs_from_proto(double attenuation,
                                                        double transition) noexcept {
  assert(attenuation > 0);
  assert(transition > 0);
  assert(transition < 0.5);

  double k = 0;
  double q = 0;
  compute_transition_param(k, q, transition);
  const int order = compute_order(attenuation, q);
  return (order - 1) / 2;
}

int PolyphaseIir2Designer::compute_coefs(double coef_arr[], double attenuation,
                                         double transition) noexcept {
  assert(coef_arr != nullptr);
  assert(attenuation > 0);
  assert(transition > 0);
  assert(transition < 0.5);

  double k = 0;
  double q = 0;
  compute_transition_param(k, q, transition);
  const int order = compute_order(attenuation, q);
  const int nbr_coefs = (order - 1) / 2;
  for (int index = 0; index < nbr_coefs; ++index) {
    coef_arr[index] = compute_coef(index, k, q, order);
  }
  return nbr_coefs;
}

void PolyphaseIir2Designer::compute_transition_param(double& k, double& q,
                                                     double transition) noexcept {
  assert(transition > 0);
  assert(transition < 0.5);

  k = std::tan((1 - transition * 2) * kPi / 4);
  k *= k;
  assert(k > 0);
  assert(k < 1);

  // The nome from the complementary modulus, by its series in e.
  const double kk = std::pow(1 - k * k, 0.25);
  const double e = 0.5 * (1 - kk) / (1 + kk);
  const double e4 = ipowp(e, 4);
  q = e * (1 + e4 * (2 + e4 * (15 + 150 * e4)));
  assert(q > 0);
}

int PolyphaseIir2Designer::compute_order(double attenuation, double q) noexcept {
  assert(attenuation > 0);
  assert(q > 0);

  const double p = std::pow(10.0, -attenuation / 10);
  const double a = p / (1 - p);
  int order = static_cast<int>(std::ceil(std::log(a * a / 16) / std::log(q)));

  // Only an odd order splits into two all-pass branches; order 1 would leave
  // a single section and no filtering at all.
  if ((order & 1) == 0) {
    ++order;
  }
  if (order == 1) {
    order = 3;
  }
  return order;
}

double PolyphaseIir2Designer::compute_coef(int index, double k, double q, int order) noexcept {
  assert(index >= 0);
  assert(index * 2 + 1 < order);

  const int c = index + 1;
  const double num = compute_acc_num(q, order, c) * std::pow(q, 0.25);
  const double den = compute_acc_den(q, order, c) + 0.5;
  const double w = num / den;
  const double w2 = w * w;
  const double x = std::sqrt((1 - w2 * k) * (1 - w2 / k)) / (1 + w2);
  return (1 - x) / (1 + x);
}

double PolyphaseIir2Designer::compute_acc_num(double q, int order, int c) noexcept {
  assert(q > 0);
  assert(order > 0);

  double acc = 0;
  double term = 0;
  int j = 0;
  do {
    term = ipowp(q, static_cast<long>(j) * (j + 1)) *
           std::sin((j * 2 + 1) * c * kPi / order);
    if ((j & 1) != 0) {
      term = -term;
    }
    acc += term;
    ++j;
  } while (std::fabs(term) > kSeriesEnd);
  return acc;
}

double PolyphaseIir2Designer::compute_acc_den(double q, int order, int c) noexcept {
  assert(q > 0);
  assert(order > 0);

  double acc = 0;
  double term = 0;
  int j = 1;
  do {
    term = ipowp(q, static_cast<long>(j) * j) * std::cos(j * 2 * c * kPi / order);
    if ((j & 1) != 0) {
      term = -term;
    }
    acc += term;
    ++j;
  } while (std::fabs(term) > kSeriesEnd);
  return acc;
}

}  // namespace hiir
