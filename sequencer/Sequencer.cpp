#include "sequencer/Sequencer.h"

#include <cmath>
#include <cstring>

Sequencer::Sequencer(SequencerListener* listener)
    : m_currentPattern(m_song.getPattern(0)), m_listener(listener) {}

void Sequencer::setSyncType(float v) {
  if (v == m_syncTypeValue) return;
  const int old = m_syncType;
  if (v < 0.33f) {
    m_syncType = kSyncHost;
    if (old != kSyncHost) m_hostSyncRequested = true;
  } else if (v < 0.66f) {
    // Any value in the internal band stops the internal clock, also one that
    // stays internal; from a playing host the voice fades, otherwise it is
    // silenced at once.
    if (old == kSyncHost && m_hostPlaying)
      m_stopRequested = true;
    else
      m_stopped = true;
    m_internalPlaying = false;
    m_syncType = kSyncInternal;
  } else {
    if (!m_stopped) m_stopRequested = true;
    m_syncType = kSyncMidi;
    m_noteSounding = false;
    std::memset(m_keyDownCount, 0, sizeof(m_keyDownCount));
  }
  m_syncTypeValue = v;
  if (m_listener) {
    // A synced delay follows whichever clock now drives the sequencer.
    if (old == kSyncHost && m_syncType == kSyncInternal && m_internalTempo != m_hostTempo)
      m_listener->sequencerTempoChanged(m_internalTempo);
    else if (old == kSyncInternal && m_syncType == kSyncHost && m_internalTempo != m_hostTempo)
      m_listener->sequencerTempoChanged(m_hostTempo);
    m_listener->sequencerStatusChanged();
  }
}

void Sequencer::setPatternSync(float v) {
  m_patternSyncValue = v;
  m_patternSyncMode = static_cast<int>(4.0f * v);
  switch (m_patternSyncMode) {
    case kPatternSync1Step:
      m_patternSyncQuantum = 0.25;
      break;
    case kPatternSync4Step:
      m_patternSyncQuantum = 1.0;
      break;
    case kPatternSync16Step:
      m_patternSyncQuantum = 4.0;
      break;
    default:
      break;  // free and AUTO keep the previous quantum
  }
}

void Sequencer::setPatternSyncDisplay(char* text) const {
  static const char* const names[] = {"free", "1 step", "4 step", "16 step", "AUTO"};
  if (m_patternSyncMode >= 0 && m_patternSyncMode <= kPatternSyncAuto) std::strcpy(text, names[m_patternSyncMode]);
}

void Sequencer::setStepLength() {
  m_stepLength = Pattern::kStepBeats;
  if (!m_currentPattern) return;
  const int n = m_currentPattern->getNBStep();
  for (int i = 0; i < n; ++i)
    m_currentPattern->setStepTimeStart(m_stepLength * i + ((i & 1) ? m_shuffle : 0.0), i);
}

void Sequencer::setShuffle(double beats) {
  m_shuffle = beats;
  setStepLength();
}

void Sequencer::internalPlay() {
  if (m_syncType != kSyncInternal) return;
  m_internalPlaying = true;
  m_fadeGain = 1.0;
  m_stopRequested = false;
  m_stopped = false;
  m_samplePosition = 0.0;
  m_patternPosition = 0.0;
  m_stepIndex = 0;
  m_currentStep = m_nextStep = m_previousStep = nullptr;
  if (m_listener) m_listener->sequencerStatusChanged();
}

void Sequencer::internalStop() {
  if (m_syncType != kSyncInternal) return;
  m_stopRequested = true;
  m_internalPlaying = false;
  if (m_listener) m_listener->sequencerStatusChanged();
}

void Sequencer::triggerPattern(int index, int) {
  if (index < 0 || index > kMaxTriggerIndex) return;
  const bool running = (m_syncType == kSyncHost && m_hostPlaying) || (m_syncType == kSyncInternal && m_internalPlaying);
  if (running) {
    m_nextPatternIndex = index;
    m_patternChangePending = true;
    return;
  }
  m_nextPatternIndex = index;
  switchToPattern(index);
}

void Sequencer::triggerPatternFromParameter(float v) { triggerPattern(static_cast<int>(32.0f * v), 0); }

void Sequencer::synchroPattern() {
  if (!m_patternChangePending) return;
  switchToPattern(m_nextPatternIndex);
  m_samplePosition = 0.0;  // the change grid restarts at the change
}

void Sequencer::selectPattern(int index) {
  if (!m_song.getPattern(index)) return;
  m_nextPatternIndex = index;
  switchToPattern(index);
}

void Sequencer::switchToPattern(int index) {
  Pattern* pattern = m_song.getPattern(index);
  if (!pattern) return;
  m_currentPatternIndex = index;
  m_currentPattern = pattern;
  setStepLength();
  m_stepIndex = 0;
  m_currentStep = nullptr;
  m_patternChangePending = false;
  m_patternPosition = 0.0;
  if (m_listener) m_listener->sequencerPatternChanged();
}
