// DelayBuffer: a power-of-two circular delay line with a gliding read head.
//
// A new delay time does not jump the read position. Instead the read index
// (where the new time reads) jumps, and the read position keeps going at
// 1.5x speed (shorter time) or 0.5x speed (longer time) until it meets the
// read index; from there it runs at normal speed. Reading is not
// interpolated, so a lengthening glide sounds an octave down and a
// shortening one a fifth up until the heads meet, like a tape machine
// changing speed.
//
// Positions are kept unwrapped, in a frame that the write counter shifts
// back by one line length each time it wraps, so "has the read position
// reached the read index" is a plain comparison even when the two sit on
// either side of the end of the array. Only the array accesses are masked.
//
// Threads: setNewDelayTime may be called from any thread; it only posts the
// new time, and the audio thread applies it at its next read(). Everything
// else is called from the thread that processes audio (or while no audio
// runs).
#pragma once

#include <atomic>
#include <cmath>
#include <memory>

class DelayBuffer {
 public:
  explicit DelayBuffer(int size);

  DelayBuffer(const DelayBuffer&) = delete;
  DelayBuffer& operator=(const DelayBuffer&) = delete;

  // Sets the delay at once, without a glide.
  void setDelayTime(int samples);
  // Glides to a new delay; takes effect at the next read().
  void setNewDelayTime(int samples);

  // Inline: the delay calls them every sample.
  void write(float x) {
    const int mask = m_size - 1;
    if (m_writeCounter == m_size) {
      // The write counter is about to wrap to the start of the array: shift
      // both read heads back by one length so they stay in its frame.
      m_readPosition -= m_size;
      m_readIndex -= m_size;
    }
    const int i = m_writeCounter & mask;
    m_buffer[i] = x;
    m_writeCounter = i + 1;
  }
  float read() {
    const int pending = m_pendingDelay.load(std::memory_order_relaxed);
    if (pending >= 0) {
      m_pendingDelay.store(-1, std::memory_order_relaxed);
      applyNewDelay(pending);
    }
    const int mask = m_size - 1;
    const int idx = m_readIndex;
    const int pos = static_cast<int>(std::floor(m_readPosition));
    const float out = m_buffer[pos & mask];
    const bool gliding = (m_readSpeed >= 1.0 || idx < pos) && (m_readSpeed <= 1.0 || idx > pos);
    if (gliding) {
      m_readPosition += m_readSpeed;
      m_readIndex = idx + 1;
    } else {
      // The heads have met: continue at normal speed from the read index.
      m_readSpeed = 1.0;
      m_currentDelay = m_targetDelay;
      m_readIndex = idx + 1;
      m_readPosition = static_cast<double>(idx + 1);
    }
    return out;
  }
  void clear();

  int getSize() const { return m_size; }
  int getCurrentDelay() const { return m_currentDelay; }
  // The latest delay asked for, even if the next read() has not taken it up.
  int getTargetDelay() const;
  int getWriteCounter() const { return m_writeCounter; }
  double getReadSpeed() const { return m_readSpeed; }
  // True while a glide posted by setNewDelayTime is pending or running.
  bool isGliding() const;

 private:
  int limitDelay(int samples) const;
  void applyNewDelay(int d);

  std::unique_ptr<float[]> m_buffer;
  int m_size;
  int m_currentDelay;
  int m_targetDelay;
  int m_writeCounter;               // 0 at construction, then 1..size
  double m_readPosition;            // the audible read head (unwrapped)
  double m_readSpeed;               // 1.0, or 1.5 / 0.5 while gliding
  int m_readIndex;                  // where the target delay reads (unwrapped)
  std::atomic<int> m_pendingDelay;  // -1 when no new time is posted
};
