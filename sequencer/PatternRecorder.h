// Recording from a MIDI keyboard in host sync: the keys held down are
// written into the pattern step by step as the steps come up, cycling through
// them in the order they were pressed, so a held chord records as an
// arpeggio. A hard press (velocity above 82) records an accent; the pitch
// wheel records slides (up sets, down clears).
//
// Ranks: m_recordKeyOrder[key] is 0 for a key that is up, otherwise its place
// among the held keys, 1 = pressed first. The non-zero ranks are always
// exactly 1..h for h held keys, whatever the host sends: a key-up for a key
// that is not held changes nothing, a second key-down for a held key moves it
// to the end, and data bytes outside 0..127 are refused.
//
// Everything here runs on the audio thread (MIDI input and step starts) and
// never allocates.
#pragma once

#include "sequencer/Sequencer.h"

class PatternRecorder {
 public:
  static constexpr int kNumKeys = 128;
  // Keys below this select patterns and are never recorded.
  static constexpr int kFirstRecordableKey = 32;
  // A press harder than this records an accent.
  static constexpr int kAccentVelocity = 82;

  explicit PatternRecorder(SequencerListener* listener = nullptr) : m_listener(listener) {}

  // Who hears that a step was recorded (the editor's view of the pattern).
  void setListener(SequencerListener* listener) { m_listener = listener; }

  // Every host-sync note on (on = true) and note off, recording or not, so
  // that switching recording on while keys are held records them at once.
  void recordPattern(int note, int velocity, bool on);

  // The pitch wheel's two data bytes; sampled only while recording.
  void setPitchBend(int lsb, int msb, bool recording);

  // At a step start while recording, after seq.m_currentStep became the
  // starting step and before its note sounds: writes the chosen held key
  // (or just the wheel's slide) into that step.
  void processRecordPatternNote(Sequencer& seq);

  // Number of keys held now.
  int heldKeys() const;

  int m_recordKeyOrder[kNumKeys] = {};
  int m_recordVelocity = 0;
  int m_recordCycle = 0;
  bool m_bendUp = false;
  bool m_bendDown = false;

 private:
  void release(int key);

  SequencerListener* m_listener;
};
