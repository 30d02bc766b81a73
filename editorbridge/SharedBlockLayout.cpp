#include "editorbridge/SharedBlockLayout.h"

#include <cstring>

#include "editorbridge/MessageCodec.h"

using namespace SharedBlockLayout;

std::string sharedBlockName(int n) { return "/vnxddata.mmap" + std::to_string(n); }
std::string editorProgramPath(int n) { return "/tmp/VornixDUI" + std::to_string(n); }
std::string uiFifoPath(int n) { return "/tmp/vornixdui" + std::to_string(n) + ".fifo"; }
std::string pluginFifoPath(int n) { return "/tmp/vornixdplugin" + std::to_string(n) + ".fifo"; }
std::string instanceLockPath(int n) { return "/tmp/vornixd" + std::to_string(n) + ".lock"; }

namespace {

// A text field read up to its first 0x00, never past the field.
std::string fieldText(const uint8_t* field, size_t size) {
  const void* zero = std::memchr(field, 0, size);
  const size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - field) : size;
  return std::string(reinterpret_cast<const char*>(field), length);
}

bool validParameter(int k) { return k >= 0 && k < kParameterRecords; }
bool validPattern(int p) { return p >= 0 && p < kPatterns; }

}  // namespace

float readParameterValue(const uint8_t* block, int k) {
  return validParameter(k) ? getFloatLE(block + parameterRecord(k) + kParameterValue) : 0.0f;
}

std::string readParameterText(const uint8_t* block, int k) {
  if (!validParameter(k)) return std::string();
  return fieldText(block + parameterRecord(k) + kParameterText, kParameterTextSize);
}

BlockStep readStep(const uint8_t* block, int p, int s) {
  BlockStep step;
  if (!validPattern(p) || s < 0 || s >= kSteps) return step;
  const uint8_t* record = block + stepRecord(p, s);
  step.note = static_cast<int32_t>(getLE32(record + kStepNote));
  step.slide = record[kStepSlide] != 0;
  step.accent = record[kStepAccent] != 0;
  return step;
}

std::string readPatternName(const uint8_t* block, int p) {
  if (!validPattern(p)) return std::string();
  return fieldText(block + patternRecord(p) + kPatternName, kPatternNameSize);
}

int32_t readPatternLength(const uint8_t* block, int p) {
  return validPattern(p) ? static_cast<int32_t>(getLE32(block + patternRecord(p) + kPatternLength)) : 0;
}

BlockStatus readStatus(const uint8_t* block) {
  BlockStatus status;
  status.hostPlaying = block[kHostPlaying] != 0;
  status.internalRunning = block[kInternalRunning] != 0;
  status.currentPattern = getLE32(block + kCurrentPattern);
  status.tempo = static_cast<int32_t>(getLE32(block + kTempo));
  status.syncType = getLE32(block + kSyncType);
  return status;
}
