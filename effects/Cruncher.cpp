#include "effects/Cruncher.h"

#include "effects/DistortionUnitParam.h"

void Cruncher::setDrive(float value) {
  if (value != value) return;
  m_drive = static_cast<float>(0.3 * distortion_param::sanitise(value, 0.0f) + 0.11);
}

void Cruncher::setThreshold(float value) {
  if (value != value) return;
  m_threshold = static_cast<float>(0.4 * distortion_param::sanitise(value, 0.0f) + 0.2);
}

void Cruncher::process(float* buf, int count) {
  if (count < 1) return;
  const float k = 1000.0f * m_drive * m_drive * m_drive;
  const float t = m_threshold;
  const float clipped = t * m_outputGain;
  for (int i = 0; i < count; ++i) {
    const float y = k * buf[i];
    if (y > t) {
      buf[i] = clipped;
    } else if (y < -t) {
      buf[i] = -clipped;
    } else {
      buf[i] *= m_outputGain;
    }
  }
}
