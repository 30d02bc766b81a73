// A FakeHost that keeps a whole render: every block's audio appended into
// one recording with absolute sample times, MIDI sent to the plug-in
// through effProcessEvents, the transport moved by hand between blocks,
// and helpers that read what the host received (note-ons, note-offs,
// per-window RMS and pitch) and edit the state chunk's pattern records.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "support/FakeHost.h"

namespace vornix::test {

// A MIDI message the host sends to the plug-in before a block.
struct MidiIn {
  uint8_t status;
  uint8_t data1;
  uint8_t data2;
  int deltaFrames = 0;
};

inline MidiIn noteOn(int key, int velocity, int channel = 0) {
  return {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key),
          static_cast<uint8_t>(velocity)};
}
inline MidiIn noteOff(int key) { return {0x80, static_cast<uint8_t>(key), 0}; }
inline MidiIn pitchBend(int lsb, int msb) {
  return {0xE0, static_cast<uint8_t>(lsb), static_cast<uint8_t>(msb)};
}

// A MIDI note the plug-in sent, placed on the render's time line.
struct HeardNote {
  int64_t at;  // absolute sample: start of its block + deltaFrames
  int block;   // index of the block it arrived in
  int deltaFrames;
  int key;
  int velocity;  // 0 for a note-off
};

class ScriptedHost : public FakeHost {
 public:
  ScriptedHost() = default;
  explicit ScriptedHost(const Options& options) : FakeHost(options) {}

  // Hands the messages to the plug-in in one effProcessEvents call; any
  // number of them (the plug-in's own list is smaller).
  void sendMidi(const std::vector<MidiIn>& messages);

  // Renders blocks of the given size and appends them to the recording.
  void render(int frames, int blocks = 1);
  // Renders frames in total, cut into blocks of at most blockFrames.
  void renderFrames(int64_t frames, int blockFrames);

  // Moves the playing transport to ppq and flags the change for the next
  // block, as a host does when the user relocates during playback.
  void relocate(double ppq);

  const std::vector<float>& recordedLeft() const { return m_recLeft; }
  const std::vector<float>& recordedRight() const { return m_recRight; }
  int64_t recordedFrames() const { return static_cast<int64_t>(m_recLeft.size()); }
  // Absolute sample at which a block (FakeHost block index) started.
  int64_t blockStart(int block) const;

  // MIDI the plug-in sent; a note-on with velocity 0 counts as a note-off.
  std::vector<HeardNote> noteOns() const;
  std::vector<HeardNote> noteOffs() const;
  // Keys the host still holds after all MIDI so far: a note-on holds its
  // key, any note-off of the key releases it.
  std::vector<int> keysStillOn() const;
  // The first note-off of key at or after time from, if any.
  std::optional<HeardNote> firstOffAfter(int key, int64_t from) const;

  // Statistics over [from, from + length) of the left channel.
  double rms(int64_t from, int64_t length) const;
  double peak(int64_t from, int64_t length) const;
  // The period in samples (with sub-sample refinement) that maximises the
  // normalised autocorrelation of the left channel over the window, for
  // lags minLag..maxLag. Keep maxLag below 2 * minLag to exclude octaves.
  double period(int64_t from, int64_t length, int minLag, int maxLag) const;

  // Drops the recording and the time line (MIDI history stays in FakeHost,
  // the helpers only look at blocks rendered through render()).
  void forgetRecording();

 private:
  std::vector<float> m_recLeft, m_recRight;
  std::vector<int64_t> m_blockStarts;  // by FakeHost block index, -1 unknown
};

// State chunk pattern records (120 header bytes, then per record: index,
// n, n × (note, slide, accent), name length, 127 name bytes).
struct ChunkStep {
  int note, slide, accent;
};
// Offset of pattern index's record, or 0 when the chunk has none.
size_t patternRecord(const std::vector<uint8_t>& chunk, int index);
int patternLength(const std::vector<uint8_t>& chunk, int index);
ChunkStep chunkStep(const std::vector<uint8_t>& chunk, int pattern, int step);
void setChunkStep(std::vector<uint8_t>& chunk, int pattern, int step, ChunkStep value);

}  // namespace vornix::test
