#include "editor/core/ParamControls.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugin/ParameterTable.h"

namespace {

const char* const kWaveforms[] = {"Saw", "Square"};
const char* const kPatternSync[] = {"Free", "1 step", "4 steps", "16 steps", "Auto"};
const char* const kAlgorithms[] = {"Overdrive", "ClipInferno", "HotFuzz", "Ultracrunch"};
const char* const kSyncTypes[] = {"Host", "Internal", "MIDI keys"};
// Only the first 32 patterns can be chosen through the parameter: it maps
// trunc(32 v), and 1.0 chooses nothing.
constexpr int kTriggerablePatterns = 32;

constexpr ParamControl kKnob(const char* caption, const char* unit) {
  return {ControlKind::Knob, caption, unit, 0, nullptr};
}
constexpr ParamControl kSwitch(const char* caption) { return {ControlKind::Switch, caption, "", 2, nullptr}; }

const ParamControl kControls[kNumParameters] = {
    kKnob("Volume", " dB"),
    {ControlKind::Choice, "Wave", "", 2, kWaveforms},
    kKnob("Tune", ""),
    kKnob("Cutoff", " %"),
    kKnob("Reso", ""),
    kKnob("Env mod", " %"),
    kKnob("Decay", " %"),
    kKnob("Accent", " %"),
    kKnob("Gate", " ms"),
    kKnob("Groove", " %"),
    {ControlKind::Count, "Length", "", 0, nullptr},
    {ControlKind::Choice, "Change", "", 5, kPatternSync},
    kKnob("Slide", " ms"),
    kSwitch("Anti-alias"),
    {ControlKind::Choice, "Pattern", "", kTriggerablePatterns, nullptr},
    kSwitch("Delay"),
    kSwitch("Sync"),
    kSwitch("Ping-pong"),
    kKnob("Time", " ms"),
    kKnob("Level", " dB"),
    kKnob("Feedback", " %"),
    kKnob("Tone", ""),
    kSwitch("Dist"),
    {ControlKind::Choice, "Type", "", 4, kAlgorithms},
    kKnob("Drive", " %"),
    kKnob("Thresh", " %"),
    {ControlKind::Choice, "Sync", "", 3, kSyncTypes},
    {ControlKind::Count, "Tempo", "", 0, nullptr},
    kSwitch("Rec"),
};

int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

const ParamControl& paramControl(int index) { return kControls[clampInt(index, 0, kNumParameters - 1)]; }

float choiceToValue(int index, int choice) {
  switch (index) {
    case kWaveform:
      return choice > 0 ? 1.0f : 0.0f;
    case kPattSync:  // trunc(4 v): 0..3 exactly at k / 4, "Auto" only at 1.0
      return static_cast<float>(clampInt(choice, 0, 4)) * 0.25f;
    case kDistSel:
      return static_cast<float>(clampInt(choice, 0, 3)) * 0.25f;
    case kTriggerPattern:  // k / 32 is exact in binary
      return static_cast<float>(clampInt(choice, 0, kTriggerablePatterns - 1)) / 32.0f;
    case kSyncTypeParam:  // below 0.33 host, below 0.66 internal, else MIDI
      return static_cast<float>(clampInt(choice, 0, 2)) * 0.5f;
    default:
      return 0.0f;
  }
}

int valueToChoice(int index, float value) {
  if (!(value >= 0.0f)) value = 0.0f;  // also NaN from a torn read
  if (value > 1.0f) value = 1.0f;
  switch (index) {
    case kWaveform:
      return value >= 0.5f ? 1 : 0;
    case kPattSync:
      return clampInt(static_cast<int>(4.0f * value), 0, 4);
    case kDistSel:
      return clampInt(static_cast<int>(4.0f * value), 0, 3);
    case kTriggerPattern:
      return clampInt(static_cast<int>(32.0f * value), 0, kTriggerablePatterns - 1);
    case kSyncTypeParam:
      return value < 0.33f ? 0 : (value < 0.66f ? 1 : 2);
    default:
      return 0;
  }
}

float lengthToValue(int steps) {
  steps = clampInt(steps, 1, 64);
  return steps == 64 ? 1.0f : (static_cast<float>(steps) - 0.5f) / 63.0f;
}

int valueToLength(float value) {
  if (!(value >= 0.0f)) return 1;
  if (value >= 1.0f) return 64;
  return clampInt(static_cast<int>(63.0f * value) + 1, 1, 64);
}

float tempoToValue(int bpm) { return static_cast<float>(clampInt(bpm, 40, 300) - 40) / 260.0f; }

int valueToTempo(float value) {
  if (!(value >= 0.0f)) return 40;
  if (value > 1.0f) return 300;
  return static_cast<int>(std::lround(260.0f * value + 40.0f));
}

std::string displayText(int index, const char* instrumentText) {
  std::string text(instrumentText, strnlen(instrumentText, 15));
  if (text.empty()) text = "0";
  // Cut fraction digits so that at most four digits are shown: "124.9886"
  // becomes "124.9", "-3.521825" becomes "-3.52", "0.500000" becomes "0.50".
  size_t point = text.find('.');
  if (point != std::string::npos) {
    size_t intDigits = point - (text[0] == '-' ? 1 : 0);
    size_t keep = intDigits >= 4 ? 0 : (intDigits == 3 ? 1 : 2);
    text.resize(keep == 0 ? point : std::min(text.size(), point + 1 + keep));
  }
  return text + paramControl(index).unit;
}
