#include "engine/Oscillator.h"

#include <algorithm>
#include <vector>

#include "resampler/TableOscillator.h"
#include "resampler/WaveSources.h"

namespace {
constexpr double kMinimumRate = 22050.0;  // below it the voice plays the direct oscillator only
}  // namespace

Oscillator::Oscillator() {
  // The sources are only needed while the pyramids are built.
  std::vector<float> source(kSourceLength);
  rspl::generate_steady_saw(source.data(), kSourceLength, kTableLength);
  rspl::build_oscillator_mip_map(m_sawMipMap, source.data());
  rspl::generate_squarevirus(source.data(), kSourceLength);
  rspl::build_oscillator_mip_map(m_squareMipMap, source.data());
  rspl::generate_steady_square(source.data(), kSourceLength, kTableLength);
  rspl::build_oscillator_mip_map(m_steadySquareMipMap, source.data());

  m_resampler.set_sample(m_sawMipMap);
  m_resampler.set_interp(m_interp);
  m_resampler.clear_buffers();
}

void Oscillator::setWaveform(bool square) {
  m_resampler.set_sample(square ? m_squareMipMap : m_sawMipMap);
  m_pitch = 0;
}

void Oscillator::restart() { m_resampler.set_playback_pos(0); }

void Oscillator::clear() { m_resampler.clear_buffers(); }

int64_t Oscillator::playbackPosition() const { return m_resampler.get_playback_pos(); }

void Oscillator::processResampler2(int count, long double noteFreq, float tuning, double sampleRate) {
  if (!(sampleRate >= kMinimumRate) || count <= 0) return;
  if (count > kChunk) count = kChunk;
  // A rest keeps the last pitch: the voice mutes the oscillator itself.
  if (noteFreq > 0.0L) m_pitch = rspl::pitch_for_note(static_cast<double>(noteFreq), tuning, sampleRate);
  rspl::render_chunk(m_resampler, m_chunk, count, m_pitch);
  m_oscWritten += kChunk;
}

void Oscillator::rerenderFrom(int index, int count, long double noteFreq, float tuning, double sampleRate) {
  const int offset = index & (kChunk - 1);
  count = std::min(count, kChunk - offset);
  if (!(sampleRate >= kMinimumRate) || count <= 0) return;
  if (noteFreq > 0.0L) m_pitch = rspl::pitch_for_note(static_cast<double>(noteFreq), tuning, sampleRate);
  rspl::render_chunk(m_resampler, m_chunk + offset, count, m_pitch);
}
