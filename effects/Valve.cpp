#include "effects/Valve.h"

#include <climits>
#include <cmath>

#include "effects/DistortionUnitParam.h"

namespace {
constexpr double kLn10 = 2.302585092994046;
constexpr double kDbToLn = 0.05 * kLn10;  // 10^(db / 20) = e^(db * kDbToLn)
constexpr double kOneOver13 = 0.7692307692307692;
}  // namespace

Valve::Valve() : m_driveSmoother(4.0f, 44100.0f) {}

void Valve::setSamplerate(int rate) {
  if (rate < 1 || rate > INT_MAX / 4) return;
  const int effective = m_oversample ? 4 * rate : rate;
  m_driveSmoother.init(4.0f, static_cast<float>(effective));
}

void Valve::setDrive(float value) { m_drive = distortion_param::sanitise(value, m_drive); }

void Valve::process(float* buf, int count) {
  if (count < 1) return;
  const float v = m_driveSmoother.process(m_drive);
  m_outputGain = static_cast<float>(1.0 - 0.75 * std::log(1.0 + 100.0 * v) / kLn10 * 0.5);
  const double g = m_outputGain;
  const double target = 32.0f * v + 3.0f;
  double db = m_levelDb;
  for (int i = 0; i < count; ++i) {
    db = 0.99 * db + (1.0 - 0.99) * target;
    const double k = std::exp(db * kDbToLn);
    const double u = k * buf[i];
    const double b = 0.25 / k;
    // (e^((1-b)u) - e^(-(1+b)u)) / ((1+b)(e^u + e^-u)) factors exactly into
    // tanh(u) e^(-bu) / (1+b): two calls instead of four, and no e^u of a
    // loud input overflowing into inf / inf. Since bu = x / 4, the e^(-bu)
    // factor is what tilts the two half-waves apart.
    const double y = std::tanh(u) * std::exp(-b * u) / (1.0 + b);
    const float shaped = static_cast<float>(y * kOneOver13);
    buf[i] = static_cast<float>(shaped * g);
  }
  m_levelDb = db;
}
