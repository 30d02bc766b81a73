// Factory sounds: named sets of sound parameters the Preset menu sends one
// by one. They leave the sequencer's settings (length, pattern, sync, tempo,
// record) alone so a preset never stops or changes what is playing.
#pragma once

#include <utility>
#include <vector>

struct Preset {
  const char* name;
  std::vector<std::pair<int, float>> values;  // parameter index, normalised value
};

const std::vector<Preset>& factoryPresets();
