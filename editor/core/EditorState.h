// Everything the editor shows, decoded from the instrument's shared block
// and from the messages it sends. The block is written by another process
// without a lock, so decoding copies it first and then pulls every field
// into its range: a torn or foreign value can look odd for a moment but can
// never index past an array or show garbage text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "plugin/ParameterTable.h"
#include "sequencer/Step.h"

struct ParamState {
  float value = 0.0f;
  std::string text;  // the instrument's display text, at most 15 characters
};

struct StepState {
  int note = kDefaultNote;  // 0..60; anything else a file stored shows as 0
  bool slide = false;
  bool accent = false;
};

struct PatternState {
  std::array<StepState, 64> steps;
  std::string name;
  int length = 16;  // 1..64
};

struct TransportState {
  bool hostPlaying = false;
  bool running = false;  // internal clock
  int pattern = 0;       // 0..63
  int tempo = 0;         // host BPM, 0 before the host has played
  int syncType = 0;      // 0 host, 1 internal, 2 MIDI keys
};

struct EditorState {
  std::array<ParamState, kNumParameters> params;
  std::array<PatternState, 64> patterns;
  TransportState transport;
  int playingStep = -1;     // from the step messages; -1 when none
  int distoAlgorithm = 0;   // from the algorithm messages

  const PatternState& currentPattern() const { return patterns[static_cast<size_t>(transport.pattern)]; }
};

// The whole block (refresh message). `block` holds `size` bytes; a block
// shorter than the layout leaves the state as it was.
void decodeBlock(const uint8_t* block, size_t size, EditorState& state);
// One parameter's display text (the parameter message brings the value).
void decodeParameter(const uint8_t* block, size_t size, int index, EditorState& state);
// The status record alone: the instrument rewrites the tempo and the
// transport flags without telling the editor, so it is read periodically.
void decodeStatus(const uint8_t* block, size_t size, TransportState& transport);
