#include "effects/DistortionUnit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace {
// "Dist prm2" at construction, written into the overdrive and the clipper;
// the cruncher keeps its own defaults until the parameter first arrives.
constexpr float kDefaultParam2 = 0.5f;
// Above this a host rate is nonsense, and four times it would not fit the
// clipper's integer rate.
constexpr float kMaximumSampleRate = 100.0e6f;
}  // namespace

DistortionUnit::DistortionUnit() {
  m_overdrive.m_mix = kDefaultParam2;
  m_clipper.m_setting = kDefaultParam2;
  m_clipper.clear();
  m_upsampler.set_nbr_chn(1);
  m_downsampler.set_nbr_chn(1);
  std::fill(std::begin(m_oversampledBuffer), std::end(m_oversampledBuffer), 0.0f);
}

void DistortionUnit::setDisto(float value) {
  if (std::isnan(value)) return;
  value = std::clamp(value, 0.0f, 1.0f);
  int algorithm = static_cast<int>(4.0f * value);
  if (algorithm == kNumAlgorithms) algorithm = kNumAlgorithms - 1;
  m_previousDistoAlgorithm = m_distoAlgorithm;
  if (algorithm != m_distoAlgorithm) {
    m_distoAlgorithmChanged = true;
    m_distoAlgorithm = algorithm;
    notify(algorithm);
  } else if (m_distoAlgorithmChanged) {
    // The editor may have missed the first message; the change is still
    // waiting for its crossfade, so say it again.
    notify(algorithm);
  }
}

void DistortionUnit::setDistoParam1(float value) {
  m_overdrive.setDrive(value);
  m_clipper.setDrive(value);
  m_valve.setDrive(value);
  m_cruncher.setDrive(value);
}

void DistortionUnit::setDistoParam2(float value) {
  m_overdrive.setMix(value);
  m_clipper.setSetting(value);
  m_cruncher.setThreshold(value);
}

void DistortionUnit::setSampleRate(float rate) {
  if (!(rate > 0.0f) || !(rate <= kMaximumSampleRate)) return;  // also NaN and inf
  const int hostRate = static_cast<int>(rate);
  m_clipper.setSamplerate(hostRate);
  m_valve.setSamplerate(hostRate);
}

void DistortionUnit::clearOversampler() {
  m_upsampler.clear_buffers();
  m_downsampler.clear_buffers();
}

void DistortionUnit::setAlgorithmNotifier(AlgorithmNotifier fn, void* context) {
  m_notifier = fn;
  m_notifierContext = context;
}

void DistortionUnit::notify(int algorithm) const {
  if (m_notifier != nullptr) m_notifier(m_notifierContext, algorithm);
}

void DistortionUnit::processDisto(float** channels, int frames) {
  if (frames <= 0) return;
  for (int start = 0; start < frames; start += kSlice)
    processInternalDisto(channels[0] + start, std::min(kSlice, frames - start));
  std::memcpy(channels[1], channels[0], sizeof(float) * static_cast<size_t>(frames));
}

template <class Algorithm>
void DistortionUnit::runOversampled(Algorithm& algorithm, float* slice, int count) {
  if (!algorithm.m_oversample) {
    algorithm.process(slice, count);
    return;
  }
  m_upsampler.process_block_1ch(0, m_oversampledBuffer, slice, count);
  algorithm.process(m_oversampledBuffer, kOversampling * count);
  m_downsampler.process_block_1ch(0, slice, m_oversampledBuffer, count);
}

void DistortionUnit::processInternalDisto(float* slice, int count) {
  // One read: a setDisto on another thread takes effect at a slice start.
  switch (m_distoAlgorithm) {
    case 0:
      m_overdrive.process(slice, count);
      break;
    case 1:
      runOversampled(m_clipper, slice, count);
      break;
    case 2:
      runOversampled(m_valve, slice, count);
      break;
    case 3:
      runOversampled(m_cruncher, slice, count);
      break;
    default:
      break;  // unknown algorithm: pass through
  }
}
