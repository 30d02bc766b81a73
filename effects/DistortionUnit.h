// The distortion stage between the voice and the delay: selects one of four
// algorithms from "Dist Sel", routes "Dist prm1"/"Dist prm2" to them and
// distorts channel 0 in slices of at most 64 samples.
//
//   0 "Overdrive"    Overdrive   host rate   prm1 drive  prm2 mix
//   1 "ClipInferno"  Clipper12   4x          prm1 drive  prm2 setting
//   2 "HotFuzz"      Valve       4x          prm1 drive  (none)
//   3 "Ultracrunch"  Cruncher    4x          prm1 drive  prm2 threshold
//
// The three oversampled algorithms share one 4x up/down pair, whose filter
// state is not cleared on a change of algorithm (the block driver's
// crossfade hides that); clearOversampler() clears it. An algorithm number
// outside 0..3 passes the signal through. Only the selected algorithm runs;
// the others keep their state. The oversampler adds about 7 host samples
// of latency to algorithms 1..3.
//
// Setters may run on any thread and are single stores; processDisto runs
// on the audio thread and neither allocates nor locks.
#pragma once

#include "effects/Clipper12.h"
#include "effects/Cruncher.h"
#include "effects/Overdrive.h"
#include "effects/Valve.h"
#include "kovworks/Downsampler4x.h"
#include "kovworks/Upsampler4x.h"

class DistortionUnit {
 public:
  static constexpr int kNumAlgorithms = 4;
  static constexpr int kSlice = 64;
  static constexpr int kOversampling = 4;

  // Called with the algorithm number whenever the editor has to show a
  // new selection.
  using AlgorithmNotifier = void (*)(void* context, int algorithm);

  DistortionUnit();

  // "Dist Sel": algorithm = trunc(4 v), 4 folded to 3. Values outside 0..1
  // are limited to it first, a NaN is ignored. Remembers the algorithm in
  // force as m_previousDistoAlgorithm on every call; on a change sets
  // m_distoAlgorithmChanged and notifies, and notifies again when the same
  // algorithm is chosen while that change has not been crossfaded yet.
  void setDisto(float value);
  void setDistoParam1(float value);
  void setDistoParam2(float value);

  // Distorts channels[0] in place and copies it into channels[1].
  void processDisto(float** channels, int frames);

  // Ignores a rate that is 0, negative, not finite or absurdly high.
  void setSampleRate(float rate);
  // Zeroes the oversampler's filter memories (the instrument's resume).
  void clearOversampler();
  // fn may be null (no editor); it is called on the thread of setDisto.
  void setAlgorithmNotifier(AlgorithmNotifier fn, void* context);

  int m_distoAlgorithm = 0;
  int m_previousDistoAlgorithm = 0;
  bool m_distoAlgorithmChanged = false;

  Overdrive m_overdrive;
  Clipper12 m_clipper;
  Valve m_valve;
  Cruncher m_cruncher;
  kov::studio::genlib::Upsampler4x m_upsampler;
  kov::studio::genlib::Downsampler4x m_downsampler;
  alignas(16) float m_oversampledBuffer[kOversampling * kSlice];

 private:
  void processInternalDisto(float* slice, int count);
  template <class Algorithm>
  void runOversampled(Algorithm& algorithm, float* slice, int count);
  void notify(int algorithm) const;

  AlgorithmNotifier m_notifier = nullptr;
  void* m_notifierContext = nullptr;
};
