// The engine loop: renders one block of the dry voice and, in the same
// pass, runs the step sequencer's clock sample by sample: it reads the
// host's transport, starts the steps of the current pattern at their start
// times, sends the notes to the host as MIDI, decides glide and gate for
// every step, fades the voice out when the transport stops, and hands each
// sample to the voice. In keyboard mode it plays the voice from the MIDI
// notes of the block instead.
#pragma once

#include "engine/Oscillator.h"
#include "engine/Voice.h"
#include "sequencer/MidiOutput.h"
#include "sequencer/PatternEditor.h"
#include "sequencer/PatternRecorder.h"
#include "sequencer/Sequencer.h"

// The host's transport as the engine reads it at a block start.
struct TransportInfo {
  double sampleRate = 44100.0;
  double ppq = 0.0;
  double tempo = 120.0;
  bool tempoValid = false;
  bool ppqValid = false;
  bool changed = false;
  bool playing = false;
};

// What the engine needs from the instrument around it.
class EngineHost {
 public:
  virtual ~EngineHost() = default;
  // Fills `info` from the host; false when the host gave nothing.
  virtual bool engineTransport(TransportInfo& info) = 0;
  virtual void engineSendMidi(const OutgoingMidi* events, int count) = 0;
  // Editor notices: a step started, the host transport started or stopped.
  virtual void engineStepStarted(int) {}
  virtual void engineTransportMessage(int) {}
};

// Parameters read at each block start.
struct EngineParameters {
  VoiceParameters voice;
  float gate = 0.5f;
  int slideSamples = 5512;
  bool recording = false;
};

// One keyboard-mode note of the block.
struct KeyEvent {
  int kind = 0;  // 0 end of list, 1 note on, 2 note off
  int note = 0;
  int deltaFrames = 0;
  int velocity = 0;
};

class Engine {
 public:
  static constexpr int kMaxKeyEvents = 64;
  static constexpr double kLowRate = 44100.0;

  Engine(Sequencer& sequencer, PatternEditor& editor, PatternRecorder& recorder, EngineHost& host);

  // Host-rate render into left (copied to right); any rate >= 22050 Hz.
  void processKrennet(float* left, float* right, int n, double sampleRate, const EngineParameters& parameters);
  // 44100 Hz render of n samples into one buffer for a host running below
  // 22050 Hz; MIDI offsets are fitted into the host's block of hostFrames.
  void processKrennet2(float* out, int n, int hostFrames, const EngineParameters& parameters);

  // Keyboard-mode notes of the coming block (from the host's MIDI input).
  void beginNoteEvents();
  void addNoteOn(int note, int velocity, int deltaFrames);
  void addNoteOff(int note, int velocity, int deltaFrames);
  // Keyboard key down and up (also from the editor's keyboard).
  void play(int note, int velocity, int unused = 0);
  void stop(int note, int velocity, int unused = 0);

  // A note-off for every key whose note-on went to the host, sent now.
  void resetPendingNote();

  void setWaveform(bool square) { m_oscillator.setWaveform(square); }
  void setSlideSamples(int samples) { m_slideSamples = samples; }
  void setTuning(float tuning) { m_tuning = tuning; }

  VoiceState m_voice;
  Oscillator m_oscillator;
  MidiOutput m_midiOut;
  int m_gateOffset = 0;

 private:
  struct BlockSetup {
    double rate = 44100.0;       // rendering rate
    bool lowRate = false;        // the fixed 44100 Hz routine
    int hostFrames = 0;          // frames of the host's block
    double offsetScale = 1.0;    // rendering index -> host frame
  };

  void render(float* out, int n, const BlockSetup& setup, const EngineParameters& parameters);
  void processTest(float* out, int n, const BlockSetup& setup, const EngineParameters& parameters);
  void readTransport(TransportInfo& info, double rate);
  void resynchronise(double ppq, double samplesPerBeat);
  void stepEvent(Step& step, int offset, int samplesPerStep, float tuning);
  // The gate of the sounding step is closed at this count of its samples
  // (it stays closed to the step's end).
  bool gateCloses(int samplesPerStep, int samplesInStep) const;
  // A keyboard event of the block is due at this host offset.
  bool keyEventDue(int offset) const {
    return m_noteEventCount < kMaxKeyEvents && m_noteEvents[m_noteEventCount].kind != 0 &&
           offset >= m_noteEvents[m_noteEventCount].deltaFrames;
  }
  void glideTo(int key);
  void flushMidi();
  void restartOscillator();
  int hostOffset(int index, const BlockSetup& setup) const;

  Sequencer& m_seq;
  PatternEditor& m_editor;
  PatternRecorder& m_recorder;
  EngineHost& m_host;

  KeyEvent m_noteEvents[kMaxKeyEvents + 1];
  int m_noteEventCount = 0;
  int m_slideSamples = 5512;
  float m_tuning = 0.5f;
  bool m_recordingThisBlock = false;

  // Where the render stands, for a note that restarts the oscillator inside
  // a chunk.
  int m_sampleIndex = 0;
  int m_blockLength = 0;
  bool m_oscillatorActive = false;
  double m_renderRate = 44100.0;

  // The last usable transport: kept when a host reports none, or a tempo of
  // 0 or worse, so nothing ever divides by zero.
  double m_lastTempo = 120.0;
  double m_lastPpq = 0.0;
  double m_expectedPpq = -1.0;  // where the next block starts if the host just plays on
};
