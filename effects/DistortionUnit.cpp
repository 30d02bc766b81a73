#include "effects/DistortionUnit.h"

#include <algorithm>
#include <cstring>

void DistortionUnit::setDisto(float value) {
  int algorithm = static_cast<int>(4.0f * value);
  if (algorithm == kNumAlgorithms) algorithm = kNumAlgorithms - 1;
  m_previousDistoAlgorithm = m_distoAlgorithm;
  if (algorithm != m_distoAlgorithm) {
    m_distoAlgorithmChanged = true;
    m_distoAlgorithm = algorithm;
  }
}

void DistortionUnit::setDistoParam1(float value) { m_drive = value; }

void DistortionUnit::setDistoParam2(float value) { m_setting = value; }

void DistortionUnit::processDisto(float** channels, int frames) {
  if (frames <= 0) return;
  for (int start = 0; start < frames; start += kSlice)
    processInternalDisto(channels[0] + start, std::min(kSlice, frames - start));
  std::memcpy(channels[1], channels[0], sizeof(float) * static_cast<size_t>(frames));
}

void DistortionUnit::processInternalDisto(float*, int) {
  // The algorithms themselves join the unit with the effects work; until
  // then every selection passes the signal through unchanged.
}
