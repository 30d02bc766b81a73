#include "SmfReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vxtools {

namespace {

// A cursor over [pos, end) that refuses to step past end. Every read reports
// failure instead of touching a byte that is not there.
class Cursor {
 public:
  Cursor(const uint8_t* data, size_t pos, size_t end) : m_data(data), m_pos(pos), m_end(end) {}

  size_t pos() const { return m_pos; }
  bool atEnd() const { return m_pos >= m_end; }
  size_t remaining() const { return m_end - m_pos; }

  bool byte(uint8_t& value) {
    if (m_pos >= m_end) return false;
    value = m_data[m_pos++];
    return true;
  }
  bool peek(uint8_t& value) const {
    if (m_pos >= m_end) return false;
    value = m_data[m_pos];
    return true;
  }
  bool bigEndian(int bytes, uint32_t& value) {
    if (remaining() < static_cast<size_t>(bytes)) return false;
    value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | m_data[m_pos++];
    return true;
  }
  bool skip(size_t bytes) {
    if (remaining() < bytes) return false;
    m_pos += bytes;
    return true;
  }
  // A variable-length quantity: at most four bytes of seven bits, so at most
  // 0x0FFFFFFF. A fifth continuation byte is malformed, not merely large.
  enum class VarLen { Ok, Truncated, TooLong };
  VarLen varLen(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b;
      if (!byte(b)) return VarLen::Truncated;
      value = (value << 7) | (b & 0x7Fu);
      if (!(b & 0x80)) return VarLen::Ok;
    }
    return VarLen::TooLong;
  }

 private:
  const uint8_t* m_data;
  size_t m_pos;
  size_t m_end;
};

std::string at(size_t offset) { return " at byte " + std::to_string(offset); }

std::string hexByte(uint8_t b) {
  char text[8];
  std::snprintf(text, sizeof(text), "0x%02X", b);
  return text;
}

struct RawTempo {
  uint64_t tick;
  uint32_t microsecondsPerBeat;
};

bool readVarLen(Cursor& c, uint32_t& value, const char* what, int track, std::string& error) {
  const size_t start = c.pos();
  switch (c.varLen(value)) {
    case Cursor::VarLen::Ok:
      return true;
    case Cursor::VarLen::Truncated:
      error = "track " + std::to_string(track) + ": " + what + " runs past the end of the track" + at(start);
      return false;
    case Cursor::VarLen::TooLong:
      error = "track " + std::to_string(track) + ": " + what + " is longer than four bytes" + at(start);
      return false;
  }
  return false;
}

// One MTrk chunk's body, [c.pos(), end of chunk).
bool parseTrack(Cursor c, int track, std::vector<SmfEvent>& events, std::vector<RawTempo>& tempos,
                uint64_t& ignored, std::string& error) {
  const std::string name = "track " + std::to_string(track);
  uint64_t tick = 0;
  uint8_t running = 0;  // 0: no running status in force
  while (!c.atEnd()) {
    uint32_t delta;
    if (!readVarLen(c, delta, "a delta time", track, error)) return false;
    tick += delta;

    const size_t eventStart = c.pos();
    uint8_t status;
    if (!c.peek(status)) {
      error = name + ": a delta time without an event" + at(eventStart);
      return false;
    }
    if (status & 0x80) {
      c.skip(1);
    } else if (running != 0) {
      status = running;  // running status: the byte is the first data byte
    } else {
      error = name + ": data byte " + hexByte(status) + " without a status byte" + at(eventStart);
      return false;
    }

    if (status == 0xFF) {
      // Meta event: type, length, data. Meta and SysEx events end running status.
      running = 0;
      uint8_t type;
      if (!c.byte(type)) {
        error = name + ": meta event cut short" + at(eventStart);
        return false;
      }
      uint32_t length;
      if (!readVarLen(c, length, "a meta event length", track, error)) return false;
      if (c.remaining() < length) {
        error = name + ": meta event of " + std::to_string(length) + " bytes runs past the end of the track" +
                at(eventStart);
        return false;
      }
      if (type == 0x2F) return true;  // end of track: anything after it is not ours
      if (type == 0x51) {
        uint32_t us = 0;
        if (length != 3 || !c.bigEndian(3, us)) {
          error = name + ": tempo event with " + std::to_string(length) + " data bytes instead of 3" +
                  at(eventStart);
          return false;
        }
        if (us == 0) {
          error = name + ": tempo of 0 microseconds per beat" + at(eventStart);
          return false;
        }
        tempos.push_back({tick, us});
      } else {
        c.skip(length);  // checked above
      }
      continue;
    }
    if (status == 0xF0 || status == 0xF7) {
      running = 0;
      uint32_t length;
      if (!readVarLen(c, length, "a SysEx length", track, error)) return false;
      if (!c.skip(length)) {
        error = name + ": SysEx event of " + std::to_string(length) +
                " bytes runs past the end of the track" + at(eventStart);
        return false;
      }
      continue;
    }
    if (status >= 0xF0) {
      // Real-time and common messages have no place in a file.
      error = name + ": status byte " + hexByte(status) + " is not allowed in a file" + at(eventStart);
      return false;
    }

    running = status;
    const int kind = status & 0xF0;
    const int dataBytes = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
    uint8_t data[2] = {0, 0};
    for (int i = 0; i < dataBytes; ++i) {
      if (!c.byte(data[i])) {
        error = name + ": channel message cut short" + at(eventStart);
        return false;
      }
      if (data[i] & 0x80) {
        error = name + ": data byte " + hexByte(data[i]) + " has its top bit set" + at(c.pos() - 1);
        return false;
      }
    }
    if (kind == 0x80 || kind == 0x90 || kind == 0xE0)
      events.push_back({tick, status, data[0], data[1], static_cast<uint16_t>(track)});
    else
      ++ignored;
  }
  // A track without its end-of-track event is tolerated: the chunk length
  // already says where it ends, and every event in it was complete.
  return true;
}

}  // namespace

double SmfData::secondsAt(uint64_t tick) const {
  if (ticksPerBeat <= 0) return 0.0;
  // The last tempo at or before the tick.
  auto it = std::upper_bound(tempos.begin(), tempos.end(), tick,
                             [](uint64_t t, const SmfTempo& tempo) { return t < tempo.tick; });
  if (it == tempos.begin()) return static_cast<double>(tick) * kDefaultSmfTempo / 1e6 / ticksPerBeat;
  --it;
  return it->seconds + static_cast<double>(tick - it->tick) * it->microsecondsPerBeat / 1e6 / ticksPerBeat;
}

bool parseSmf(const uint8_t* data, size_t size, SmfData& out, std::string& error) {
  out = SmfData{};
  if (!data && size > 0) {
    error = "no data";
    return false;
  }
  Cursor c(data, 0, size);
  uint32_t id = 0, headerLength = 0, format = 0, tracks = 0, division = 0;
  if (!c.bigEndian(4, id) || id != 0x4D546864) {  // "MThd"
    error = "not a Standard MIDI File (no MThd header)";
    return false;
  }
  if (!c.bigEndian(4, headerLength) || headerLength < 6 || c.remaining() < headerLength) {
    error = "header chunk truncated or shorter than 6 bytes";
    return false;
  }
  const size_t afterHeader = c.pos() + headerLength;
  c.bigEndian(2, format);
  c.bigEndian(2, tracks);
  c.bigEndian(2, division);
  if (format > 1) {
    error = "format " + std::to_string(format) + " is not supported (only 0 and 1)";
    return false;
  }
  if (tracks == 0 || (format == 0 && tracks != 1)) {
    error = "format " + std::to_string(format) + " with " + std::to_string(tracks) + " tracks";
    return false;
  }
  if (division & 0x8000) {
    error = "SMPTE time division is not supported (only ticks per quarter note)";
    return false;
  }
  if (division == 0) {
    error = "time division of 0 ticks per quarter note";
    return false;
  }
  out.format = static_cast<int>(format);
  out.trackCount = static_cast<int>(tracks);
  out.ticksPerBeat = static_cast<int>(division);

  std::vector<RawTempo> rawTempos;
  c = Cursor(data, afterHeader, size);
  int found = 0;
  while (found < out.trackCount) {
    const size_t chunkStart = c.pos();
    uint32_t chunkId = 0, length = 0;
    if (!c.bigEndian(4, chunkId) || !c.bigEndian(4, length)) {
      error = "truncated: " + std::to_string(out.trackCount) + " tracks announced, " + std::to_string(found) +
              " found" + at(chunkStart);
      return false;
    }
    if (c.remaining() < length) {
      error = "chunk of " + std::to_string(length) + " bytes runs past the end of the file" + at(chunkStart);
      return false;
    }
    const size_t body = c.pos();
    if (chunkId == 0x4D54726B) {  // "MTrk"
      if (!parseTrack(Cursor(data, body, body + length), found, out.events, rawTempos, out.ignoredEvents,
                      error))
        return false;
      ++found;
    }
    // Chunks of other types are skipped, as the format asks of readers.
    c = Cursor(data, body + length, size);
  }

  // Tracks were appended in order, so a stable sort by tick keeps track order
  // and file order among events at the same tick.
  std::stable_sort(out.events.begin(), out.events.end(),
                   [](const SmfEvent& a, const SmfEvent& b) { return a.tick < b.tick; });
  std::stable_sort(rawTempos.begin(), rawTempos.end(),
                   [](const RawTempo& a, const RawTempo& b) { return a.tick < b.tick; });
  out.tempos.push_back({0, kDefaultSmfTempo, 0.0});
  for (const RawTempo& t : rawTempos) {
    SmfTempo& last = out.tempos.back();
    if (t.tick == last.tick) {
      last.microsecondsPerBeat = t.microsecondsPerBeat;
      continue;
    }
    const double seconds = last.seconds + static_cast<double>(t.tick - last.tick) * last.microsecondsPerBeat /
                                              1e6 / out.ticksPerBeat;
    out.tempos.push_back({t.tick, t.microsecondsPerBeat, seconds});
  }
  return true;
}

bool readSmfFile(const std::string& path, SmfData& out, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t n;
  bool tooLarge = false;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
    if (bytes.size() + n > kMaxSmfFileBytes) {
      tooLarge = true;
      break;
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  const bool readError = std::ferror(f) != 0;
  std::fclose(f);
  if (tooLarge) {
    error = path + ": larger than " + std::to_string(kMaxSmfFileBytes >> 20) + " MiB";
    return false;
  }
  if (readError) {
    error = path + ": read error";
    return false;
  }
  if (!parseSmf(bytes.data(), bytes.size(), out, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace vxtools
