// A small, strict Standard MIDI File reader for feeding a render with notes:
// format 0 or 1, any number of ticks per quarter note, tempo meta events,
// running status. It keeps what the instrument listens to (note on, note off,
// pitch bend) and skips everything else (other channel messages, SysEx, other
// meta events, unknown chunks).
//
// Every length and every byte is checked against the bytes actually present:
// a truncated or malformed file is rejected with a message that says what and
// where (byte offset), never read past its end. Memory use is bounded by the
// file size (every kept event costs at least two bytes of file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vxtools {

// The largest file readSmfFile accepts; far beyond any hand-made note file.
constexpr size_t kMaxSmfFileBytes = 16u << 20;
// The tempo a file has until its first tempo event: 120 BPM.
constexpr uint32_t kDefaultSmfTempo = 500000;

struct SmfEvent {
  uint64_t tick;   // absolute, from the start of the file
  uint8_t status;  // 0x8n note off, 0x9n note on (velocity 0 included), 0xEn pitch bend
  uint8_t data1;
  uint8_t data2;
  uint16_t track;  // index among the file's MTrk chunks
};

// A tempo in force from `tick` on, with the time in seconds at which that
// tick falls (the sum of the segments before it).
struct SmfTempo {
  uint64_t tick;
  uint32_t microsecondsPerBeat;
  double seconds;
};

struct SmfData {
  int format = 0;
  int trackCount = 0;
  int ticksPerBeat = 0;
  // The kept events of all tracks in time order; events at the same tick keep
  // track order, then file order.
  std::vector<SmfEvent> events;
  // Tempo changes of all tracks in time order, the default tempo at tick 0
  // first. At one tick the last change wins.
  std::vector<SmfTempo> tempos;
  // Channel messages skipped because the instrument does not use them.
  uint64_t ignoredEvents = 0;

  // Time of a tick in seconds under the tempo map.
  double secondsAt(uint64_t tick) const;
};

// Parses a whole file image. On failure fills error and returns false; out is
// then unspecified.
bool parseSmf(const uint8_t* data, size_t size, SmfData& out, std::string& error);
// Reads and parses a file; errors start with the path.
bool readSmfFile(const std::string& path, SmfData& out, std::string& error);

}  // namespace vxtools
