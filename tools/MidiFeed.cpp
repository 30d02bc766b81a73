#include "MidiFeed.h"

#include <algorithm>
#include <cmath>

#include "PluginHost.h"
#include "SmfReader.h"

namespace vxtools {

MidiFeed::MidiFeed(const SmfData& smf, double sampleRate) {
  m_events.reserve(smf.events.size());
  // The events are in time order, so one pass over the tempo map suffices;
  // secondsAt would search it for every event.
  size_t tempo = 0;
  for (const SmfEvent& e : smf.events) {
    while (tempo + 1 < smf.tempos.size() && smf.tempos[tempo + 1].tick <= e.tick) ++tempo;
    const SmfTempo& t = smf.tempos[tempo];
    const long double seconds = t.seconds + static_cast<long double>(e.tick - t.tick) *
                                                t.microsecondsPerBeat / 1e6L / smf.ticksPerBeat;
    const long double frame = std::floor(seconds * sampleRate + 0.5L);
    // A file hours long at the slowest tempo still fits; beyond that the
    // event can never be reached and is parked at the end of time.
    const int64_t at = frame < 9.0e18L ? static_cast<int64_t>(frame) : INT64_MAX;
    m_events.push_back({at, {e.status, e.data1, e.data2}});
  }
}

int MidiFeed::queueBlock(PluginHost& host, int64_t start, int frames) {
  const int64_t end = start + frames;
  const size_t capacity = PluginHost::kMaxInputEvents;
  size_t stop = m_next;  // one past the last event to queue
  while (stop < m_events.size() && m_events[stop].frame < end) ++stop;

  if (stop - m_next > capacity) {
    const size_t firstLeft = m_next + capacity;
    const int64_t cut = m_events[firstLeft].frame;
    if (cut > start) {
      // End the block before the frame of the first event that does not fit,
      // leaving every event of that frame to the next block.
      stop = m_next;
      while (m_events[stop].frame < cut) ++stop;
      frames = static_cast<int>(cut - start);
    } else {
      // More events on this one frame than a block carries: the rest is lost.
      stop = firstLeft;
      size_t skip = firstLeft;
      while (skip < m_events.size() && m_events[skip].frame <= start) ++skip;
      m_dropped += static_cast<int64_t>(skip - firstLeft);
      for (size_t i = m_next; i < stop; ++i) queue(host, start, i);
      m_next = skip;
      if (m_next < m_events.size() && m_events[m_next].frame < end)
        frames = static_cast<int>(m_events[m_next].frame - start);
      return frames;
    }
  }
  for (size_t i = m_next; i < stop; ++i) queue(host, start, i);
  m_next = stop;
  return frames;
}

void MidiFeed::queue(PluginHost& host, int64_t start, size_t index) {
  const Event& e = m_events[index];
  // Events before the block (none after the first) belong at its start.
  const int delta = static_cast<int>(std::max<int64_t>(e.frame - start, 0));
  if (host.addInputEvent(delta, e.data[0], e.data[1], e.data[2]))
    ++m_fed;
  else
    ++m_dropped;
}

}  // namespace vxtools
