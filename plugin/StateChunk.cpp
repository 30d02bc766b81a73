#include "plugin/StateChunk.h"

#include <cstring>

namespace {

constexpr uint8_t kTag0 = 2;
constexpr uint8_t kTag1 = 0;

void putFloat(uint8_t* at, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(bits >> (8 * i));
}

float getFloat(const uint8_t* at) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(at[i]) << (8 * i);
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

size_t recordSize(int steps) { return 2 + 3 * static_cast<size_t>(steps) + 1 + StateChunk::kNameField; }

}  // namespace

void writeStateChunk(const std::array<float, StateChunk::kNumValues>& values, const Song& song,
                     std::vector<uint8_t>& out) {
  size_t size = StateChunk::kHeaderSize;
  int count = 0;
  for (int i = 0; i < song.getNbPattern(); ++i) {
    if (const Pattern* pattern = song.getPattern(i)) {
      size += recordSize(pattern->getNBStep());
      ++count;
    }
  }
  out.reserve(size);
  out.assign(StateChunk::kHeaderSize, 0);
  out[0] = kTag0;
  out[1] = kTag1;
  out[2] = StateChunk::kNumValues;
  for (int i = 0; i < StateChunk::kNumValues; ++i) putFloat(&out[3 + 4 * static_cast<size_t>(i)], values[static_cast<size_t>(i)]);
  out[119] = static_cast<uint8_t>(count);
  for (int i = 0; i < song.getNbPattern(); ++i) {
    if (const Pattern* pattern = song.getPattern(i)) appendChunkPattern(i, *pattern, out);
  }
}

void appendChunkPattern(int index, const Pattern& pattern, std::vector<uint8_t>& out) {
  const int n = pattern.getNBStep();
  size_t at = out.size();
  out.resize(at + recordSize(n), 0);
  out[at++] = static_cast<uint8_t>(index);
  out[at++] = static_cast<uint8_t>(n);
  for (int s = 0; s < n; ++s) {
    const Step* step = pattern.getStep(s);
    out[at++] = static_cast<uint8_t>(step->note & 0xFF);
    out[at++] = step->slide ? 1 : 0;
    out[at++] = step->accent ? 1 : 0;
  }
  // Names longer than the field are cut so a record never outgrows it.
  const std::string& name = pattern.getName();
  const size_t length = name.size() < StateChunk::kNameField ? name.size() : StateChunk::kNameField;
  out[at++] = static_cast<uint8_t>(length);
  std::memcpy(&out[at], name.data(), length);
}

bool readStateChunk(const uint8_t* data, size_t size, StateChunk& out) {
  if (!data || size < StateChunk::kHeaderSize) return false;
  if (data[0] != kTag0 || data[1] != kTag1 || data[2] != StateChunk::kNumValues) return false;
  for (int i = 0; i < StateChunk::kNumValues; ++i) out.values[static_cast<size_t>(i)] = getFloat(data + 3 + 4 * i);

  const int count = data[119];
  out.patterns.clear();
  out.patterns.reserve(static_cast<size_t>(count));
  size_t at = StateChunk::kHeaderSize;
  for (int r = 0; r < count; ++r) {
    if (size - at < 2) return false;
    ChunkPattern record;
    record.index = data[at];
    record.nbStep = data[at + 1];
    if (record.index >= Song::kNumPatterns) return false;
    if (record.nbStep < 1 || record.nbStep > Pattern::kMaxSteps) return false;
    if (size - at < recordSize(record.nbStep)) return false;
    at += 2;
    for (int s = 0; s < record.nbStep; ++s) {
      ChunkStep& step = record.steps[static_cast<size_t>(s)];
      step.note = static_cast<int8_t>(data[at]);
      step.slide = data[at + 1] != 0;
      step.accent = data[at + 2] != 0;
      at += 3;
    }
    const size_t length = data[at++];
    if (length > StateChunk::kNameField) return false;
    record.name.assign(reinterpret_cast<const char*>(data + at), length);
    at += StateChunk::kNameField;
    out.patterns.push_back(std::move(record));
  }
  return true;
}

void applyChunkPattern(const ChunkPattern& record, Pattern& pattern) {
  pattern.setNBStep(record.nbStep);
  for (int s = 0; s < record.nbStep; ++s) {
    const ChunkStep& step = record.steps[static_cast<size_t>(s)];
    pattern.setStepNote(step.note, s);
    pattern.setStepSlide(step.slide, s);
    pattern.setStepAccent(step.accent, s);
  }
  pattern.setName(record.name);
}
