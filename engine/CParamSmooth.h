// One-pole parameter smoother for gains and distortion settings.
//
// z follows the input exponentially: z = x * b + z * a with b = 1 - a and
// a = exp(-2*pi / (time_s * sampleRate)), so a step in x settles to within
// 1/e^(2*pi) (about 0.19 %) after smoothingTimeMs. Every user runs it at
// 4 ms and re-initialises it when the rendering rate changes.
//
// The three members are public and stay in the order a, b, z: other parts of
// the instrument read and seed them directly.
#pragma once

class CParamSmooth {
 public:
  CParamSmooth(float smoothingTimeMs, float sampleRate);

  // Sets a and b for the given time and rate and clears z. A host can hand
  // us a rate of 0 (before its first setSampleRate) or worse; a time or rate
  // that is zero, negative or not finite keeps the previous coefficients
  // (they still clear z), so process() never produces NaN from it.
  void init(float smoothingTimeMs, float sampleRate);

  // One smoothing step; returns the new state. Realtime safe.
  float process(float x) {
    z = x * b + z * a;
    return z;
  }

  float a, b, z;
};
