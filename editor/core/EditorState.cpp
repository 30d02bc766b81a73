#include "editor/core/EditorState.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "editorbridge/SharedBlockLayout.h"

using namespace SharedBlockLayout;

namespace {

int clampInt(long long v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : static_cast<int>(v)); }

// Anything unprintable (a torn write, a foreign name) shows as '?' rather
// than as control codes.
std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

// The instrument ends its texts within the field; a torn write may not.
std::string parameterText(const uint8_t* block, int k) {
  std::string text = readParameterText(block, k);
  if (text.size() >= kParameterTextSize) text.resize(kParameterTextSize - 1);
  return printable(text);
}

void readParameter(const uint8_t* block, int k, ParamState& p) {
  float v = readParameterValue(block, k);
  p.value = std::isfinite(v) ? v : 0.0f;
  p.text = parameterText(block, k);
}

void toTransport(const BlockStatus& s, TransportState& t) {
  t.hostPlaying = s.hostPlaying;
  t.running = s.internalRunning;
  t.pattern = clampInt(s.currentPattern, 0, kPatterns - 1);
  t.tempo = clampInt(s.tempo, 0, 999);
  t.syncType = clampInt(s.syncType, 0, 2);
}

}  // namespace

void decodeBlock(const uint8_t* source, size_t size, EditorState& state) {
  if (!source || size < kSize) return;
  // One copy first: the instrument may be writing while we read.
  std::vector<uint8_t> copy(source, source + kSize);
  const uint8_t* b = copy.data();
  for (int i = 0; i < kNumParameters; ++i) readParameter(b, i, state.params[static_cast<size_t>(i)]);
  for (int p = 0; p < kPatterns; ++p) {
    PatternState& pattern = state.patterns[static_cast<size_t>(p)];
    for (int s = 0; s < kSteps; ++s) {
      BlockStep step = readStep(b, p, s);
      StepState& out = pattern.steps[static_cast<size_t>(s)];
      out.note = step.note >= 0 && step.note <= kHighestNote ? step.note : 0;
      out.slide = step.slide;
      out.accent = step.accent;
    }
    std::string name = readPatternName(b, p);
    if (name.size() >= kPatternNameSize) name.resize(kPatternNameSize - 1);
    pattern.name = printable(name);
    pattern.length = clampInt(readPatternLength(b, p), 1, kSteps);
  }
  toTransport(readStatus(b), state.transport);
  float sel = state.params[kDistSel].value;
  state.distoAlgorithm = clampInt(static_cast<long long>(4.0f * (sel > 0.0f ? sel : 0.0f)), 0, 3);
}

void decodeParameter(const uint8_t* source, size_t size, int index, EditorState& state) {
  if (!source || size < kSize || index < 0 || index >= kNumParameters) return;
  state.params[static_cast<size_t>(index)].text = parameterText(source, index);
}

void decodeStatus(const uint8_t* source, size_t size, TransportState& transport) {
  if (!source || size < kSize) return;
  toTransport(readStatus(source), transport);
}
