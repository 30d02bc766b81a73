#include "support/FakeHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace vornix::test {

namespace {

using PluginEntry = AEffect*(VST_CALL*)(audioMasterCallback);

// The module is loaded once per test process and never unloaded, as hosts
// commonly keep a plug-in library mapped for the life of the process.
PluginEntry pluginEntry() {
  static PluginEntry entry = [] {
    void* module = dlopen(VORNIX_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    void* symbol = module ? dlsym(module, "VSTPluginMain") : nullptr;
    if (symbol == nullptr) {
      std::fprintf(stderr, "no VSTPluginMain in %s: %s\n", VORNIX_PLUGIN_PATH, dlerror());
      std::abort();
    }
    PluginEntry found;
    static_assert(sizeof(found) == sizeof(symbol), "function and object pointers differ");
    std::memcpy(&found, &symbol, sizeof(found));
    return found;
  }();
  return entry;
}

// Live instances by record, and the host inside VSTPluginMain right now (the
// plug-in calls back before its record reaches us).
std::map<AEffect*, FakeHost*> g_hosts;
FakeHost* g_creating = nullptr;

}  // namespace

FakeHost::FakeHost(float sampleRate, VstIntPtr hostVersion) : m_rate(sampleRate), m_hostVersion(hostVersion) {
  stop();
  g_creating = this;
  m_effect = pluginEntry()(&FakeHost::callback);
  g_creating = nullptr;
  if (m_effect == nullptr) return;
  g_hosts[m_effect] = this;
  dispatch(effOpen);
  setSampleRate(sampleRate);
  setBlockSize(512);
}

VstIntPtr FakeHost::close() {
  if (m_effect == nullptr) return 0;
  const VstIntPtr result = dispatch(effClose);
  g_hosts.erase(m_effect);
  m_effect = nullptr;
  return result;
}

VstIntPtr FakeHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt);
}

std::string FakeHost::text(VstInt32 opcode, VstInt32 index, VstIntPtr* answer) {
  // Far larger than any limit of the interface, so that a plug-in writing a
  // long literal whole cannot corrupt the test.
  char buffer[512] = {};
  std::strcpy(buffer, kUntouched);
  const VstIntPtr result = dispatch(opcode, index, 0, buffer);
  if (answer != nullptr) *answer = result;
  buffer[sizeof(buffer) - 1] = '\0';
  return buffer;
}

std::vector<uint8_t> FakeHost::getChunk(bool preset) {
  uint8_t* data = nullptr;
  const VstIntPtr size = dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
  return data && size > 0 ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
}

VstIntPtr FakeHost::setChunk(std::vector<uint8_t> bytes, bool preset) {
  return dispatch(effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
}

void FakeHost::setSampleRate(float rate) {
  if (rate > 0.0f) m_rate = rate;
  dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void FakeHost::play(double tempo, double ppq) {
  setTransport(true, tempo);
  relocate(ppq);
}

void FakeHost::stop(double tempo) { setTransport(false, tempo); }

void FakeHost::setTransport(bool playing, double tempo) {
  const bool changed = playing || (m_timeInfo.flags & kVstTransportPlaying) != 0;
  m_timeInfoAvailable = true;
  m_timeInfo.tempo = tempo;
  m_timeInfo.timeSigNumerator = m_timeInfo.timeSigDenominator = 4;
  m_timeInfo.flags = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid |
                     (playing ? kVstTransportPlaying : 0) | (changed ? kVstTransportChanged : 0);
}

void FakeHost::relocate(double ppq) {
  m_timeInfo.ppqPos = ppq;
  m_timeInfo.samplePos = ppq * 60.0 * m_rate / m_timeInfo.tempo;
  m_timeInfo.flags |= kVstTransportChanged;
}

void FakeHost::sendMidi(const std::vector<MidiIn>& messages) {
  std::vector<VstMidiEvent> events;
  // VstEvents declares two pointers; the host allocates as many as it sends.
  std::vector<VstEvent*> list(2 + messages.size() + sizeof(VstEvents) / sizeof(VstEvent*));
  auto* header = reinterpret_cast<VstEvents*>(list.data());
  header->numEvents = static_cast<VstInt32>(messages.size());
  for (const MidiIn& m : messages) {
    // clang-format off
    events.push_back({kVstMidiType, sizeof(VstMidiEvent), m.deltaFrames, kVstMidiEventIsRealtime, 0, 0,
                      {char(m.status), char(m.data1), char(m.data2), 0}, 0, 0, 0, 0});
    // clang-format on
  }
  for (size_t i = 0; i < events.size(); ++i) header->events[i] = reinterpret_cast<VstEvent*>(&events[i]);
  dispatch(effProcessEvents, 0, 0, header);
}

void FakeHost::render(int frames, int blocks, bool nullInputs) {
  for (int b = 0; b < blocks; ++b) {
    const size_t start = m_left.size();
    m_blockStart = static_cast<int64_t>(start);
    m_left.resize(start + frames, kUnwritten);
    m_right.resize(start + frames, kUnwritten);
    std::vector<float> silence(frames + 1, 0.0f);
    float* outputs[2] = {m_left.data() + start, m_right.data() + start};
    float* inputs[2] = {silence.data(), silence.data()};
    m_timeInfo.sampleRate = m_rate;
    m_effect->processReplacing(m_effect, nullInputs ? nullptr : inputs, outputs, frames);
    // The transport-changed flag is reported only for the block in which the
    // state changed.
    m_timeInfo.flags &= ~kVstTransportChanged;
    if (m_timeInfo.flags & kVstTransportPlaying) {
      m_timeInfo.samplePos += frames;
      m_timeInfo.ppqPos += frames * m_timeInfo.tempo / (60.0 * m_rate);
    }
    ++m_blocks;
  }
}

void FakeHost::renderFrames(int64_t frames, int blockFrames) {
  for (; frames > 0; frames -= blockFrames) render(static_cast<int>(std::min<int64_t>(frames, blockFrames)));
}

std::vector<HeardMidi> FakeHost::noteOns() const {
  std::vector<HeardMidi> out;
  std::copy_if(m_sent.begin(), m_sent.end(), std::back_inserter(out),
               [](const HeardMidi& m) { return m.on(); });
  return out;
}

bool FakeHost::allKeysReleased() const {
  return std::all_of(m_sent.begin(), m_sent.end(),
                     [&](const HeardMidi& m) { return !m.on() || firstOffAfter(m.key, m.at); });
}

std::optional<HeardMidi> FakeHost::firstOffAfter(int key, int64_t from) const {
  for (const HeardMidi& m : m_sent) {
    if (m.off() && m.key == key && m.at >= from) return m;
  }
  return std::nullopt;
}

double FakeHost::rms(int64_t from, int64_t length) const {
  double sum = 0.0;
  for (int64_t i = from; i < from + length; ++i) sum += double(m_left.at(i)) * m_left[i];
  return std::sqrt(sum / static_cast<double>(length));
}

double FakeHost::peak(int64_t from, int64_t length) const {
  double p = 0.0;
  for (int64_t i = from; i < from + length; ++i) {
    for (float v : {std::fabs(m_left.at(i)), std::fabs(m_right[i])}) p = v <= p ? p : v;
  }
  return p;
}

double FakeHost::period(int64_t from, int64_t length, int minLag, int maxLag) const {
  const float* x = &m_left.at(from + length - 1) - (length - 1);
  const int n = static_cast<int>(length);
  std::vector<double> values(maxLag + 1, 0.0);
  for (int lag = minLag; lag <= maxLag; ++lag) {
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (int i = 0; i + lag < n; ++i) {
      xy += double(x[i]) * x[i + lag];
      xx += double(x[i]) * x[i];
      yy += double(x[i + lag]) * x[i + lag];
    }
    values[lag] = (xx > 0.0 && yy > 0.0) ? xy / std::sqrt(xx * yy) : 0.0;
  }
  return static_cast<double>(std::max_element(values.begin() + minLag, values.begin() + maxLag + 1) -
                             values.begin());
}

VstIntPtr VST_CALL FakeHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr,
                                      void* ptr, float opt) {
  const auto found = g_hosts.find(effect);
  FakeHost* host = found != g_hosts.end() ? found->second : g_creating;
  // A call from an instance no FakeHost owns: a 2.4 host that supports nothing.
  if (host == nullptr) return opcode == audioMasterVersion ? 2400 : 0;
  switch (opcode) {
    case audioMasterVersion:
      return host->m_hostVersion;
    case audioMasterGetTime:
      return host->m_timeInfoAvailable ? reinterpret_cast<VstIntPtr>(&host->m_timeInfo) : 0;
    case audioMasterProcessEvents: {
      const auto* events = static_cast<const VstEvents*>(ptr);
      for (int i = 0; events != nullptr && i < events->numEvents; ++i) {
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(events->events[i]);
        if (midi == nullptr || midi->type != kVstMidiType) continue;
        const auto byte = [&](int k) { return static_cast<uint8_t>(midi->midiData[k]); };
        host->m_sent.push_back({host->m_blockStart + midi->deltaFrames, host->m_blocks, midi->deltaFrames,
                                byte(0), byte(1), byte(2)});
      }
      return 1;
    }
    case audioMasterAutomate:
      host->m_automation.push_back({index, opt});
      return 0;
    default:
      return 0;
  }
}

ChunkImage ChunkImage::factory() {
  // clang-format off
  ChunkImage image{{1.0f, 0.0f, 0.5f, 0.09375f, 0.919375f, 0.170625f, 0.9f, 0.304375f,  // Volume .. Accent
                    0.5f, 0.0f, 15.0f / 63.0f, 1.0f, 0.0f, 1.0f, 0.0f,  // Gate .. 16 steps, AUTO .. pattern 0
                    0.0f, 1.0f, 0.0f, 0.5f, 0.3f, 0.3f, 0.5f,  // delay off, synced, no ping-pong, time ..
                    0.0f, 0.0f, 0.0f, 0.5f,                    // distortion off, Overdrive, prm1, prm2
                    0.0f, 80.0f / 260.0f, 0.0f},               // host sync, 120 BPM, not recording
                   {}};
  // clang-format on
  for (int i = 0; i < 64; ++i) {
    image.patterns.push_back(
        {uint8_t(i), std::vector<ChunkStep>(16, {25, 0, 0}), "pattern " + std::to_string(i + 1)});
  }
  for (int s = 0; s < 16; ++s)
    image.patterns[0].steps[s] = {kFactoryNotes[s], kFactorySlide[s], kFactoryAccent[s]};
  return image;
}

std::vector<uint8_t> ChunkImage::bytes() const {
  std::vector<uint8_t> out(120, 0);
  out[0] = 2;
  out[2] = 29;
  for (int i = 0; i < 29; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &params[i], 4);
    for (int b = 0; b < 4; ++b) out[3 + 4 * i + b] = static_cast<uint8_t>(bits >> (8 * b));
  }
  out[119] = static_cast<uint8_t>(patterns.size());
  for (const Record& p : patterns) {
    out.insert(out.end(), {p.index, static_cast<uint8_t>(p.steps.size())});
    for (const ChunkStep& s : p.steps)
      out.insert(out.end(), {uint8_t(s.note), uint8_t(s.slide), uint8_t(s.accent)});
    out.push_back(static_cast<uint8_t>(p.name.size()));
    out.insert(out.end(), p.name.begin(), p.name.end());
    out.resize(out.size() + 127 - p.name.size(), 0);
  }
  return out;
}

}  // namespace vornix::test
