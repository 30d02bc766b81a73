// Sequencer state: the song, the current pattern and the transport that
// decides when the pattern plays (host sync, internal clock or MIDI keyboard),
// how tempo becomes samples per step and when a requested pattern change
// takes effect. The per-sample step clock that consumes this state is the
// engine loop.
#pragma once

#include "sequencer/Song.h"
#include "sequencer/SequencerListener.h"

enum SyncType { kSyncHost = 0, kSyncInternal = 1, kSyncMidi = 2 };

// Pattern-sync modes of the "Patt Sync" parameter.
enum PatternSyncMode {
  kPatternSyncFree = 0,
  kPatternSync1Step = 1,
  kPatternSync4Step = 2,
  kPatternSync16Step = 3,
  kPatternSyncAuto = 4,
};

class Sequencer {
 public:
  static constexpr int kMaxTriggerIndex = 31;

  explicit Sequencer(SequencerListener* listener = nullptr);

  void setListener(SequencerListener* listener) { m_listener = listener; }

  // Parameter 26: sync type from a normalised value.
  void setSyncType(float v);
  // Parameter 11.
  void setPatternSync(float v);
  void setPatternSyncDisplay(char* text) const;
  // Lays out the current pattern's step start times with the groove.
  void setStepLength();
  void setShuffle(double beats);

  void internalPlay();
  void internalStop();

  // Requests pattern `index` (0..31); switches at once when the sequencer is
  // not running, otherwise at the next pattern-sync point.
  void triggerPattern(int index, int unused = 0);
  void triggerPatternFromParameter(float v);
  void synchroPattern();

  Pattern* getCurrentPattern() { return m_currentPattern; }
  const Pattern* getCurrentPattern() const { return m_currentPattern; }
  Song& song() { return m_song; }
  const Song& song() const { return m_song; }

  // Makes `index` the current pattern right away (state restore).
  void selectPattern(int index);

  // --- state (single-word members shared between threads, see the engine) ---
  Song m_song;
  int m_currentPatternIndex = 0;
  Pattern* m_currentPattern = nullptr;
  Step* m_currentStep = nullptr;
  Step* m_nextStep = nullptr;
  Step* m_previousStep = nullptr;
  double m_stepLength = Pattern::kStepBeats;
  double m_shuffle = 0.0;

  int m_syncType = kSyncHost;
  float m_syncTypeValue = 0.0f;
  double m_internalTempo = 120.0;
  double m_hostTempo = 120.0;
  bool m_internalPlaying = false;
  bool m_hostPlaying = false;
  bool m_hostSyncRequested = false;
  bool m_stopRequested = false;
  double m_fadeGain = 1.0;
  double m_fadeDecrement = 1.0 / 441.0;
  bool m_stopped = true;
  bool m_noteSounding = false;
  double m_patternPosition = 0.0;
  int m_stepIndex = 0;
  double m_samplePosition = 0.0;
  double m_samplesPerStep = 5512.5;
  int m_samplesPerBeat = 22050;
  bool m_patternChangePending = false;
  int m_nextPatternIndex = 0;
  float m_patternSyncValue = 1.0f;
  int m_patternSyncMode = kPatternSyncAuto;
  double m_patternSyncQuantum = 1.0;
  bool m_randomizeRequested = false;
  int m_keyDownCount[128] = {};

 private:
  void switchToPattern(int index);

  SequencerListener* m_listener;
};
