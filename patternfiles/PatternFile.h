// What a pattern file carries once it is read, what an export writes, and
// why a file is refused. The codecs of this folder are pure functions
// between bytes (or text) and these records; the instrument applies a read
// file to its song and parameters, and tools report the refusal reasons.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "sequencer/Pattern.h"

enum class PatternFormat { Native, ABL2, ABL3, Phoscyon, Bank };

// Why a file was refused; None when it was read.
enum class FileError {
  None,
  CannotOpen,  // missing, unreadable, or not a regular file
  TooLarge,    // larger than any pattern or bank file can be
  Empty,
  BadTag,         // not a native pattern file
  BadStepCount,   // step count outside 1..64
  Truncated,      // shorter than its own fields announce
  NameTooLong,    // native name length above 127
  TooManyValues,  // native parameter count above 29
  BadStepLine,    // an ABL step line that cannot be read
  NoSteps,        // an ABL file without a single step line
  NotXml,
  NoPatternElement,  // XML without a top-level "Pattern" element
  BadChunk,          // a bank failing the chunk validation
  UnknownFormat,     // none of the pattern or bank formats
};

// One line of text for a refusal, e.g. "the file ends before its last step".
const char* describe(FileError error);

constexpr int kFileParameterCount = 29;

struct ParameterChange {
  int index;  // 0..28
  float value;
};

struct PatternFile {
  PatternFormat format = PatternFormat::Native;
  // Steps, length and name; step i starts at i x 0.25 beat (no groove).
  Pattern pattern{16};
  // The parameter values or settings the file carries, in the order an
  // import applies them (before the pattern is placed).
  std::vector<ParameterChange> parameters;
  // Steps made rests because their note fell outside the playable range.
  std::vector<int> disabledSteps;
};

// What an export writes: the current pattern and the instrument's state.
struct PatternSnapshot {
  Pattern pattern{16};
  std::array<float, kFileParameterCount> values{};  // getParameter(0..28)
  int tempo = 120;                                  // internal clock, whole BPM
};

// The first `maxBytes` bytes of a name, shortened further rather than
// cutting a UTF-8 character in two.
std::string cutPatternName(const std::string& name, size_t maxBytes);
