#include "SmfWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vxtools {

namespace {

constexpr uint32_t kMaxVarLen = 0x0FFFFFFF;
constexpr uint32_t kMaxTempo = 0xFFFFFF;

void appendBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 24));
  out.push_back(static_cast<uint8_t>(value >> 16));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

}  // namespace

void appendVarLen(std::vector<uint8_t>& out, uint32_t value) {
  value = std::min(value, kMaxVarLen);
  uint8_t groups[4];
  int count = 0;
  do {
    groups[count++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count > 1) out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
  out.push_back(groups[0]);
}

uint32_t tempoMicroseconds(double bpm) {
  if (!(bpm > 0.0)) return 500000;  // a broken tempo falls back to 120 BPM
  const double us = std::round(60000000.0 / bpm);
  if (us >= kMaxTempo) return kMaxTempo;
  return us < 1.0 ? 1u : static_cast<uint32_t>(us);
}

uint32_t framesToTicks(int64_t frame, double sampleRate, double bpm, int ticksPerBeat) {
  if (frame <= 0 || !(sampleRate > 0.0) || !(bpm > 0.0) || ticksPerBeat <= 0) return 0;
  // Long double keeps the product exact for any realistic render length.
  const long double ticks = static_cast<long double>(frame) * bpm * ticksPerBeat /
                            (60.0L * static_cast<long double>(sampleRate));
  const long double rounded = std::floor(ticks + 0.5L);
  if (rounded >= static_cast<long double>(UINT32_MAX)) return UINT32_MAX;
  return static_cast<uint32_t>(rounded);
}

int channelMessageLength(uint8_t status) {
  switch (status & 0xF0) {
    case 0x80:
    case 0x90:
    case 0xA0:
    case 0xB0:
    case 0xE0:
      return 3;
    case 0xC0:
    case 0xD0:
      return 2;
    default:
      return 0;  // data byte or system message
  }
}

SmfWriter::SmfWriter(int ticksPerBeat)
    : m_ticksPerBeat(std::clamp(ticksPerBeat, 1, 0x7FFF)), m_tempoMicroseconds(500000) {}

void SmfWriter::setTimeSignature(int numerator, int denominator) {
  int power = 0;
  while (power < 8 && (1 << power) != denominator) ++power;
  if (power == 8 || numerator < 1 || numerator > 255) return;
  m_timeSigNumerator = static_cast<uint8_t>(numerator);
  m_timeSigPower = static_cast<uint8_t>(power);
}

bool SmfWriter::addEvent(uint32_t tick, uint8_t status, uint8_t data1, uint8_t data2) {
  const int length = channelMessageLength(status);
  if (length == 0) return false;
  Event e{tick, {status, static_cast<uint8_t>(data1 & 0x7F), static_cast<uint8_t>(data2 & 0x7F)},
          static_cast<uint8_t>(length)};
  m_events.push_back(e);
  return true;
}

std::vector<uint8_t> SmfWriter::bytes() const {
  std::vector<Event> events = m_events;
  std::stable_sort(events.begin(), events.end(),
                   [](const Event& a, const Event& b) { return a.tick < b.tick; });

  std::vector<uint8_t> track;
  // Tempo and time signature at tick 0. The signature's last two fields are
  // the customary 24 MIDI clocks per metronome click and 8 32nd notes per beat.
  track.insert(track.end(), {0x00, 0xFF, 0x51, 0x03});
  track.push_back(static_cast<uint8_t>(m_tempoMicroseconds >> 16));
  track.push_back(static_cast<uint8_t>(m_tempoMicroseconds >> 8));
  track.push_back(static_cast<uint8_t>(m_tempoMicroseconds));
  track.insert(track.end(), {0x00, 0xFF, 0x58, 0x04, m_timeSigNumerator, m_timeSigPower, 24, 8});

  uint32_t previous = 0;
  for (const Event& e : events) {
    appendVarLen(track, e.tick - previous);
    previous = e.tick;
    // No running status: every message carries its status byte, which keeps
    // the file trivially readable by any parser.
    track.insert(track.end(), e.data, e.data + e.length);
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});

  std::vector<uint8_t> out;
  out.reserve(22 + track.size());
  out.insert(out.end(), {'M', 'T', 'h', 'd'});
  appendBigEndian32(out, 6);
  out.insert(out.end(), {0x00, 0x00, 0x00, 0x01});  // format 0, one track
  out.push_back(static_cast<uint8_t>(m_ticksPerBeat >> 8));
  out.push_back(static_cast<uint8_t>(m_ticksPerBeat));
  out.insert(out.end(), {'M', 'T', 'r', 'k'});
  appendBigEndian32(out, static_cast<uint32_t>(track.size()));
  out.insert(out.end(), track.begin(), track.end());
  return out;
}

bool SmfWriter::write(const std::string& path, std::string& error) const {
  const std::vector<uint8_t> image = bytes();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  const size_t written = std::fwrite(image.data(), 1, image.size(), f);
  const int writeErrno = errno;
  const bool closed = std::fclose(f) == 0;
  if (written != image.size() || !closed) {
    error = path + ": " + std::strerror(written != image.size() ? writeErrno : errno);
    return false;
  }
  return true;
}

}  // namespace vxtools
