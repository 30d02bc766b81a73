// The distortion stage between the voice and the delay: selects one of four
// algorithms from "Dist Sel", routes "Dist prm1"/"Dist prm2" to them and
// distorts channel 0 in slices of at most 64 samples.
#pragma once

class DistortionUnit {
 public:
  static constexpr int kNumAlgorithms = 4;
  static constexpr int kSlice = 64;

  // "Dist Sel": algorithm = trunc(4 v), 4 folded to 3.
  void setDisto(float value);
  void setDistoParam1(float value);
  void setDistoParam2(float value);

  // Distorts channels[0] in place and copies it into channels[1].
  void processDisto(float** channels, int frames);

  int m_distoAlgorithm = 0;
  int m_previousDistoAlgorithm = 0;
  bool m_distoAlgorithmChanged = false;

 private:
  void processInternalDisto(float* slice, int count);

  float m_drive = 0.0f;
  float m_setting = 0.5f;
};
