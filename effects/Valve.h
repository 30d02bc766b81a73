// Valve: an asymmetric exponential saturator (distortion algorithm 2), run
// at four times the host rate.
//
// The drive v (0..1) sets a gain K that approaches 10^((32 v + 3) / 20)
// (1.41 at v = 0, 56 at v = 1) through a per-sample ramp in dB (factor
// 0.99), and an output gain g = 1 - 0.375 log10(1 + 100 v) (1.0 down to
// 0.248) that roughly levels the louder settings. The curve
//   (e^((1-b)u) - e^(-(1+b)u)) / ((1+b)(e^u + e^-u)) / 1.3,  u = K x,
// b = 0.25 / K, is tanh-like but bends the two half-waves differently,
// which brings in even harmonics. Zero in gives zero out. No latency.
#pragma once

#include "engine/CParamSmooth.h"

class Valve {
 public:
  Valve();

  // In place; nothing happens when count < 1.
  void process(float* buf, int count);

  // Re-initialises the drive smoother for the rate it really runs at: four
  // times `rate` when m_oversample is set. A rate below 1 Hz, or one whose
  // fourfold does not fit an int, is ignored.
  void setSamplerate(int rate);

  // NaN leaves the drive unchanged; anything else is limited to 0..1.
  void setDrive(float value);

  bool m_oversample = true;
  float m_outputGain = 1.0f;  // g, recomputed by every process() call
  float m_drive = 0.0f;
  double m_levelDb = 0.0;  // the ramp towards 32 v + 3 dB
  CParamSmooth m_driveSmoother;
};
