#include "effects/Overdrive.h"

#include <cmath>

#include "effects/DistortionUnitParam.h"

Overdrive::Overdrive() : m_driveSmoother(4.0f, 44100.0f), m_mixSmoother(4.0f, 44100.0f) {}

void Overdrive::setDrive(float value) { m_drive = distortion_param::sanitise(value, m_drive); }

void Overdrive::setMix(float value) { m_mix = distortion_param::sanitise(value, m_mix); }

void Overdrive::process(float* buf, int count) {
  if (count < 1) return;
  const double d = m_driveSmoother.process(m_drive);
  const double gain = 1.0 + 19.0 * d;
  // The mix goes through a percentage and back, as the knob was voiced.
  const double percent = 100.0 * static_cast<double>(m_mixSmoother.process(m_mix));
  const double w = 0.01 * percent;
  const double w2 = 0.0001 * percent * percent;
  const double target = std::pow(10.0, (0.0 - 0.5 * gain) * 0.05);
  const double dry = 1.0 - w;
  double s = m_gainState;
  for (int i = 0; i < count; ++i) {
    const double x = buf[i];
    s = 0.999 * s + (1.0 - 0.999) * target;
    const double a = std::fabs(w * x);
    const double q = (gain + a) * s / (1.0 + (gain - 1.0) * a + w2 * x * x);
    buf[i] = static_cast<float>(x * (w * q + dry));
  }
  m_gainState = s;
}
