#include "PluginHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vxtools {

namespace {

typedef AEffect*(VST_CALL* EntryProc)(audioMasterCallback host);

constexpr VstIntPtr kProcessLevelUser = 1;
constexpr VstIntPtr kProcessLevelOffline = 4;
// A VstEvents block claiming more events than this is treated as garbage.
constexpr VstInt32 kMaxEventsPerCall = 1 << 16;

// The host callback receives only the AEffect pointer; this table maps it back
// to its host. resvd1/resvd2 are not used for that because nothing stops an
// instrument from writing them. Instances are loaded from one thread and the
// tool runs a handful at most; beyond 16 an instance's callbacks get only the
// version answer.
struct Registration {
  AEffect* effect;
  PluginHost* host;
};
Registration g_registry[16];
// The instance being created: its callbacks arrive before we know its AEffect.
thread_local PluginHost* t_loading = nullptr;

PluginHost* findHost(AEffect* effect) {
  if (effect) {
    for (const Registration& r : g_registry)
      if (r.effect == effect) return r.host;
  }
  return t_loading;
}

void registerHost(AEffect* effect, PluginHost* host) {
  for (Registration& r : g_registry) {
    if (!r.effect) {
      r = {effect, host};
      return;
    }
  }
}

void unregisterHost(AEffect* effect) {
  for (Registration& r : g_registry)
    if (r.effect == effect) r = {nullptr, nullptr};
}

void copyText(void* ptr, const char* text, size_t capacity) {
  if (!ptr) return;
  std::strncpy(static_cast<char*>(ptr), text, capacity - 1);
  static_cast<char*>(ptr)[capacity - 1] = '\0';
}

}  // namespace

PluginHost::PluginHost() {
  for (int i = 0; i < kMaxInputEvents; ++i) {
    VstMidiEvent& e = m_inputEvents[static_cast<size_t>(i)];
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent);
    m_inputBlock.events[i] = reinterpret_cast<VstEvent*>(&e);
  }
}

PluginHost::~PluginHost() { unload(); }

LoadError PluginHost::load(const std::string& path, std::string& message) {
  unload();
  m_module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m_module) {
    const char* why = dlerror();
    message = why ? why : (path + ": cannot load");
    return LoadError::CannotOpen;
  }
  // VSTPluginMain is the 2.4 entry; older modules only have "main".
  void* entry = dlsym(m_module, "VSTPluginMain");
  if (!entry) entry = dlsym(m_module, "main");
  if (!entry) {
    message = path + ": no VSTPluginMain entry point";
    dlclose(m_module);
    m_module = nullptr;
    return LoadError::NoEntry;
  }
  t_loading = this;
  AEffect* effect = reinterpret_cast<EntryProc>(entry)(&PluginHost::hostCallback);
  t_loading = nullptr;
  if (!effect) {
    message = path + ": VSTPluginMain returned no instance";
    dlclose(m_module);
    m_module = nullptr;
    return LoadError::NullEffect;
  }
  if (effect->magic != kEffectMagic) {
    // Not a record we can trust: neither its dispatcher nor anything else is
    // called, the module is just unloaded.
    message = path + ": the instance is not a VST 2 effect (bad magic)";
    dlclose(m_module);
    m_module = nullptr;
    return LoadError::BadMagic;
  }
  m_effect = effect;
  registerHost(effect, this);
  if (effect->numOutputs < 1 || effect->numOutputs > kMaxChannels || !effect->dispatcher ||
      (!effect->processReplacing && !effect->process)) {
    message = path + ": the instance has no usable audio outputs or process function";
    unload();
    return LoadError::NoOutputs;
  }
  return LoadError::None;
}

void PluginHost::start(double sampleRate, int blockSize) {
  if (!m_effect) return;
  m_sampleRate = sampleRate;
  m_blockSize = std::max(1, blockSize);
  const int inputs = std::clamp(m_effect->numInputs, 0, kMaxChannels);
  const int outputs = std::clamp(m_effect->numOutputs, 1, kMaxChannels);
  // An instrument without inputs still gets a valid (empty) input array, for
  // plug-ins that look at inputs[0] regardless.
  m_inputBuffers.assign(static_cast<size_t>(std::max(inputs, 1)),
                        std::vector<float>(static_cast<size_t>(m_blockSize), 0.0f));
  m_outputBuffers.assign(static_cast<size_t>(outputs),
                         std::vector<float>(static_cast<size_t>(m_blockSize), 0.0f));
  m_inputPtrs.clear();
  for (auto& b : m_inputBuffers) m_inputPtrs.push_back(b.data());
  m_outputPtrs.clear();
  for (auto& b : m_outputBuffers) m_outputPtrs.push_back(b.data());
  m_captured.reserve(4096);

  prepareTimeInfo();
  dispatch(effOpen);
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(m_sampleRate));
  dispatch(effSetBlockSize, 0, m_blockSize);
  dispatch(effMainsChanged, 0, 1);
  dispatch(effStartProcess);
  m_started = true;
  flushCaptured();
}

void PluginHost::unload() {
  if (m_effect) {
    if (m_started) {
      dispatch(effStopProcess);
      dispatch(effMainsChanged, 0, 0);
      m_started = false;
    }
    dispatch(effClose);
    flushCaptured();
    unregisterHost(m_effect);
    m_effect = nullptr;
  }
  if (m_module) {
    dlclose(m_module);
    m_module = nullptr;
  }
}

void* PluginHost::symbol(const char* name) const {
  return m_module ? dlsym(m_module, name) : nullptr;
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
  if (!m_effect || !m_effect->dispatcher) return 0;
  return m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt);
}

int PluginHost::numParams() const { return m_effect ? std::max(m_effect->numParams, 0) : 0; }

std::string PluginHost::paramName(int index) {
  // The limit is 8 characters, but instruments are known to write more; a
  // large zeroed buffer keeps an overlong name from running over.
  char text[256] = {};
  dispatch(effGetParamName, index, 0, text);
  text[sizeof(text) - 1] = '\0';
  return text;
}

std::vector<std::string> PluginHost::paramNames() {
  std::vector<std::string> names;
  for (int i = 0; i < numParams(); ++i) names.push_back(paramName(i));
  return names;
}

void PluginHost::setParameter(int index, float value) {
  if (m_effect && m_effect->setParameter) m_effect->setParameter(m_effect, index, value);
}

float PluginHost::getParameter(int index) {
  return m_effect && m_effect->getParameter ? m_effect->getParameter(m_effect, index) : 0.0f;
}

void PluginHost::setTransport(const Transport& transport) {
  if (transport.playing == m_transport.playing && transport.tempo == m_transport.tempo &&
      transport.timeSigNumerator == m_transport.timeSigNumerator &&
      transport.timeSigDenominator == m_transport.timeSigDenominator)
    return;
  // Keep the musical position continuous across a tempo change: the beats so
  // far become the new anchor.
  m_ppqAnchor = currentPpq();
  m_sampleAnchor = m_transportSamplePos;
  m_transport = transport;
  if (!(m_transport.tempo > 0.0)) m_transport.tempo = 120.0;
  m_transportChanged = true;
}

void PluginHost::locate(double ppq) {
  if (!std::isfinite(ppq)) return;
  m_ppqAnchor = ppq;
  m_transportSamplePos = std::llround(ppq * 60.0 * m_sampleRate / m_transport.tempo);
  m_sampleAnchor = m_transportSamplePos;
  m_transportChanged = true;
}

bool PluginHost::addInputEvent(int deltaFrames, uint8_t status, uint8_t data1, uint8_t data2) {
  if (m_pendingInput >= kMaxInputEvents) return false;
  VstMidiEvent& e = m_inputEvents[static_cast<size_t>(m_pendingInput++)];
  e.deltaFrames = std::max(deltaFrames, 0);
  e.flags = 0;
  e.midiData[0] = static_cast<char>(status);
  e.midiData[1] = static_cast<char>(data1 & 0x7F);
  e.midiData[2] = static_cast<char>(data2 & 0x7F);
  e.midiData[3] = 0;
  return true;
}

double PluginHost::currentPpq() const {
  return m_ppqAnchor + static_cast<double>(m_transportSamplePos - m_sampleAnchor) *
                           m_transport.tempo / (60.0 * m_sampleRate);
}

void PluginHost::prepareTimeInfo() {
  VstTimeInfo& t = m_timeInfo;
  t = VstTimeInfo{};
  t.samplePos = static_cast<double>(m_transportSamplePos);
  t.sampleRate = m_sampleRate;
  t.ppqPos = currentPpq();
  t.tempo = m_transport.tempo;
  const double beatsPerBar =
      m_transport.timeSigNumerator * 4.0 / std::max(m_transport.timeSigDenominator, 1);
  // The small allowance keeps a position a rounding error short of a bar line
  // in the new bar rather than the old one.
  t.barStartPos = std::floor(t.ppqPos / beatsPerBar + 1e-9) * beatsPerBar;
  t.timeSigNumerator = m_transport.timeSigNumerator;
  t.timeSigDenominator = m_transport.timeSigDenominator;
  t.flags = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
  if (m_transport.playing) t.flags |= kVstTransportPlaying;
  if (m_transportChanged) t.flags |= kVstTransportChanged;
}

void PluginHost::processBlock(int frames) {
  if (!m_effect || !m_started) return;
  frames = std::clamp(frames, 0, m_blockSize);
  if (frames == 0) return;
  flushCaptured();
  prepareTimeInfo();

  std::stable_sort(m_inputEvents.begin(), m_inputEvents.begin() + m_pendingInput,
                   [](const VstMidiEvent& a, const VstMidiEvent& b) {
                     return a.deltaFrames < b.deltaFrames;
                   });
  for (int i = 0; i < m_pendingInput; ++i)
    m_inputEvents[static_cast<size_t>(i)].deltaFrames =
        std::min(m_inputEvents[static_cast<size_t>(i)].deltaFrames, frames - 1);
  m_inputBlock.numEvents = m_pendingInput;
  m_inputBlock.reserved = 0;
  dispatch(effProcessEvents, 0, 0, &m_inputBlock);
  m_pendingInput = 0;

  for (auto& b : m_outputBuffers) std::fill(b.begin(), b.end(), 0.0f);
  m_inBlock = true;
  if ((m_effect->flags & effFlagsCanReplacing) && m_effect->processReplacing)
    m_effect->processReplacing(m_effect, m_inputPtrs.data(), m_outputPtrs.data(), frames);
  else if (m_effect->process)  // accumulates into the zeroed outputs
    m_effect->process(m_effect, m_inputPtrs.data(), m_outputPtrs.data(), frames);
  m_inBlock = false;

  m_framesRendered += frames;
  if (m_transport.playing) m_transportSamplePos += frames;
  m_transportChanged = false;
  flushCaptured();
  m_blockStartFrame = m_framesRendered;
}

const float* PluginHost::output(int ch) const {
  if (m_outputBuffers.empty()) return nullptr;
  const size_t index = std::min(static_cast<size_t>(std::max(ch, 0)), m_outputBuffers.size() - 1);
  return m_outputBuffers[index].data();
}

void PluginHost::captureEvents(const VstEvents* events) {
  if (!events || events->numEvents <= 0) return;
  const VstInt32 count = std::min(events->numEvents, kMaxEventsPerCall);
  VstEvent* const* list = events->events;  // really numEvents entries
  for (VstInt32 i = 0; i < count; ++i) {
    const VstEvent* e = list[i];
    if (!e || e->type != kVstMidiType) {
      ++m_droppedMidi;
      continue;
    }
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(e);
    const auto status = static_cast<uint8_t>(midi->midiData[0]);
    if (status < 0x80 || status >= 0xF0 || m_blockCaptureCount >= kMaxCapturedPerBlock) {
      ++m_droppedMidi;
      continue;
    }
    PendingCapture& c = m_blockCapture[static_cast<size_t>(m_blockCaptureCount++)];
    c.frame = m_blockStartFrame + std::max<VstInt32>(midi->deltaFrames, 0);
    c.data[0] = status;
    c.data[1] = static_cast<uint8_t>(midi->midiData[1]) & 0x7F;
    c.data[2] = static_cast<uint8_t>(midi->midiData[2]) & 0x7F;
  }
}

void PluginHost::flushCaptured() {
  for (int i = 0; i < m_blockCaptureCount; ++i) {
    const PendingCapture& c = m_blockCapture[static_cast<size_t>(i)];
    m_captured.push_back({c.frame, {c.data[0], c.data[1], c.data[2]}});
  }
  m_blockCaptureCount = 0;
}

VstIntPtr VST_CALL PluginHost::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                            VstIntPtr value, void* ptr, float opt) {
  PluginHost* host = findHost(effect);
  if (!host) return opcode == audioMasterVersion ? kVstVersion : 0;
  return host->callback(opcode, index, value, ptr, opt);
}

VstIntPtr PluginHost::callback(VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/,
                               void* ptr, float /*opt*/) {
  switch (opcode) {
    case audioMasterVersion:
      ++m_versionQueries;
      return kVstVersion;
    case audioMasterGetTime:
      // Always a full record: the request mask only says what the caller
      // needs, and the flags tell it what is valid.
      return reinterpret_cast<VstIntPtr>(&m_timeInfo);
    case audioMasterProcessEvents:
      captureEvents(static_cast<const VstEvents*>(ptr));
      return 1;
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(m_sampleRate);
    case audioMasterGetBlockSize:
      return m_blockSize;
    case audioMasterGetCurrentProcessLevel:
      return m_inBlock ? kProcessLevelOffline : kProcessLevelUser;
    case audioMasterGetVendorString:
      copyText(ptr, "Vornix", kVstMaxVendorStrLen + 1);
      return 1;
    case audioMasterGetProductString:
      copyText(ptr, "vornix-render", kVstMaxProductStrLen + 1);
      return 1;
    case audioMasterGetVendorVersion:
      return 1;
    case audioMasterCanDo: {
      if (!ptr) return 0;
      const char* what = static_cast<const char*>(ptr);
      static const char* const kCanDo[] = {"sendVstEvents", "sendVstMidiEvent",
                                           "receiveVstEvents", "receiveVstMidiEvent",
                                           "sendVstTimeInfo"};
      for (const char* c : kCanDo)
        if (std::strcmp(what, c) == 0) return 1;
      return 0;
    }
    default:
      return 0;
  }
}

}  // namespace vxtools
