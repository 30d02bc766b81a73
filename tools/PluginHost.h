// A minimal offline VST 2.4 host for one instrument: loads the module with
// dlopen, creates the instance through VSTPluginMain, drives it only through
// the dispatcher and the AEffect function pointers, answers the host callback
// (version, time info, sample rate, block size, canDo) and captures the MIDI
// the instrument sends back through audioMasterProcessEvents.
//
// Per block the host feeds the instrument its time info (from the transport
// set with setTransport) and the MIDI queued with addInputEvent; both are
// plain values the caller may change between blocks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "plugin/vst2abi.h"

namespace vxtools {

enum class LoadError { None, CannotOpen, NoEntry, NullEffect, BadMagic, NoOutputs };

// What the host's transport reports from the next block on.
struct Transport {
  bool playing = true;
  double tempo = 120.0;  // BPM
  int timeSigNumerator = 4;
  int timeSigDenominator = 4;
};

// A MIDI message the instrument sent, at the absolute frame of the render
// (block start + deltaFrames) at which it belongs.
struct CapturedMidi {
  int64_t frame;
  uint8_t data[3];
};

class PluginHost {
 public:
  // Upper bounds of what one block may carry; further events are dropped and counted.
  static constexpr int kMaxInputEvents = 512;
  static constexpr int kMaxCapturedPerBlock = 4096;
  static constexpr int kMaxChannels = 64;

  PluginHost();
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // Loads the module and creates the instance. On failure fills message.
  LoadError load(const std::string& path, std::string& message);
  // effOpen, effSetSampleRate, effSetBlockSize, effMainsChanged(1), effStartProcess.
  void start(double sampleRate, int blockSize);
  // effStopProcess, effMainsChanged(0) when started; effClose; unloads the module.
  void unload();

  AEffect* effect() const { return m_effect; }
  void* symbol(const char* name) const;
  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f);

  int numParams() const;
  // effGetParamName into a generous buffer (hosts pass more than the 8-character
  // limit; a few instruments write more).
  std::string paramName(int index);
  std::vector<std::string> paramNames();
  void setParameter(int index, float value);
  float getParameter(int index);

  void setTransport(const Transport& transport);
  const Transport& transport() const { return m_transport; }
  // Moves the transport to a position in quarter notes (a jump while playing,
  // a relocation while stopped); the next block reports the change. The
  // sample position moves with it, to ppq × 60 × rate / tempo.
  void locate(double ppq);
  // Queues a MIDI message for the next block (deltaFrames within that block).
  bool addInputEvent(int deltaFrames, uint8_t status, uint8_t data1, uint8_t data2);

  // One block: builds the time info, sends effProcessEvents (always, with 0
  // events when nothing is queued), then processReplacing into the output
  // buffers. frames must be 1..blockSize.
  void processBlock(int frames);
  // Output channel ch (0 left, 1 right) of the last block. A mono instrument's
  // single output is returned for both.
  const float* output(int ch) const;

  double sampleRate() const { return m_sampleRate; }
  int blockSize() const { return m_blockSize; }
  int64_t framesRendered() const { return m_framesRendered; }
  const VstTimeInfo& timeInfo() const { return m_timeInfo; }
  int hostVersionQueries() const { return m_versionQueries; }

  const std::vector<CapturedMidi>& capturedMidi() const { return m_captured; }
  int64_t droppedMidi() const { return m_droppedMidi; }

 private:
  static VstIntPtr VST_CALL hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                         VstIntPtr value, void* ptr, float opt);
  VstIntPtr callback(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  void captureEvents(const VstEvents* events);
  void flushCaptured();
  void prepareTimeInfo();
  double currentPpq() const;

  // The VstEvents header followed by the room for its pointers.
  struct InputEventBlock {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[kMaxInputEvents];
  };
  struct PendingCapture {
    int64_t frame;
    uint8_t data[3];
  };

  void* m_module = nullptr;
  AEffect* m_effect = nullptr;
  bool m_started = false;
  bool m_inBlock = false;
  double m_sampleRate = 44100.0;
  int m_blockSize = 512;
  int m_versionQueries = 0;

  Transport m_transport;
  bool m_transportChanged = true;  // the first block reports a change
  // Musical position: ppq = anchor + (samplePos - sampleAnchor) * tempo / (60 * rate),
  // re-anchored at every tempo change so that a constant tempo stays exact.
  double m_ppqAnchor = 0.0;
  int64_t m_sampleAnchor = 0;
  int64_t m_transportSamplePos = 0;
  int64_t m_framesRendered = 0;
  int64_t m_blockStartFrame = 0;
  VstTimeInfo m_timeInfo{};

  std::vector<std::vector<float>> m_inputBuffers;
  std::vector<float*> m_inputPtrs;
  std::vector<std::vector<float>> m_outputBuffers;
  std::vector<float*> m_outputPtrs;

  InputEventBlock m_inputBlock{};
  std::array<VstMidiEvent, kMaxInputEvents> m_inputEvents{};
  int m_pendingInput = 0;

  std::array<PendingCapture, kMaxCapturedPerBlock> m_blockCapture{};
  int m_blockCaptureCount = 0;
  std::vector<CapturedMidi> m_captured;
  int64_t m_droppedMidi = 0;
};

}  // namespace vxtools
