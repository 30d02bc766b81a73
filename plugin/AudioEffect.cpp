#include "plugin/AudioEffect.h"

#include <cstring>

namespace {

// Every trampoline recovers the instance from the record and tolerates a
// record without one: a host that calls after a failed construction must not
// crash us.
AudioEffect* instanceOf(AEffect* effect) {
  return effect ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

extern "C" {

VST_ENTRY_ALIGN VstIntPtr VST_CALL dispatchEffect(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                  VstIntPtr value, void* ptr, float opt) noexcept {
  AudioEffect* instance = instanceOf(effect);
  if (!instance) return 0;
  if (opcode == effClose) {
    instance->dispatcher(opcode, index, value, ptr, opt);
    delete instance;
    return 1;
  }
  return instance->dispatcher(opcode, index, value, ptr, opt);
}

VST_ENTRY_ALIGN void VST_CALL processEffect(AEffect* effect, float** inputs, float** outputs,
                                            VstInt32 frames) noexcept {
  if (AudioEffect* instance = instanceOf(effect)) instance->process(inputs, outputs, frames);
}

VST_ENTRY_ALIGN void VST_CALL processReplacingEffect(AEffect* effect, float** inputs, float** outputs,
                                                     VstInt32 frames) noexcept {
  if (AudioEffect* instance = instanceOf(effect)) instance->processReplacing(inputs, outputs, frames);
}

VST_ENTRY_ALIGN void VST_CALL processDoubleReplacingEffect(AEffect* effect, double** inputs,
                                                           double** outputs, VstInt32 frames) noexcept {
  if (AudioEffect* instance = instanceOf(effect)) instance->processDoubleReplacing(inputs, outputs, frames);
}

VST_ENTRY_ALIGN void VST_CALL setParameterEffect(AEffect* effect, VstInt32 index, float value) noexcept {
  if (AudioEffect* instance = instanceOf(effect)) instance->setParameter(index, value);
}

VST_ENTRY_ALIGN float VST_CALL getParameterEffect(AEffect* effect, VstInt32 index) noexcept {
  AudioEffect* instance = instanceOf(effect);
  return instance ? instance->getParameter(index) : 0.0f;
}

}  // extern "C"

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback host, VstInt32 numPrograms, VstInt32 numParams)
    : m_audioMaster(host), m_numPrograms(numPrograms), m_numParams(numParams) {
  std::memset(&m_cEffect, 0, sizeof(m_cEffect));
  m_cEffect.magic = kEffectMagic;
  m_cEffect.dispatcher = dispatchEffect;
  m_cEffect.process = processEffect;
  m_cEffect.setParameter = setParameterEffect;
  m_cEffect.getParameter = getParameterEffect;
  m_cEffect.numPrograms = numPrograms;
  m_cEffect.numParams = numParams;
  m_cEffect.numInputs = 1;
  m_cEffect.numOutputs = 2;
  m_cEffect.ioRatio = 1.0f;
  m_cEffect.object = this;
  m_cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
  m_cEffect.version = 1;
  m_cEffect.processReplacing = processReplacingEffect;
  m_cEffect.processDoubleReplacing = processDoubleReplacingEffect;
}

AudioEffect::~AudioEffect() {
  delete m_editor;
  m_editor = nullptr;
}

void AudioEffect::setEditor(AEffEditor* editor) {
  m_editor = editor;
  setFlag(effFlagsHasEditor, editor != nullptr);
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
  if (state)
    m_cEffect.flags |= flag;
  else
    m_cEffect.flags &= ~flag;
}

void AudioEffect::canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
void AudioEffect::programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
void AudioEffect::isSynth(bool state) { setFlag(effFlagsIsSynth, state); }

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (!m_audioMaster) return 0;
  return m_audioMaster(&m_cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case effOpen:
      open();
      return 0;
    case effClose:
      close();
      return 0;
    case effSetProgram:
      if (value >= 0 && value < m_numPrograms) setProgram(static_cast<VstInt32>(value));
      return 0;
    case effGetProgram:
      return getProgram();
    case effSetProgramName:
      if (ptr) setProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetProgramName:
      if (ptr) getProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetParamLabel:
      if (ptr) getParameterLabel(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamDisplay:
      if (ptr) getParameterDisplay(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamName:
      if (ptr) getParameterName(index, static_cast<char*>(ptr));
      return 0;
    case effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case effSetBlockSize:
      setBlockSize(static_cast<VstInt32>(value));
      return 0;
    case effMainsChanged:
      if (value)
        resume();
      else
        suspend();
      return 0;
    case effEditGetRect:
      if (m_editor && ptr) return m_editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
      return 0;
    case effEditOpen:
      if (m_editor) return m_editor->open(ptr) ? 1 : 0;
      return 0;
    case effEditClose:
      if (m_editor) m_editor->close();
      return 0;
    case effEditIdle:
      if (m_editor) m_editor->idle();
      return 0;
    case effIdentify:
      return vstFourCC('N', 'v', 'E', 'f');
    case effGetChunk:
      if (!ptr) return 0;
      return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
      return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
      return 0;
  }
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case effProcessEvents:
      return ptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
    case effCanBeAutomated:
      return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
      return ptr && string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProgramNameIndexed:
      return ptr && getProgramNameIndexed(static_cast<VstInt32>(value), index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetOutputProperties:
      return ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetPlugCategory:
      return (m_cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
    case effGetEffectName:
      return ptr && getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString:
      return ptr && getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProductString:
      return ptr && getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorVersion:
      return getVendorVersion();
    case effCanDo:
      return ptr ? canDo(static_cast<char*>(ptr)) : 0;
    case effGetVstVersion:
      return kVstVersion;
    case effGetSpeakerArrangement:
      // Both arrangement pointers are cleared: we offer no speaker layout.
      if (value) *reinterpret_cast<void**>(value) = nullptr;
      if (ptr) *static_cast<void**>(ptr) = nullptr;
      return 0;
    case effEditKeyDown:
      return m_editor && m_editor->onKeyDown(index, value, opt) ? 1 : 0;
    case effEditKeyUp:
      return m_editor && m_editor->onKeyUp(index, value, opt) ? 1 : 0;
    case effSetEditKnobMode:
      return m_editor && m_editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0;
    default:
      return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
  return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
  return callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }
