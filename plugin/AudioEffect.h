// The thin binding between the VST 2.4 record handed to the host and our
// instrument object: `AudioEffect` owns the `AEffect` record and the C
// trampolines, `AudioEffectX` adds the 2.x operations. The instrument derives
// from `AudioEffectX` and overrides what it supports; everything else answers
// the neutral value a host expects (0, false, nothing written).
#pragma once

#include "plugin/AEffEditor.h"
#include "plugin/vst2abi.h"

class AudioEffect {
 public:
  AudioEffect(audioMasterCallback host, VstInt32 numPrograms, VstInt32 numParams);
  virtual ~AudioEffect();

  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  AEffect* getAeffect() { return &m_cEffect; }

  // Dispatcher of the base: decodes the opcodes of the original 1.0 interface.
  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

  virtual void open() {}
  virtual void close() {}
  virtual void suspend() {}
  virtual void resume() {}

  virtual void setProgram(VstInt32 program) { m_curProgram = program; }
  virtual VstInt32 getProgram() { return m_curProgram; }
  virtual void setProgramName(char*) {}
  virtual void getProgramName(char* name) { name[0] = 0; }

  virtual void setParameter(VstInt32, float) {}
  virtual float getParameter(VstInt32) { return 0.0f; }
  virtual void getParameterLabel(VstInt32, char* label) { label[0] = 0; }
  virtual void getParameterDisplay(VstInt32, char* text) { text[0] = 0; }
  virtual void getParameterName(VstInt32, char* text) { text[0] = 0; }

  virtual VstInt32 getChunk(void**, bool) { return 0; }
  virtual VstInt32 setChunk(void*, VstInt32, bool) { return 0; }

  virtual void setSampleRate(float rate) { m_sampleRate = rate; }
  virtual void setBlockSize(VstInt32 size) { m_blockSize = size; }
  float getSampleRate() const { return m_sampleRate; }
  VstInt32 getBlockSize() const { return m_blockSize; }

  virtual void process(float**, float**, VstInt32) {}
  virtual void processReplacing(float**, float**, VstInt32) {}
  virtual void processDoubleReplacing(double**, double**, VstInt32) {}

  void setEditor(AEffEditor* editor);
  AEffEditor* getEditor() const { return m_editor; }

  // Flag setters used by the constructor of the instrument.
  void setUniqueID(VstInt32 id) { m_cEffect.uniqueID = id; }
  void setNumInputs(VstInt32 n) { m_cEffect.numInputs = n; }
  void setNumOutputs(VstInt32 n) { m_cEffect.numOutputs = n; }
  void canProcessReplacing(bool state = true);
  void programsAreChunks(bool state = true);
  void isSynth(bool state = true);

  // Host callbacks; each answers 0 when there is no host callback.
  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  virtual void setParameterAutomated(VstInt32 index, float value);

 protected:
  void setFlag(VstInt32 flag, bool state);

  audioMasterCallback m_audioMaster;
  AEffEditor* m_editor = nullptr;
  float m_sampleRate = 44100.0f;
  VstInt32 m_blockSize = 1024;
  VstInt32 m_numPrograms;
  VstInt32 m_numParams;
  VstInt32 m_curProgram = 0;
  AEffect m_cEffect;
};

class AudioEffectX : public AudioEffect {
 public:
  using AudioEffect::AudioEffect;

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

  virtual VstInt32 processEvents(VstEvents*) { return 0; }
  virtual bool canParameterBeAutomated(VstInt32) { return false; }
  virtual bool string2parameter(VstInt32, char*) { return false; }
  virtual bool getProgramNameIndexed(VstInt32, VstInt32, char*) { return false; }
  virtual bool copyProgram(VstInt32) { return false; }
  virtual bool getOutputProperties(VstInt32, VstPinProperties*) { return false; }
  virtual bool getEffectName(char*) { return false; }
  virtual bool getVendorString(char*) { return false; }
  virtual bool getProductString(char*) { return false; }
  virtual VstInt32 getVendorVersion() { return 0; }
  virtual VstInt32 canDo(char*) { return 0; }

  VstTimeInfo* getTimeInfo(VstInt32 filter);
  bool sendVstEventsToHost(VstEvents* events);
  bool updateDisplay();
};
