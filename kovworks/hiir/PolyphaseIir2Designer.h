// Design of the coefficients of a half-band polyphase IIR filter.
//
// The filter is the sum of two branches of first-order all-pass sections in
// z^-2, one branch delayed by one sample, which makes an elliptic half-band
// low-pass: passband from 0 to 0.25 - transition / 2, stopband from
// 0.25 + transition / 2 to 0.5, both as fractions of the rate the filter runs
// at (the higher of the two rates of a 2x stage). The response is -3.01 dB at
// 0.25 and the passband ripple is tiny (below 1e-6 dB for a 69 dB stopband),
// so only the stopband attenuation and the transition width are asked for.
//
// Coefficient i belongs to branch A when i is even and to branch B when i is
// odd. The procedure computes the Jacobi elliptic functions through the nome
// q (theta-function series), everything in double precision. It runs at
// configuration time only.
#pragma once

namespace hiir {

class PolyphaseIir2Designer {
 public:
  PolyphaseIir2Designer() = delete;

  // Number of all-pass coefficients the design needs.
  // attenuation: stopband attenuation in dB, > 0.
  // transition: transition bandwidth, 0 < transition < 0.5.
  // Returns (order - 1) / 2, at least 1.
  static int compute_nbr_coefs_from_proto(double attenuation, double transition) noexcept;

  // Fills coef_arr with the coefficients of the design and returns how many
  // were written; coef_arr must have room for
  // compute_nbr_coefs_from_proto(attenuation, transition) values. Every
  // coefficient lies in (0, 1) and they grow with the index.
  static int compute_coefs(double coef_arr[], double attenuation, double transition) noexcept;

  // The steps of the procedure, public so that each can be checked alone.

  // From the transition bandwidth: the selectivity factor k in (0, 1) and the
  // nome q > 0 of the elliptic functions.
  static void compute_transition_param(double& k, double& q, double transition) noexcept;

  // The odd filter order, at least 3, that reaches the attenuation (dB) with
  // the nome q.
  static int compute_order(double attenuation, double q) noexcept;

  // Coefficient number index (0-based) of a filter of the given order.
  static double compute_coef(int index, double k, double q, int order) noexcept;

  // Numerator and denominator theta series for coefficient c = index + 1.
  static double compute_acc_num(double q, int order, int c) noexcept;
  static double compute_acc_den(double q, int order, int c) noexcept;
};

}  // namespace hiir
