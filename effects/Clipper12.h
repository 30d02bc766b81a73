// Clipper12: a circuit-model clipper (distortion algorithm 1), run at four
// times the host rate.
//
// Two stages, both in place:
//  - processDisto12, the pre-stage: three cascaded one-pole high-pass
//    sections (corner about 50 Hz), a gain of 4 (drive below 0.125) up to
//    32 (drive 1), a hard limit at +-0.8 and an output gain of 0.25, so it
//    never leaves +-0.2.
//  - processDisto, the circuit: a discretised analogue clipping network.
//    Its filter coefficients are fixed numbers of the discretised circuit,
//    used unchanged at whatever rate it runs; its two non-linear elements
//    are transfer tables of 100 entries (a symmetric first element, and a
//    second one that saturates at 0.801 for positive and 0.675 for negative
//    swings, which makes the clipping asymmetric). "Dist prm2" (setting)
//    sets the output level P = 10^((32 level - 20) / 20) with
//    level = 0.45 - 0.2 setting (P = 0.525 .. 0.251) and, smoothed, the
//    circuit's tone.
// Three internal quantities follow one-pole ramps with a factor of 0.993
// per sample from 0, so a fresh clipper fades in over a few hundred
// samples. In silence the output settles to a small constant, about
// 0.00135 P, the second element's offset at zero input.
//
// Per sample: arithmetic and two table look-ups; one pow() per call.
#pragma once

#include "engine/CParamSmooth.h"
#include "engine/Filters.h"

class Clipper12 {
 public:
  static constexpr int kTableSize = 100;

  Clipper12();

  // Clears the pre-stage filter and the circuit state. The instrument calls
  // it once, at construction; after that the state carries on for good.
  void clear();

  // Stores the host rate and re-initialises both smoothers for four times
  // it (the clipper always runs oversampled in this instrument). A rate
  // below 1 Hz, or one whose fourfold does not fit an int, is ignored.
  void setSamplerate(int rate);

  // NaN leaves the value unchanged; anything else is limited to 0..1.
  void setDrive(float value);
  void setSetting(float value);

  // processDisto12 then processDisto; nothing happens when count < 1.
  void process(float* buf, int count);
  void processDisto12(float* buf, int count);
  void processDisto(float* buf, int count);

  // One transfer table: 100 entries over inputs from `min` in steps of
  // 1 / scale, linear between entries, held at the ends; an input just
  // below `min` extrapolates from entries 0 and 1.
  static double lookup(const float* table, float min, float scale, double v);

  // The two non-linear elements.
  static const float* tableA();          // first element, falls 0 .. -0.552
  static const float* tableBPositive();  // second element, q >= 0
  static const float* tableBNegative();  // second element, q < 0

  struct Circuit {
    double r0 = 0.0, r1 = 0.0, r2 = 0.0;  // the three ramps
    double e1 = 0.0, e2 = 0.0, g1 = 0.0, j1 = 0.0, k1 = 0.0, f1 = 0.0, f2 = 0.0, u1 = 0.0;
  };

  // processDisto's loop; Settled: the three ramps are on their fixed
  // points.
  template <bool Settled>
  void runCircuit(float* buf, int count, double toneTarget, double outputLevel);

  bool m_oversample = true;
  int m_rate = 44100;
  float m_drive = 0.0f;
  float m_setting = 0.0f;  // the instrument writes 0.5 at construction
  float m_level = 0.25f;   // recomputed from m_setting by every processDisto call
  float m_preGain = 0.25f;
  float m_preCutoff = 0.25f;
  tbiquad m_highpass;
  CParamSmooth m_driveSmoother;
  CParamSmooth m_settingSmoother;
  Circuit m_circuit;
};
