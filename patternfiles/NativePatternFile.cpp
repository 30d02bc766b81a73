#include "patternfiles/NativePatternFile.h"

#include <cstring>

namespace {

constexpr char kTag[] = "knt3patt";
constexpr size_t kTagSize = 8;
constexpr uint8_t kVersion = 1;
constexpr size_t kMaxName = 127;

void putFloat(std::vector<uint8_t>& out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

float getFloat(const uint8_t* at) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(at[i]) << (8 * i);
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

}  // namespace

std::vector<uint8_t> encodeNativePattern(const PatternSnapshot& snapshot) {
  const Pattern& pattern = snapshot.pattern;
  const int n = pattern.getNBStep();
  std::vector<uint8_t> out(kTag, kTag + kTagSize);
  out.push_back(kVersion);
  out.push_back(static_cast<uint8_t>(n));
  for (int i = 0; i < n; ++i) {
    const Step* step = pattern.getStep(i);
    out.push_back(static_cast<uint8_t>(step->note & 0xFF));
    out.push_back(step->slide ? 1 : 0);
    out.push_back(step->accent ? 1 : 0);
  }
  const std::string& name = pattern.getName();
  const size_t length = name.size() < kMaxName ? name.size() : kMaxName;
  out.push_back(static_cast<uint8_t>(length));
  out.insert(out.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
  out.push_back(kFileParameterCount);
  for (float value : snapshot.values) putFloat(out, value);
  return out;
}

FileError decodeNativePattern(const uint8_t* data, size_t size, bool withParameters, PatternFile& out) {
  if (size == 0) return FileError::Empty;
  if (size < kTagSize || std::memcmp(data, kTag, kTagSize) != 0) return FileError::BadTag;
  if (size < 10) return FileError::Truncated;
  const int n = static_cast<int8_t>(data[9]);  // the version byte (8) is not examined
  if (n < 1 || n > Pattern::kMaxSteps) return FileError::BadStepCount;
  const size_t nameAt = 11 + 3 * static_cast<size_t>(n);
  if (size < nameAt) return FileError::Truncated;
  const size_t length = data[nameAt - 1];
  if (length > kMaxName) return FileError::NameTooLong;
  if (size < nameAt + length) return FileError::Truncated;

  out = PatternFile();
  out.format = PatternFormat::Native;
  out.pattern = Pattern(n);
  for (int i = 0; i < n; ++i) {
    const uint8_t* record = data + 10 + 3 * i;
    out.pattern.setStepNote(static_cast<int8_t>(record[0]), i);
    out.pattern.setStepSlide(record[1] != 0, i);
    out.pattern.setStepAccent(record[2] != 0, i);
  }
  const char* name = reinterpret_cast<const char*>(data + nameAt);
  out.pattern.setName(std::string(name, strnlen(name, length)));

  if (!withParameters) return FileError::None;
  const size_t valuesAt = nameAt + length + 1;
  if (size < valuesAt) return FileError::Truncated;
  const int count = static_cast<int8_t>(data[valuesAt - 1]);
  if (count > kFileParameterCount) return FileError::TooManyValues;
  if (count > 0 && size < valuesAt + 4 * static_cast<size_t>(count)) return FileError::Truncated;
  for (int j = 0; j < count; ++j) out.parameters.push_back({j, getFloat(data + valuesAt + 4 * j)});
  return FileError::None;
}
