#include "editor/core/Presets.h"

#include "plugin/ParameterTable.h"

namespace {

// Every preset sets the same sound parameters, so choosing one after another
// never leaves a setting of the previous one behind.
Preset make(const char* name, std::vector<std::pair<int, float>> changes) {
  static const int kSound[] = {kVolume,     kWaveform,     kTuning,        kCutOff,     kResonance, kEnvMod,
                               kDecay,      kAccent,       kGate,          kSlideTime,  kDelayOn,   kDelaySync,
                               kDelayPing,  kDelayTime,    kDelayVolume,   kDelayFeedback, kDelayFilter, kDisto,
                               kDistSel,    kDistParam1,   kDistParam2};
  Preset p{name, {}};
  for (int index : kSound) {
    float value = parameterDefault(index);
    for (const auto& change : changes) {
      if (change.first == index) value = change.second;
    }
    p.values.emplace_back(index, value);
  }
  return p;
}

}  // namespace

const std::vector<Preset>& factoryPresets() {
  static const std::vector<Preset> presets = {
      make("Init", {}),
      make("Squelch", {{kCutOff, 0.16f}, {kResonance, 0.96f}, {kEnvMod, 0.62f}, {kDecay, 0.42f}, {kAccent, 0.8f}}),
      make("Deep sub", {{kWaveform, 1.0f}, {kCutOff, 0.05f}, {kResonance, 0.25f}, {kEnvMod, 0.08f}, {kDecay, 0.95f},
                        {kAccent, 0.2f}, {kGate, 0.7f}}),
      make("Acid lead", {{kCutOff, 0.32f}, {kResonance, 0.94f}, {kEnvMod, 0.72f}, {kDecay, 0.55f}, {kAccent, 0.9f},
                         {kDisto, 1.0f}, {kDistSel, 0.0f}, {kDistParam1, 0.45f}, {kDelayOn, 1.0f},
                         {kDelayVolume, 0.22f}, {kDelayFeedback, 0.35f}}),
      make("Rubber", {{kWaveform, 1.0f}, {kCutOff, 0.12f}, {kResonance, 0.8f}, {kEnvMod, 0.36f}, {kDecay, 0.35f},
                      {kAccent, 0.5f}, {kSlideTime, 0.35f}}),
      make("Fuzz growl", {{kCutOff, 0.22f}, {kResonance, 0.86f}, {kEnvMod, 0.5f}, {kDecay, 0.5f}, {kAccent, 0.6f},
                          {kDisto, 1.0f}, {kDistSel, 0.5f}, {kDistParam1, 0.6f}, {kDistParam2, 0.4f},
                          {kVolume, 0.7f}}),
      make("Dub echo", {{kCutOff, 0.2f}, {kResonance, 0.7f}, {kEnvMod, 0.3f}, {kDecay, 0.7f}, {kDelayOn, 1.0f},
                        {kDelayPing, 1.0f}, {kDelayTime, 0.75f}, {kDelayVolume, 0.45f}, {kDelayFeedback, 0.55f},
                        {kDelayFilter, 0.35f}}),
  };
  return presets;
}
