// The band-limited oscillator: saw and square cycles stored as long
// multi-cycle tables in mip-map pyramids, played by the table player in
// chunks of 32 samples. The voice reads one sample of the current chunk per
// output sample; the pitch follows the note once per chunk.
#pragma once

#include <cstdint>

#include "resampler/InterpPack.h"
#include "resampler/MipMapFlt.h"
#include "resampler/ResamplerFlt.h"

class Oscillator {
 public:
  static constexpr int kChunk = 32;           // samples rendered per call
  static constexpr int kTableLength = 1024;   // samples per cycle
  static constexpr int kSourceLength = 32768; // 32 cycles

  // Builds the three pyramids (the constructor's initResampler) and selects
  // the saw.
  Oscillator();

  Oscillator(const Oscillator&) = delete;
  Oscillator& operator=(const Oscillator&) = delete;

  // The "Waveform" parameter: the saw or the recorded square cycle.
  void setWaveform(bool square);
  // A new note restarts the table at its first sample.
  void restart();
  void clear();

  // At every block start.
  void beginBlock() { m_oscWritten = 0; }

  // Renders the next chunk of `count` (<= 32) samples at a quarter of
  // noteFreq times 2^(2 tuning - 1). Does nothing below 22050 Hz.
  void processResampler2(int count, long double noteFreq, float tuning, double sampleRate);

  // A note that starts inside a chunk: the rest of the chunk, from `index`
  // on, is rendered again from the restarted table at the new pitch, so the
  // new note's waveform starts on its own sample rather than at the next
  // chunk boundary.
  void rerenderFrom(int index, int count, long double noteFreq, float tuning, double sampleRate);

  // Sample `index` of the block (read from the chunk that holds it).
  float sample(int index) const { return m_chunk[index & (kChunk - 1)]; }
  // Samples index .. the end of its chunk.
  const float* samplesFrom(int index) const { return &m_chunk[index & (kChunk - 1)]; }

  int written() const { return m_oscWritten; }
  int64_t playbackPosition() const;
  int currentPitch() const { return m_pitch; }

 private:
  rspl::InterpPack m_interp;
  rspl::MipMapFlt m_steadySquareMipMap;
  rspl::MipMapFlt m_sawMipMap;
  rspl::MipMapFlt m_squareMipMap;
  rspl::ResamplerFlt m_resampler;
  float m_chunk[kChunk] = {};
  int m_oscWritten = 0;
  int m_pitch = 0;
};
