// The instrument: one object per plug-in instance. It owns every subsystem by
// value (the sequencer with its song, the effects, the output stage, the
// shared block the editor reads) and forwards the host's calls to them. Its
// own operations are spread over the files of the plug-in shell: lifecycle
// and identity (Tolvane.cpp), the parameter table (Parameters.cpp), the
// state chunk (Programs.cpp), MIDI input (MidiInput.cpp), the audio block
// driver (BlockDriver.cpp), the pattern and bank files (PatternFileOps.cpp),
// the shared block and editor refreshes
// (BridgeHooks.cpp) and the editor's requests (EditorRequests.cpp, and
// PatternFileOps.cpp for the files).
//
// The editor bridge (editorbridge/Krennet3Editor.h) is created last and
// destroyed first. Its requests change the instrument only while it owns
// the state (m_ownership): queued ones at the audio thread's block start,
// the change a file import makes on the bridge's thread between two audio
// calls (the file itself is read before, without the state).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editorbridge/EditorRequest.h"
#include "editorbridge/InstanceLock.h"
#include "editorbridge/SharedBlock.h"
#include "editorbridge/StateOwnership.h"
#include "effects/Delay.h"
#include "effects/DistortionUnit.h"
#include "engine/CParamSmooth.h"
#include "engine/Engine.h"
#include "plugin/AudioEffect.h"
#include "patternfiles/PatternFile.h"
#include "plugin/MidiBacklog.h"
#include "plugin/ParameterTable.h"
#include "sequencer/ParameterSetter.h"
#include "sequencer/PatternEditor.h"
#include "sequencer/PatternRecorder.h"
#include "sequencer/Sequencer.h"

class Krennet3Editor;

class Tolvane : public AudioEffectX,
                private SequencerListener,
                private EngineHost,
                private ParameterSetter,
                private EditorTarget {
 public:
  static constexpr VstInt32 kUniqueId = vstFourCC('k', 'n', 't', '3');
  static constexpr int kCrossfadeCapacity = 16384;
  static constexpr int kFadeLength = 64;

  explicit Tolvane(audioMasterCallback host);
  ~Tolvane() override;

  // Lifecycle (Tolvane.cpp).
  void resume() override;
  void suspend() override;
  void setSampleRate(float rate) override;
  void setBlockSize(VstInt32 size) override;
  void setVol(float);

  // Identity and capabilities (Tolvane.cpp).
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override { return 1; }
  VstInt32 canDo(char* text) override;
  bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;

  // Parameters (Parameters.cpp).
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void getParameterName(VstInt32 index, char* text) override;
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  bool canParameterBeAutomated(VstInt32) override { return true; }

  // Programs and the state chunk (Programs.cpp).
  void setProgram(VstInt32) override {}
  VstInt32 getProgram() override { return 0; }
  void setProgramName(char*) override {}
  void getProgramName(char*) override {}
  bool getProgramNameIndexed(VstInt32, VstInt32, char*) override { return false; }
  VstInt32 getChunk(void** data, bool isPreset) override;
  VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override;
  // Restores a whole state (chunk or bank file); false changes nothing.
  bool restoreState(const uint8_t* data, size_t size);

  // Pattern and bank files (PatternFileOps.cpp). Each does nothing at all
  // when the path is empty, the file cannot be read or written, or its
  // content is refused; a pattern import into slot -1 goes into the current
  // pattern's slot.
  void exportPattern(std::string path);
  void importPattern(std::string path, int slot, bool withParameters);
  void exportABL2Pattern(std::string path);
  void exportABL3Pattern(std::string path);
  void importABLPattern(std::string path, int slot, bool withParameters);
  void importABL3Pattern(std::string path, int slot, bool withParameters);
  void exportPhoscyonPattern(std::string path);
  void importPhoscyonPattern(std::string path, int slot);
  void exportBank(std::string path);
  void importBank(std::string path, int);
  // What the operations above are made of, for tools that read and write
  // the files themselves: applies a file that was read (its parameters
  // first when withParameters, then the pattern into the slot, the step
  // times and the refreshes its format calls for), and the current pattern
  // with the values an export writes.
  void applyPatternFile(const PatternFile& file, int slot, bool withParameters);
  PatternSnapshot patternSnapshot();
  // The whole state as a bank file's bytes.
  std::vector<uint8_t> bankBytes();

  // MIDI input (MidiInput.cpp).
  VstInt32 processEvents(VstEvents* events) override;

  // Audio (BlockDriver.cpp).
  void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;

  // Shared block and editor refreshes.
  void updateParameterData();
  void updatePatternData();
  void updatePluginData();
  void editorUpdateDisplay();

  int getInstanceNumber() const { return m_instanceNumber; }
  Sequencer& sequencer() { return m_seq; }
  const Sequencer& sequencer() const { return m_seq; }

  // Parameter values (normalised 0..1).
  float m_globalGain = 0.0f;
  // The instance number, unique among live processes; names the shared
  // block, the FIFOs and the editor program file.
  InstanceLock m_instanceLock;
  int m_instanceNumber = 0;
  float m_volume = 1.0f;
  float m_waveform = 0.0f;
  float m_tuning = 0.5f;
  float m_cutoff = 0.09375f;
  float m_resonance = 0.919375f;
  float m_envMod = 0.170625f;
  float m_decay = 0.9f;
  float m_accent = 0.304375f;
  float m_gate = 0.5f;
  float m_groove = 0.0f;
  float m_slideTimeValue = 0.0f;
  int m_slideSamples = 5512;
  float m_antialias = 1.0f;
  bool m_recording = false;

  Sequencer m_seq;
  PatternEditor m_patternEditor{m_seq};
  PatternRecorder m_recorder;
  Engine m_engine{m_seq, m_patternEditor, m_recorder, *this};

  float m_delayTime = 0.5f;
  float m_delayFeedback = 0.3f;
  float m_delayVolume = 0.3f;
  float m_delayFilter = 0.5f;
  float m_delayOn = 0.0f;
  float m_delaySync = 1.0f;
  float m_delayPing = 0.0f;
  Delay m_delay{88200};

  float m_distoOn = 0.0f;
  float m_distoSelect = 0.0f;
  float m_distoParam1 = 0.0f;
  float m_distoParam2 = 0.5f;
  bool m_distoToggled = false;
  DistortionUnit m_disto;

  CParamSmooth m_volumeSmoother{4.0f, 44100.0f};
  bool m_keepSyncTypeOnImport = true;

  SharedBlock m_sharedBlock;
  StateOwnership m_ownership;

 private:
  // SequencerListener.
  void sequencerTempoChanged(double tempo) override;
  void sequencerPatternChanged() override;
  void sequencerStatusChanged() override;
  void sequencerPatternsEdited() override;

  // EngineHost (BlockDriver.cpp).
  bool engineTransport(TransportInfo& info) override;
  void engineSendMidi(const OutgoingMidi* events, int count) override;
  // BridgeHooks.cpp.
  void engineStepStarted(int step) override;
  void engineTransportMessage(int status) override;

  // EditorTarget (EditorRequests.cpp, PatternFileOps.cpp).
  void performEditorRequest(const EditorRequest& request) override;
  void performFileRequest(const EditorMessage& message, const OwnedSection& owned) override;
  void randomizeFromEditor(int kind);
  void editPatternFromEditor(int edit);
  void editStepFromEditor(int field, int step, int value);
  void slotActionFromEditor(int action, int index);

  // BridgeHooks.cpp: the shared block's record of one parameter and the
  // editor's echo, after every change; the algorithm message.
  void publishParameter(int index, float value);
  void publishParameterText(int index);
  static void algorithmChanged(void* instrument, int algorithm);

  // MIDI input (MidiInput.cpp).
  void handleMidi(int status, int data1, int data2, int deltaFrames);
  void replayMidiBacklog();

  EngineParameters engineParameters() const;

  // Parameter helpers (Parameters.cpp).
  void setWaveform(float value);
  void setGate(float value);
  void setSlideTime(float value);
  void setInternalTempo(float value);

  // Block driver steps (BlockDriver.cpp).
  void renderEngine(float** inputs, float** outputs, int frames);
  void renderLowRate(float** outputs, int frames);
  void applyHostTempo();
  void processDistortionStage(float** outputs, int frames);
  void processCrossfade(float** segment, int count, int start, int frames);
  void processCrossfade2(float** segment, int count, int start, int frames);
  void processGlobalVolume(float** outputs, int frames);
  void growLowRateBuffer();

  std::array<float, kFadeLength> m_fadeBuffer{};
  std::unique_ptr<float[]> m_crossfadeA;
  std::unique_ptr<float[]> m_crossfadeB;
  std::unique_ptr<float[]> m_lowRateBuffer;
  int m_lowRateCapacity = 0;

  std::vector<uint8_t> m_chunk;  // the last answer to getChunk, owned until the next call
  // MIDI that arrived while the editor bridge owned the state.
  MidiBacklog m_midiBacklog;
  Krennet3Editor* m_bridge = nullptr;  // also the binding's editor

  // The events handed to the host: a VstEvents header followed by room for
  // every event the MIDI output can prepare in one block.
  struct OutEventBlock {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[MidiOutput::kMaxEvents];
  };
  OutEventBlock m_outEvents{};
  VstMidiEvent m_outMidi[MidiOutput::kMaxEvents]{};
};

AudioEffect* createEffectInstance(audioMasterCallback host);
