// A small Standard MIDI File writer: format 0 (one track), a fixed number of
// ticks per quarter note, one tempo and one time-signature meta event at the
// start, then channel messages at absolute tick positions. Enough to save the
// notes an instrument sends to its host during an offline render.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vxtools {

// Appends value as a MIDI variable-length quantity (7 bits per byte, most
// significant group first, bit 7 set on every byte but the last). Values
// above 0x0FFFFFFF, the largest the format can carry, are clamped to it.
void appendVarLen(std::vector<uint8_t>& out, uint32_t value);

// Microseconds per quarter note for a tempo in BPM, rounded to the nearest
// microsecond and clamped to the 24-bit field of the tempo meta event.
uint32_t tempoMicroseconds(double bpm);

// Tick of a sample position at a constant tempo, rounded to the nearest tick:
// ticks = frame * bpm * ticksPerBeat / (60 * sampleRate). Negative frames and
// non-positive rates give 0.
uint32_t framesToTicks(int64_t frame, double sampleRate, double bpm, int ticksPerBeat);

// Number of bytes of a channel message with this status byte (2 or 3), or 0
// for anything that is not a channel message (data bytes, system messages).
int channelMessageLength(uint8_t status);

class SmfWriter {
 public:
  explicit SmfWriter(int ticksPerBeat = 480);

  void setTempo(double bpm) { m_tempoMicroseconds = tempoMicroseconds(bpm); }
  // The denominator must be a power of two from 1 to 128; others keep 4/4.
  void setTimeSignature(int numerator, int denominator);

  // Adds one channel message at an absolute tick. Returns false (and adds
  // nothing) when the status is not a channel status. Data bytes are masked
  // to 7 bits. Events at the same tick keep the order they were added in.
  bool addEvent(uint32_t tick, uint8_t status, uint8_t data1, uint8_t data2);

  int eventCount() const { return static_cast<int>(m_events.size()); }
  int ticksPerBeat() const { return m_ticksPerBeat; }

  // The complete file image.
  std::vector<uint8_t> bytes() const;
  // Writes the file image; on failure fills error and returns false.
  bool write(const std::string& path, std::string& error) const;

 private:
  struct Event {
    uint32_t tick;
    uint8_t data[3];
    uint8_t length;
  };

  int m_ticksPerBeat;
  uint32_t m_tempoMicroseconds;
  uint8_t m_timeSigNumerator = 4;
  uint8_t m_timeSigPower = 2;  // denominator = 2^power
  std::vector<Event> m_events;
};

}  // namespace vxtools
