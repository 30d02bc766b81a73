// The shared state block: one POSIX shared-memory object of 75,024 bytes
// that the instrument writes and its editor program reads. It mirrors every
// parameter value with its display text, all 64 patterns and the transport
// status; the refresh message tells the editor when to read it again.
// Also the names of every object the two processes share, all derived from
// the instance number n that the editor receives on its command line.
//
// This file and its .cpp need nothing but the C++17 standard library, so the
// editor program compiles them as they are. Multi-byte fields are
// little-endian; every 32-bit field sits at a multiple of 4.
//
//   offset   size    area
//        0   1,024   32 parameter records of 32 bytes (29 used)
//    1,024  73,984   64 pattern records of 1,156 bytes
//   75,008      16   status record
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace SharedBlockLayout {

constexpr size_t kSize = 75024;

// Parameter record k at 32 k: f32 value at 0, display text (0x00-ended) in
// the 16 bytes at 16. Bytes 4..15 and records 29..31 stay zero.
constexpr int kParameterRecords = 32;
constexpr int kParameters = 29;
constexpr size_t kParameterRecordSize = 32;
constexpr size_t kParameterValue = 0;
constexpr size_t kParameterText = 16;
constexpr size_t kParameterTextSize = 16;

// Pattern record p at 1,024 + 1,156 p: 64 step records of 16 bytes, the
// name (at most 127 bytes, 0x00-filled to 128) at 1,024, the i32 number of
// steps at 1,152.
constexpr size_t kPatternArea = 1024;
constexpr int kPatterns = 64;
constexpr size_t kPatternRecordSize = 1156;
constexpr int kSteps = 64;
constexpr size_t kStepRecordSize = 16;
constexpr size_t kPatternName = 1024;
constexpr size_t kPatternNameSize = 128;
constexpr size_t kPatternLength = 1152;

// Step record: i32 note at 0, u8 slide at 4, u8 accent at 5; 6..15 zero.
constexpr size_t kStepNote = 0;
constexpr size_t kStepSlide = 4;
constexpr size_t kStepAccent = 5;

// Status record, offsets from the start of the block.
constexpr size_t kStatus = 75008;
constexpr size_t kHostPlaying = 75008;     // u8 0/1
constexpr size_t kInternalRunning = 75009;  // u8 0/1
constexpr size_t kCurrentPattern = 75012;  // u32 0..63
constexpr size_t kTempo = 75016;           // i32 host BPM truncated toward zero
constexpr size_t kSyncType = 75020;        // u32 0 host, 1 internal, 2 MIDI

constexpr size_t parameterRecord(int k) { return static_cast<size_t>(k) * kParameterRecordSize; }
constexpr size_t patternRecord(int p) { return kPatternArea + static_cast<size_t>(p) * kPatternRecordSize; }
constexpr size_t stepRecord(int p, int s) { return patternRecord(p) + static_cast<size_t>(s) * kStepRecordSize; }

static_assert(patternRecord(kPatterns) == kStatus, "pattern area ends at the status record");
static_assert(kStatus + 16 == kSize, "status record ends the block");

}  // namespace SharedBlockLayout

// Names derived from the instance number n (decimal, no leading zeros).
std::string sharedBlockName(int n);    // "/vnxddata.mmap" n   (for shm_open)
std::string editorProgramPath(int n);  // "/tmp/VornixDUI" n
std::string uiFifoPath(int n);         // "/tmp/vornixdui" n ".fifo"      editor writes, plug-in reads
std::string pluginFifoPath(int n);     // "/tmp/vornixdplugin" n ".fifo"  plug-in writes, editor reads
std::string instanceLockPath(int n);   // "/tmp/vornixd" n ".lock"        held by the instrument using n

// What the editor reads. Indices outside their range read as zero or empty.
struct BlockStep {
  int32_t note = 0;
  bool slide = false;
  bool accent = false;
};

struct BlockStatus {
  bool hostPlaying = false;
  bool internalRunning = false;
  uint32_t currentPattern = 0;
  int32_t tempo = 0;
  uint32_t syncType = 0;
};

float readParameterValue(const uint8_t* block, int k);
std::string readParameterText(const uint8_t* block, int k);
BlockStep readStep(const uint8_t* block, int p, int s);
std::string readPatternName(const uint8_t* block, int p);
int32_t readPatternLength(const uint8_t* block, int p);
BlockStatus readStatus(const uint8_t* block);
