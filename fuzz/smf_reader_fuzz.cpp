// Feeds arbitrary bytes to vornix-render's MIDI file reader, and every file it
// accepts through the conversion to render frames, checking the order the
// render relies on: events and tempo changes in time order, times that never
// go backwards.
#include <cstddef>
#include <cstdint>
#include <string>

#include "MidiFeed.h"
#include "SmfReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vxtools::SmfData smf;
  std::string error;
  if (!vxtools::parseSmf(data, size, smf, error)) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  if (smf.ticksPerBeat <= 0 || smf.tempos.empty() || smf.tempos[0].tick != 0) __builtin_trap();
  for (size_t i = 1; i < smf.tempos.size(); ++i)
    if (smf.tempos[i].tick <= smf.tempos[i - 1].tick || smf.tempos[i].seconds < smf.tempos[i - 1].seconds)
      __builtin_trap();
  for (size_t i = 1; i < smf.events.size(); ++i)
    if (smf.events[i].tick < smf.events[i - 1].tick) __builtin_trap();

  const vxtools::MidiFeed feed(smf, 44100.0);
  if (feed.events().size() != smf.events.size()) __builtin_trap();
  for (size_t i = 1; i < feed.events().size(); ++i)
    if (feed.events()[i].frame < feed.events()[i - 1].frame) __builtin_trap();
  if (!smf.events.empty() && smf.secondsAt(smf.events.back().tick) < 0.0) __builtin_trap();
  return 0;
}
