// The native pattern file (.303): one pattern and, optionally, the whole
// sound. A flat little-endian byte sequence:
//   0  "knt3patt" (8 bytes, no terminator)     8  version 1
//   9  N, the step count (1..64)               10 N x (note, slide, accent)
//   10+3N  L, the name length (0..127)         11+3N  L name bytes
//   11+3N+L  P = 29                            12+3N+L  P floats (parameters 0..28)
// 12 + 3N + L + 4P bytes in all: 185 for 16 steps named "pattern 1".
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "patternfiles/PatternFile.h"

std::vector<uint8_t> encodeNativePattern(const PatternSnapshot& snapshot);

// Reads the pattern and, with `withParameters`, the parameter values (a P of
// 0 or less carries none). Every field must lie within the bytes given; the
// parameter block is not examined without `withParameters`. Notes are the
// stored bytes read as signed bytes (200 reads as -56).
FileError decodeNativePattern(const uint8_t* data, size_t size, bool withParameters, PatternFile& out);
