// Cruncher: a hard clipper whose pass-band is not amplified (distortion
// algorithm 3), run at four times the host rate.
//
// With k = 1000 drive^3, a sample x with |k x| above the threshold t comes
// out as +-t / 2; below it, x / 2 passes unchanged. The drive therefore only
// moves the clipping point |x| = t / k, and the output jumps from about
// +-t / (2k) to +-t / 2 where clipping starts: a harsh, gated crunch.
//   drive     = 0.3 p1 + 0.11 (0.11..0.41, k = 1.33..68.9)
//   threshold = 0.4 p2 + 0.2  (0.2..0.6)
// No state, no smoothing, no latency.
#pragma once

class Cruncher {
 public:
  // In place; nothing happens when count < 1.
  void process(float* buf, int count);

  // Map the normalised "Dist prm1" / "Dist prm2" (0..1; NaN is ignored,
  // other values are limited to 0..1 first).
  void setDrive(float value);
  void setThreshold(float value);

  float getDrive() const { return m_drive; }
  float getThreshold() const { return m_threshold; }

  bool m_oversample = true;

 private:
  float m_drive = 0.25f;
  float m_threshold = 0.25f;
  float m_outputGain = 0.5f;
};
