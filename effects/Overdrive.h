// Overdrive: a soft saturator with a dry/wet mix and slow level
// compensation, run at the host rate (distortion algorithm 0).
//
// Parameters are normalised 0..1: drive sets the wet gain G = 1 + 19 d
// (1..20), mix the wet share w. Each process() call advances the two
// parameter smoothers by one step, so a parameter change settles over a
// few slices, not a few samples. The wet path's gain state s follows
// 10^(-G/40) with a factor of 0.999 per sample: a fresh overdrive fades its
// wet path in over about a thousand samples and keeps loud drive settings
// from jumping in level.
//
// For small signals the wet gain is s * G (0.944 at G = 1, 6.32 at G = 20);
// for large |w x| the wet path tends to s / w * sign(x). No latency.
#pragma once

#include "engine/CParamSmooth.h"

class Overdrive {
 public:
  Overdrive();

  // In place; nothing happens when count < 1.
  void process(float* buf, int count);
  // The overdrive has nothing to reset: its gain state is meant to carry on.
  void clear() {}

  // NaN leaves the value unchanged; anything else is limited to 0..1.
  void setDrive(float value);
  void setMix(float value);

  // Not consulted: the unit always runs the overdrive at the host rate.
  bool m_oversample = false;
  float m_drive = 0.0f;
  float m_mix = 1.0f;  // the instrument writes 0.5 at construction
  double m_gainState = 0.0;
  // Made for 44.1 kHz and never re-initialised: the smoothing time scales
  // with the block slicing, not with the rate.
  CParamSmooth m_driveSmoother;
  CParamSmooth m_mixSmoother;
};
