// Byte layout of the instrument's shared block, as the editor reads it.
#pragma once

#include <cstddef>

namespace block {

constexpr size_t kSize = 75024;
constexpr size_t kParameterRecord = 32;
constexpr size_t kParameterValue = 0;
constexpr size_t kParameterText = 16;
constexpr size_t kParameterTextSize = 16;
constexpr size_t kPatternOffset = 1024;
constexpr size_t kPatternRecord = 1156;
constexpr size_t kStepRecord = 16;
constexpr size_t kStepNote = 0;
constexpr size_t kStepSlide = 4;
constexpr size_t kStepAccent = 5;
constexpr size_t kPatternName = 1024;
constexpr size_t kPatternNameSize = 128;
constexpr size_t kPatternLength = 1152;
constexpr size_t kStatusOffset = 75008;
constexpr size_t kStatusSize = 16;
constexpr size_t kStatusHostPlaying = 0;
constexpr size_t kStatusRunning = 1;
constexpr size_t kStatusPattern = 4;
constexpr size_t kStatusTempo = 8;
constexpr size_t kStatusSyncType = 12;

}  // namespace block
