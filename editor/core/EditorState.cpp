#include "editor/core/EditorState.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "editor/core/BlockLayout.h"

namespace {

uint32_t u32At(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

int32_t i32At(const uint8_t* p) { return static_cast<int32_t>(u32At(p)); }

float f32At(const uint8_t* p) {
  uint32_t bits = u32At(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

int clampInt(long long v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : static_cast<int>(v)); }

// A zero-terminated text of at most `field` bytes; anything unprintable (a
// torn write, a foreign name) is shown as '?' rather than as control codes.
std::string textAt(const uint8_t* p, size_t field) {
  size_t n = 0;
  while (n < field && p[n] != 0) ++n;
  std::string text(reinterpret_cast<const char*>(p), n);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

void readParameter(const uint8_t* block, int index, ParamState& p) {
  const uint8_t* record = block + block::kParameterRecord * static_cast<size_t>(index);
  float v = f32At(record + block::kParameterValue);
  p.value = std::isfinite(v) ? v : 0.0f;
  p.text = textAt(record + block::kParameterText, block::kParameterTextSize - 1);
}

void readStatus(const uint8_t* s, TransportState& t) {  // s: the status record
  t.hostPlaying = s[block::kStatusHostPlaying] != 0;
  t.running = s[block::kStatusRunning] != 0;
  t.pattern = clampInt(u32At(s + block::kStatusPattern), 0, 63);
  t.tempo = clampInt(i32At(s + block::kStatusTempo), 0, 999);
  t.syncType = clampInt(u32At(s + block::kStatusSyncType), 0, 2);
}

}  // namespace

void decodeBlock(const uint8_t* source, size_t size, EditorState& state) {
  if (!source || size < block::kSize) return;
  // One copy first: the instrument may be writing while we read.
  std::vector<uint8_t> copy(source, source + block::kSize);
  const uint8_t* b = copy.data();
  for (int i = 0; i < kNumParameters; ++i) readParameter(b, i, state.params[static_cast<size_t>(i)]);
  for (size_t p = 0; p < state.patterns.size(); ++p) {
    const uint8_t* record = b + block::kPatternOffset + block::kPatternRecord * p;
    PatternState& pattern = state.patterns[p];
    for (size_t s = 0; s < pattern.steps.size(); ++s) {
      const uint8_t* step = record + block::kStepRecord * s;
      int32_t note = i32At(step + block::kStepNote);
      pattern.steps[s].note = note >= 0 && note <= kHighestNote ? note : 0;
      pattern.steps[s].slide = step[block::kStepSlide] != 0;
      pattern.steps[s].accent = step[block::kStepAccent] != 0;
    }
    pattern.name = textAt(record + block::kPatternName, block::kPatternNameSize - 1);
    pattern.length = clampInt(i32At(record + block::kPatternLength), 1, 64);
  }
  readStatus(b + block::kStatusOffset, state.transport);
  float sel = state.params[kDistSel].value;
  state.distoAlgorithm = clampInt(static_cast<long long>(4.0f * (sel > 0.0f ? sel : 0.0f)), 0, 3);
}

void decodeParameter(const uint8_t* source, size_t size, int index, EditorState& state) {
  if (!source || size < block::kSize || index < 0 || index >= kNumParameters) return;
  uint8_t record[block::kParameterRecord];
  std::memcpy(record, source + block::kParameterRecord * static_cast<size_t>(index), sizeof record);
  ParamState& p = state.params[static_cast<size_t>(index)];
  p.text = textAt(record + block::kParameterText, block::kParameterTextSize - 1);
}

void decodeStatus(const uint8_t* source, size_t size, TransportState& transport) {
  if (!source || size < block::kSize) return;
  uint8_t status[block::kStatusSize];
  std::memcpy(status, source + block::kStatusOffset, sizeof status);
  readStatus(status, transport);
}
