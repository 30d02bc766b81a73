#include "support/ScriptedHost.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vornix::test {

void ScriptedHost::sendMidi(const std::vector<MidiIn>& messages) {
  std::vector<VstMidiEvent> events(messages.size());
  // VstEvents declares two pointers; the host allocates as many as it sends.
  const size_t pointerSlots = std::max<size_t>(messages.size(), 2);
  std::vector<uint8_t> storage(sizeof(VstEvents) + pointerSlots * sizeof(VstEvent*));
  auto* list = reinterpret_cast<VstEvents*>(storage.data());
  list->numEvents = static_cast<VstInt32>(messages.size());
  list->reserved = 0;
  for (size_t i = 0; i < messages.size(); ++i) {
    VstMidiEvent& e = events[i];
    e = VstMidiEvent{};
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent);
    e.deltaFrames = messages[i].deltaFrames;
    e.flags = kVstMidiEventIsRealtime;
    e.midiData[0] = static_cast<char>(messages[i].status);
    e.midiData[1] = static_cast<char>(messages[i].data1);
    e.midiData[2] = static_cast<char>(messages[i].data2);
    list->events[i] = reinterpret_cast<VstEvent*>(&e);
  }
  dispatch(effProcessEvents, 0, 0, list);
}

void ScriptedHost::render(int frames, int blocks) {
  for (int b = 0; b < blocks; ++b) {
    const int index = blocksProcessed();
    if (static_cast<int>(m_blockStarts.size()) <= index) m_blockStarts.resize(index + 1, -1);
    m_blockStarts[index] = recordedFrames();
    process(frames);
    m_recLeft.insert(m_recLeft.end(), left().begin(), left().end());
    m_recRight.insert(m_recRight.end(), right().begin(), right().end());
  }
}

void ScriptedHost::renderFrames(int64_t frames, int blockFrames) {
  while (frames > 0) {
    const int n = static_cast<int>(std::min<int64_t>(frames, blockFrames));
    render(n);
    frames -= n;
  }
}

void ScriptedHost::relocate(double ppq) {
  timeInfo().ppqPos = ppq;
  timeInfo().samplePos = ppq * 60.0 * timeInfo().sampleRate / timeInfo().tempo;
  timeInfo().flags |= kVstTransportChanged;
}

int64_t ScriptedHost::blockStart(int block) const {
  if (block < 0 || block >= static_cast<int>(m_blockStarts.size())) return -1;
  return m_blockStarts[block];
}

std::vector<HeardNote> ScriptedHost::noteOns() const {
  std::vector<HeardNote> out;
  for (const SentMidi& m : sentMidi()) {
    if ((m.status & 0xF0) == 0x90 && m.data2 != 0 && blockStart(m.block) >= 0) {
      out.push_back({blockStart(m.block) + m.deltaFrames, m.block, m.deltaFrames, m.data1,
                     m.data2});
    }
  }
  return out;
}

std::vector<HeardNote> ScriptedHost::noteOffs() const {
  std::vector<HeardNote> out;
  for (const SentMidi& m : sentMidi()) {
    const bool off = (m.status & 0xF0) == 0x80 || ((m.status & 0xF0) == 0x90 && m.data2 == 0);
    if (off && blockStart(m.block) >= 0) {
      out.push_back({blockStart(m.block) + m.deltaFrames, m.block, m.deltaFrames, m.data1, 0});
    }
  }
  return out;
}

std::vector<int> ScriptedHost::keysStillOn() const {
  bool held[128] = {};
  for (const SentMidi& m : sentMidi()) {
    const int kind = m.status & 0xF0;
    if (kind == 0x90 && m.data2 != 0) held[m.data1 & 0x7F] = true;
    if (kind == 0x80 || (kind == 0x90 && m.data2 == 0)) held[m.data1 & 0x7F] = false;
  }
  std::vector<int> keys;
  for (int k = 0; k < 128; ++k) {
    if (held[k]) keys.push_back(k);
  }
  return keys;
}

std::optional<HeardNote> ScriptedHost::firstOffAfter(int key, int64_t from) const {
  for (const HeardNote& n : noteOffs()) {
    if (n.key == key && n.at >= from) return n;
  }
  return std::nullopt;
}

double ScriptedHost::rms(int64_t from, int64_t length) const {
  if (from < 0 || length <= 0 || from + length > recordedFrames()) {
    throw std::out_of_range("rms window outside the recording");
  }
  double sum = 0.0;
  for (int64_t i = from; i < from + length; ++i) sum += double(m_recLeft[i]) * m_recLeft[i];
  return std::sqrt(sum / static_cast<double>(length));
}

double ScriptedHost::peak(int64_t from, int64_t length) const {
  if (from < 0 || length <= 0 || from + length > recordedFrames()) {
    throw std::out_of_range("peak window outside the recording");
  }
  double p = 0.0;
  for (int64_t i = from; i < from + length; ++i) p = std::max(p, double(std::fabs(m_recLeft[i])));
  return p;
}

double ScriptedHost::period(int64_t from, int64_t length, int minLag, int maxLag) const {
  if (from < 0 || length <= maxLag + 1 || from + length > recordedFrames()) {
    throw std::out_of_range("period window outside the recording");
  }
  const float* x = m_recLeft.data() + from;
  const int n = static_cast<int>(length);
  auto correlation = [&](int lag) {
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (int i = 0; i + lag < n; ++i) {
      xy += double(x[i]) * x[i + lag];
      xx += double(x[i]) * x[i];
      yy += double(x[i + lag]) * x[i + lag];
    }
    return (xx > 0.0 && yy > 0.0) ? xy / std::sqrt(xx * yy) : 0.0;
  };
  int best = minLag;
  double bestValue = -2.0;
  std::vector<double> values(maxLag + 2, 0.0);
  for (int lag = minLag - 1; lag <= maxLag + 1; ++lag) values[lag] = correlation(lag);
  for (int lag = minLag; lag <= maxLag; ++lag) {
    if (values[lag] > bestValue) {
      bestValue = values[lag];
      best = lag;
    }
  }
  // Parabola through the peak and its neighbours.
  const double a = values[best - 1], b = values[best], c = values[best + 1];
  const double denom = a - 2.0 * b + c;
  const double shift = denom != 0.0 ? 0.5 * (a - c) / denom : 0.0;
  return best + std::clamp(shift, -0.5, 0.5);
}

void ScriptedHost::forgetRecording() {
  m_recLeft.clear();
  m_recRight.clear();
  m_blockStarts.clear();
}

size_t patternRecord(const std::vector<uint8_t>& chunk, int index) {
  if (chunk.size() < 120) return 0;
  size_t at = 120;
  for (int r = 0; r < chunk[119] && at + 2 <= chunk.size(); ++r) {
    const size_t n = chunk[at + 1];
    if (chunk[at] == index) return at;
    at += 130 + 3 * n;
  }
  return 0;
}

int patternLength(const std::vector<uint8_t>& chunk, int index) {
  const size_t at = patternRecord(chunk, index);
  if (at == 0) throw std::out_of_range("no such pattern record");
  return chunk[at + 1];
}

ChunkStep chunkStep(const std::vector<uint8_t>& chunk, int pattern, int step) {
  const size_t at = patternRecord(chunk, pattern);
  if (at == 0 || step < 0 || step >= chunk[at + 1]) throw std::out_of_range("no such step");
  const size_t s = at + 2 + 3 * static_cast<size_t>(step);
  return {chunk[s], chunk[s + 1], chunk[s + 2]};
}

void setChunkStep(std::vector<uint8_t>& chunk, int pattern, int step, ChunkStep value) {
  const size_t at = patternRecord(chunk, pattern);
  if (at == 0 || step < 0 || step >= chunk[at + 1]) throw std::out_of_range("no such step");
  const size_t s = at + 2 + 3 * static_cast<size_t>(step);
  chunk[s] = static_cast<uint8_t>(value.note);
  chunk[s + 1] = static_cast<uint8_t>(value.slide);
  chunk[s + 2] = static_cast<uint8_t>(value.accent);
}

}  // namespace vornix::test
