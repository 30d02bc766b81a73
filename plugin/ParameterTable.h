// The 29 host parameters: indices, names and labels as the host sees them.
#pragma once

enum ParameterIndex {
  kVolume = 0,
  kWaveform,
  kTuning,
  kCutOff,
  kResonance,
  kEnvMod,
  kDecay,
  kAccent,
  kGate,
  kGroove,
  kNbStep,
  kPattSync,
  kSlideTime,
  kAntialias,
  kTriggerPattern,
  kDelayOn,
  kDelaySync,
  kDelayPing,
  kDelayTime,
  kDelayVolume,
  kDelayFeedback,
  kDelayFilter,
  kDisto,
  kDistSel,
  kDistParam1,
  kDistParam2,
  kSyncTypeParam,
  kInternalTempo,
  kRecord,
  kNumParameters
};

constexpr int kNumNamedParameters = 26;

// Name of a named parameter (0..25), or "invalid".
const char* parameterName(int index);
// Unit label of a parameter: only indices 0..9 carry one, the rest a blank.
const char* parameterLabel(int index);
// Default normalised value of every parameter (NB STEP and trigger pt
// follow the pattern; the table gives what a fresh instrument reads back).
float parameterDefault(int index);
