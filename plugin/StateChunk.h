// The binary state chunk: 29 parameter values and every pattern of the song.
// The host stores it with its project and the bank file holds the same bytes.
//
// Layout (little-endian, floats IEEE single precision):
//   0: 2, 1: 0 (format tag), 2: 29 (value count), 3..118: 29 floats,
//   119: pattern record count, 120...: records of 130 + 3n bytes:
//   index, n, n x (note, slide, accent), name length L <= 127, 127 name bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sequencer/Song.h"

struct ChunkStep {
  int8_t note = 0;  // note bytes are read back as signed bytes
  bool slide = false;
  bool accent = false;
};

struct ChunkPattern {
  int index = 0;
  int nbStep = 1;
  std::array<ChunkStep, Pattern::kMaxSteps> steps{};
  std::string name;
};

struct StateChunk {
  static constexpr int kNumValues = 29;
  static constexpr size_t kHeaderSize = 120;
  static constexpr size_t kNameField = 127;

  std::array<float, kNumValues> values{};
  std::vector<ChunkPattern> patterns;
};

// Appends the chunk for `values` and every pattern of `song` to `out`
// (which is cleared first).
void writeStateChunk(const std::array<float, StateChunk::kNumValues>& values, const Song& song,
                     std::vector<uint8_t>& out);

// Appends one pattern record (index, step count, steps, name field) to `out`.
void appendChunkPattern(int index, const Pattern& pattern, std::vector<uint8_t>& out);

// Parses and checks a whole chunk: header bytes, every record inside `size`,
// pattern index 0..63, step count 1..64, name length <= 127. Returns false
// (and leaves `out` in an unspecified state) for anything else.
bool readStateChunk(const uint8_t* data, size_t size, StateChunk& out);

// Copies a parsed record into an existing pattern (length, steps, name).
void applyChunkPattern(const ChunkPattern& record, Pattern& pattern);
