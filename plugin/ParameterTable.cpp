#include "plugin/ParameterTable.h"

namespace {

struct ParameterInfo {
  const char* name;
  const char* label;
  float defaultValue;
};

// Resonance, EnvMod, Decay and Accent defaults are the single-precision
// values of the factory sound (bit patterns 0x3F6B5C29, 0x3E2EB852,
// 0x3F666666, 0x3E9BD70A).
constexpr ParameterInfo kParameters[kNumParameters] = {
    {"Volume", "dB", 1.0f},
    {"Waveform", " ", 0.0f},
    {"Tuning", " ", 0.5f},
    {"CutOff", "%", 0.09375f},
    {"Resonance", " ", 0.919375f},
    {"EnvMod", "%", 0.170625f},
    {"Decay", "%", 0.9f},
    {"Accent", "%", 0.304375f},
    {"Gate", "ms", 0.5f},
    {"Groove", "%", 0.0f},
    {"NB STEP", " ", 15.0f / 63.0f},
    {"Patt Sync", " ", 1.0f},
    {"Slide Time", " ", 0.0f},
    {"antialias", " ", 1.0f},
    {"trigger pt", " ", 0.0f},
    {"Delay ", " ", 0.0f},
    {"Dly sync", " ", 1.0f},
    {"Dly ping", " ", 0.0f},
    {"Dly time", " ", 0.5f},
    {"Dly vol", " ", 0.3f},
    {"Dly fdbk", " ", 0.3f},
    {"Dly filt", " ", 0.5f},
    {"Disto", " ", 0.0f},
    {"Dist Sel", " ", 0.0f},
    {"Dist prm1", " ", 0.0f},
    {"Dist prm2", " ", 0.5f},
    {"invalid", " ", 0.0f},
    {"invalid", " ", (120.0f - 40.0f) / 260.0f},
    {"invalid", " ", 0.0f},
};

bool inRange(int index) { return index >= 0 && index < kNumParameters; }

}  // namespace

const char* parameterName(int index) {
  return index >= 0 && index < kNumNamedParameters ? kParameters[index].name : "invalid";
}

const char* parameterLabel(int index) { return inRange(index) ? kParameters[index].label : " "; }

float parameterDefault(int index) { return inRange(index) ? kParameters[index].defaultValue : 0.0f; }
