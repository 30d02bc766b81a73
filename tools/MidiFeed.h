// Feeds the notes of a MIDI file to the instrument during a render: each
// event goes into the block that contains its frame, at its offset within the
// block (deltaFrames), as a host sends a track's MIDI.
//
// The file's time runs from the render's first frame, under the file's own
// tempo map: the render's tempo and transport do not move the notes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vxtools {

class PluginHost;
struct SmfData;

class MidiFeed {
 public:
  struct Event {
    int64_t frame;
    uint8_t data[3];
  };

  MidiFeed() = default;
  // The events of a parsed file at their frames: seconds × rate, rounded to
  // the nearest frame (halves up).
  MidiFeed(const SmfData& smf, double sampleRate);

  // Queues the events of the block [start, start + frames) on the host and
  // returns the length the block may have. When more events fall into it than
  // the host carries per block, the block is cut short before the first one
  // that does not fit, which then opens the next block; only when they all
  // sit on the block's first frame are the extra ones dropped (counted).
  int queueBlock(PluginHost& host, int64_t start, int frames);

  const std::vector<Event>& events() const { return m_events; }
  int64_t fed() const { return m_fed; }
  int64_t dropped() const { return m_dropped; }
  // Events not yet fed (after the end of the render when it is over).
  int64_t pending() const { return static_cast<int64_t>(m_events.size() - m_next); }

 private:
  void queue(PluginHost& host, int64_t start, size_t index);

  std::vector<Event> m_events;
  size_t m_next = 0;
  int64_t m_fed = 0;
  int64_t m_dropped = 0;
};

}  // namespace vxtools
