#include "support/FakeHost.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace vornix::test {
namespace {

using PluginEntry = AEffect* (VST_CALL*)(audioMasterCallback);

// The module is loaded once per test process and never unloaded: hosts
// commonly keep a plug-in library mapped for the life of the process.
PluginEntry pluginEntry() {
  static PluginEntry entry = [] {
    void* module = dlopen(VORNIX_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      std::fprintf(stderr, "cannot load %s: %s\n", VORNIX_PLUGIN_PATH, dlerror());
      std::abort();
    }
    void* symbol = dlsym(module, "VSTPluginMain");
    if (symbol == nullptr) {
      std::fprintf(stderr, "%s exports no VSTPluginMain\n", VORNIX_PLUGIN_PATH);
      std::abort();
    }
    PluginEntry found;
    static_assert(sizeof(found) == sizeof(symbol), "function and object pointers differ");
    std::memcpy(&found, &symbol, sizeof(found));
    return found;
  }();
  return entry;
}

// Live instances by record, and the host that is inside VSTPluginMain right
// now (the plug-in calls back before its record reaches us).
std::map<AEffect*, FakeHost*>& hostsByEffect() {
  static std::map<AEffect*, FakeHost*> hosts;
  return hosts;
}
FakeHost* g_creating = nullptr;

}  // namespace

FakeHost::FakeHost() : FakeHost(Options{}) {}

FakeHost::FakeHost(const Options& options)
    : m_options(options), m_sampleRate(options.sampleRate), m_blockSize(options.blockSize) {
  stopTransport(120.0);
  g_creating = this;
  m_effect = pluginEntry()(&FakeHost::callback);
  g_creating = nullptr;
  if (m_effect == nullptr) return;
  hostsByEffect()[m_effect] = this;
  if (options.openAndConfigure) {
    dispatch(effOpen);
    setSampleRate(options.sampleRate);
    setBlockSize(options.blockSize);
  }
}

FakeHost::~FakeHost() {
  if (m_effect != nullptr) close();
}

VstIntPtr FakeHost::close() {
  if (m_effect == nullptr) return 0;
  AEffect* effect = m_effect;
  VstIntPtr result = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  hostsByEffect().erase(effect);
  m_effect = nullptr;
  return result;
}

VstIntPtr FakeHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
  return m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt);
}

void FakeHost::setParameter(int index, float value) {
  m_effect->setParameter(m_effect, index, value);
}

float FakeHost::getParameter(int index) { return m_effect->getParameter(m_effect, index); }

std::string FakeHost::queryString(VstInt32 opcode, VstInt32 index, VstIntPtr* answer) {
  // Far larger than any limit of the interface, so that a plug-in writing
  // a long literal text whole cannot corrupt the test.
  char text[512];
  std::memset(text, 0, sizeof(text));
  std::strcpy(text, kUntouched);
  VstIntPtr result = dispatch(opcode, index, 0, text);
  if (answer != nullptr) *answer = result;
  text[sizeof(text) - 1] = '\0';
  return text;
}

std::string FakeHost::parameterName(int index) { return queryString(effGetParamName, index); }
std::string FakeHost::parameterLabel(int index) { return queryString(effGetParamLabel, index); }
std::string FakeHost::parameterDisplay(int index) {
  return queryString(effGetParamDisplay, index);
}

std::vector<uint8_t> FakeHost::getChunk(bool preset) {
  void* data = nullptr;
  VstIntPtr size = dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
  if (size <= 0 || data == nullptr) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

VstIntPtr FakeHost::setChunk(const std::vector<uint8_t>& bytes, bool preset) {
  // Hand over a private copy, as a host does with its own buffer, so that
  // a plug-in keeping the pointer would show up under the sanitizers.
  std::vector<uint8_t> copy(bytes);
  return setChunk(copy.data(), static_cast<VstIntPtr>(copy.size()), preset);
}

VstIntPtr FakeHost::setChunk(const uint8_t* bytes, VstIntPtr size, bool preset) {
  return dispatch(effSetChunk, preset ? 1 : 0, size, const_cast<uint8_t*>(bytes));
}

void FakeHost::setSampleRate(float rate) {
  if (rate > 0.0f) m_sampleRate = rate;
  dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void FakeHost::setBlockSize(int frames) {
  if (frames > 0) m_blockSize = frames;
  dispatch(effSetBlockSize, 0, frames);
}

void FakeHost::playTransport(double tempo) {
  m_timeInfoAvailable = true;
  m_timeInfo = VstTimeInfo{};
  m_timeInfo.sampleRate = m_sampleRate;
  m_timeInfo.tempo = tempo;
  m_timeInfo.timeSigNumerator = 4;
  m_timeInfo.timeSigDenominator = 4;
  m_timeInfo.flags = kVstTransportChanged | kVstTransportPlaying | kVstPpqPosValid |
                     kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
}

void FakeHost::stopTransport(double tempo) {
  const bool wasPlaying = (m_timeInfo.flags & kVstTransportPlaying) != 0;
  m_timeInfoAvailable = true;
  m_timeInfo.sampleRate = m_sampleRate;
  m_timeInfo.tempo = tempo;
  m_timeInfo.timeSigNumerator = 4;
  m_timeInfo.timeSigDenominator = 4;
  m_timeInfo.flags = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid |
                     (wasPlaying ? kVstTransportChanged : 0);
}

void FakeHost::advanceTransport(int frames) {
  // The transport-changed flag is only reported for the block in which the
  // state changed.
  m_timeInfo.flags &= ~kVstTransportChanged;
  if ((m_timeInfo.flags & kVstTransportPlaying) == 0) return;
  m_timeInfo.samplePos += frames;
  m_timeInfo.ppqPos += frames * m_timeInfo.tempo / (60.0 * m_timeInfo.sampleRate);
}

void FakeHost::process(int frames, bool nullInputs) {
  const size_t n = frames > 0 ? static_cast<size_t>(frames) : 0;
  m_left.assign(n, kUnwritten);
  m_right.assign(n, kUnwritten);
  m_silentInput.assign(n + 1, 0.0f);
  float* outputs[2] = {m_left.data(), m_right.data()};
  float* inputs[2] = {m_silentInput.data(), m_silentInput.data()};
  m_timeInfo.sampleRate = m_sampleRate;
  m_effect->processReplacing(m_effect, nullInputs ? nullptr : inputs, outputs, frames);
  advanceTransport(frames);
  ++m_blockCounter;
}

VstIntPtr VST_CALL FakeHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                      VstIntPtr value, void* ptr, float opt) {
  FakeHost* host = nullptr;
  auto found = hostsByEffect().find(effect);
  if (found != hostsByEffect().end()) {
    host = found->second;
  } else {
    host = g_creating;
  }
  if (host == nullptr) {
    // A call from an instance that no FakeHost owns: answer as a 2.4 host
    // that supports nothing.
    return opcode == audioMasterVersion ? 2400 : 0;
  }
  return host->answer(opcode, index, value, ptr, opt);
}

VstIntPtr FakeHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                           float opt) {
  (void)value;
  switch (opcode) {
    case audioMasterVersion:
      return m_options.hostVersion;
    case audioMasterGetTime:
      ++m_getTimeCount;
      if (!m_timeInfoAvailable) return 0;
      return reinterpret_cast<VstIntPtr>(&m_timeInfo);
    case audioMasterProcessEvents: {
      const auto* events = static_cast<const VstEvents*>(ptr);
      if (events == nullptr) return 0;
      for (int i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = events->events[i];
        if (event == nullptr || event->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        m_sentMidi.push_back({m_blockCounter, midi->deltaFrames,
                              static_cast<uint8_t>(midi->midiData[0]),
                              static_cast<uint8_t>(midi->midiData[1]),
                              static_cast<uint8_t>(midi->midiData[2])});
      }
      return 1;
    }
    case audioMasterAutomate:
      m_automation.push_back({index, opt});
      return 0;
    case audioMasterUpdateDisplay:
      ++m_updateDisplayCount;
      return 1;
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(m_sampleRate);
    case audioMasterGetBlockSize:
      return m_blockSize;
    default:
      return 0;
  }
}

float chunkFloat(const std::vector<uint8_t>& chunk, size_t offset) {
  uint32_t bits = static_cast<uint32_t>(chunk.at(offset)) |
                  static_cast<uint32_t>(chunk.at(offset + 1)) << 8 |
                  static_cast<uint32_t>(chunk.at(offset + 2)) << 16 |
                  static_cast<uint32_t>(chunk.at(offset + 3)) << 24;
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

void putChunkFloat(std::vector<uint8_t>& chunk, size_t offset, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  for (int i = 0; i < 4; ++i) chunk.at(offset + i) = static_cast<uint8_t>(bits >> (8 * i));
}

}  // namespace vornix::test
