// The host's audio callback: engine, host tempo, distortion with its two
// crossfades, delay and the smoothed output volume, in that order.
#include <xmmintrin.h>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "editorbridge/Krennet3Editor.h"
#include "plugin/Tolvane.h"

namespace {
constexpr double kLowRateLimit = 22050.0;
constexpr double kEngineRate = 44100.0;
}  // namespace

namespace {

// Decaying filter tails would otherwise reach denormal floats, which cost
// many times a normal operation; the host's own setting comes back after the
// block.
class FlushDenormals {
 public:
  FlushDenormals() : m_saved(_mm_getcsr()) { _mm_setcsr(m_saved | kFlushToZero | kDenormalsAreZero); }
  ~FlushDenormals() { _mm_setcsr(m_saved); }
  FlushDenormals(const FlushDenormals&) = delete;
  FlushDenormals& operator=(const FlushDenormals&) = delete;

 private:
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;
  unsigned m_saved;
};

}  // namespace

void Tolvane::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
  if (!outputs || !outputs[0] || !outputs[1] || frames <= 0) return;
  if (!m_ownership.tryEnterAudio()) {
    // The editor bridge is applying a request that must not meet a block
    // (an import): this block stays silent rather than wait.
    std::memset(outputs[0], 0, sizeof(float) * static_cast<size_t>(frames));
    std::memset(outputs[1], 0, sizeof(float) * static_cast<size_t>(frames));
    return;
  }
  const FlushDenormals flushDenormals;
  if (!m_midiBacklog.empty()) {
    m_engine.beginNoteEvents();
    replayMidiBacklog();
  }
  // The editor's requests since the last block, before anything reads the
  // state they change.
  if (m_bridge) m_bridge->serveRequests();
  if (m_sampleRate < kLowRateLimit)
    renderLowRate(outputs, frames);
  else
    renderEngine(inputs, outputs, frames);
  applyHostTempo();
  m_sharedBlock.writeTempo(m_seq.m_hostTempo);
  m_sharedBlock.writeHostPlaying(m_seq.m_hostPlaying);
  processDistortionStage(outputs, frames);
  m_delay.process(outputs, frames);
  processGlobalVolume(outputs, frames);
  m_ownership.leaveAudio();
}

EngineParameters Tolvane::engineParameters() const {
  EngineParameters parameters;
  parameters.voice.waveform = m_waveform;
  parameters.voice.tuning = m_tuning;
  parameters.voice.cutoff = m_cutoff;
  parameters.voice.resonance = m_resonance;
  parameters.voice.envMod = m_envMod;
  parameters.voice.decay = m_decay;
  parameters.voice.accent = m_accent;
  parameters.voice.antialias = m_antialias;
  parameters.gate = m_gate;
  parameters.slideSamples = m_slideSamples;
  parameters.recording = m_recording;
  return parameters;
}

void Tolvane::renderEngine(float**, float** outputs, int frames) {
  m_engine.processKrennet(outputs[0], outputs[1], frames, m_sampleRate, engineParameters());
}

bool Tolvane::engineTransport(TransportInfo& info) {
  const VstTimeInfo* time =
      getTimeInfo(kVstTransportChanged | kVstTransportPlaying | kVstTransportCycleActive | kVstPpqPosValid |
                  kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid);
  if (!time) return false;
  info.sampleRate = time->sampleRate;
  info.ppq = time->ppqPos;
  info.tempo = time->tempo;
  info.ppqValid = (time->flags & kVstPpqPosValid) != 0;
  info.tempoValid = (time->flags & kVstTempoValid) != 0;
  info.changed = (time->flags & kVstTransportChanged) != 0;
  info.playing = (time->flags & kVstTransportPlaying) != 0;
  return true;
}

void Tolvane::engineSendMidi(const OutgoingMidi* events, int count) {
  count = std::min(count, static_cast<int>(MidiOutput::kMaxEvents));
  for (int i = 0; i < count; ++i) {
    VstMidiEvent& event = m_outMidi[i];
    event.deltaFrames = events[i].deltaFrames;
    event.midiData[0] = static_cast<char>(events[i].data[0]);
    event.midiData[1] = static_cast<char>(events[i].data[1]);
    event.midiData[2] = static_cast<char>(events[i].data[2]);
  }
  m_outEvents.numEvents = count;
  if (count > 0) sendVstEventsToHost(reinterpret_cast<VstEvents*>(&m_outEvents));
}

void Tolvane::renderLowRate(float** outputs, int frames) {
  // Below 22050 Hz the engine runs at 44100 Hz into the side buffer, which
  // is read back at the host rate with linear interpolation. Blocks larger
  // than announced are rendered in pieces that fit the buffer.
  const double ratio = m_sampleRate > 0.0f ? kEngineRate / m_sampleRate : 1.0;
  const int piece = std::max(
      1,
      std::min(frames, m_lowRateCapacity > 0 ? static_cast<int>(m_lowRateCapacity / std::ceil(ratio)) : 0));
  float* buffer = m_lowRateBuffer.get();
  for (int start = 0; start < frames; start += piece) {
    const int n = std::min(piece, frames - start);
    const int count = std::min(static_cast<int>(std::ceil(n * ratio)), m_lowRateCapacity);
    if (!buffer || count <= 0) {
      std::memset(outputs[0] + start, 0, sizeof(float) * static_cast<size_t>(n));
      std::memset(outputs[1] + start, 0, sizeof(float) * static_cast<size_t>(n));
      continue;
    }
    std::memset(buffer, 0, sizeof(float) * static_cast<size_t>(m_lowRateCapacity));
    m_engine.processKrennet2(buffer, count, n, engineParameters());
    for (int i = 0; i < n; ++i) {
      const double p = i * ratio;
      const int k = std::min(static_cast<int>(p), count - 1);
      const float value =
          k + 1 < count ? static_cast<float>(buffer[k] + (p - k) * (buffer[k + 1] - buffer[k])) : buffer[k];
      outputs[0][start + i] = value;
      outputs[1][start + i] = value;
    }
  }
}

void Tolvane::applyHostTempo() {
  const VstTimeInfo* info = getTimeInfo(kVstPpqPosValid | kVstTempoValid);
  // No record, no valid tempo, or a tempo that is not a positive finite
  // number: keep the previous tempo and position.
  if (!info || !(info->flags & kVstTempoValid)) return;
  const double tempo = info->tempo;
  if (!(tempo > 0.0) || !std::isfinite(tempo)) return;
  if (tempo != m_seq.m_hostTempo && m_seq.m_syncType == kSyncHost) {
    m_delay.setSamplePerBeat(tempo, m_sampleRate);
    m_delay.update();
    if ((info->flags & kVstPpqPosValid) && std::isfinite(info->ppqPos))
      m_seq.m_samplePosition = m_seq.m_samplesPerBeat * info->ppqPos;
  }
  m_seq.m_hostTempo = tempo;
}

void Tolvane::processDistortionStage(float** outputs, int frames) {
  // The flags are read once per block. Blocks longer than the crossfade
  // buffers are handled in equal segments, each at least half the buffer
  // long, so the 64-sample fades at the block's ends fit in one segment and
  // the algorithm crossfade spans the whole block.
  const bool distoOn = m_distoOn != 0.0f;
  const bool toggled = m_distoToggled;
  const bool algorithmChange = m_disto.m_distoAlgorithmChanged && distoOn;
  if (!toggled && !distoOn) return;

  const int segments = (frames + kCrossfadeCapacity - 1) / kCrossfadeCapacity;
  const int segmentLength = (frames + segments - 1) / segments;
  for (int start = 0; start < frames; start += segmentLength) {
    const int count = std::min(segmentLength, frames - start);
    float* segment[2] = {outputs[0] + start, outputs[1] + start};
    if (algorithmChange)
      std::memcpy(m_crossfadeA.get(), segment[0], sizeof(float) * static_cast<size_t>(count));
    if (toggled)
      processCrossfade(segment, count, start, frames);
    else
      m_disto.processDisto(segment, count);
    if (algorithmChange) processCrossfade2(segment, count, start, frames);
  }
  if (toggled) m_distoToggled = false;
  if (algorithmChange) m_disto.m_distoAlgorithmChanged = false;
}

void Tolvane::processCrossfade(float** segment, int count, int start, int frames) {
  const int len = std::min(frames, kFadeLength);
  const bool switchedOn = m_distoOn != 0.0f;
  // Block positions of the fade: the first len samples when switching on,
  // the last len when switching off.
  const int fadeStart = switchedOn ? 0 : frames - len;
  const int from = std::max(fadeStart, start);
  const int to = std::min(fadeStart + len, start + count);
  for (int p = from; p < to; ++p) m_fadeBuffer[static_cast<size_t>(p - fadeStart)] = segment[0][p - start];
  m_disto.processDisto(segment, count);
  for (int p = from; p < to; ++p) {
    const int i = p - fadeStart;
    const float g = 1.0f - static_cast<float>(i) / static_cast<float>(len);
    float& sample = segment[0][p - start];
    const float saved = m_fadeBuffer[static_cast<size_t>(i)];
    sample = switchedOn ? (1.0f - g) * sample + g * saved : g * sample + (1.0f - g) * saved;
  }
  std::memcpy(segment[1], segment[0], sizeof(float) * static_cast<size_t>(count));
}

void Tolvane::processCrossfade2(float** segment, int count, int start, int frames) {
  // The saved dry copy goes through the previous algorithm; the block then
  // fades from that sound to the new one.
  const int current = m_disto.m_distoAlgorithm;
  m_disto.m_distoAlgorithm = m_disto.m_previousDistoAlgorithm;
  float* pair[2] = {m_crossfadeA.get(), m_crossfadeB.get()};
  m_disto.processDisto(pair, count);
  m_disto.m_distoAlgorithm = current;
  for (int i = 0; i < count; ++i) {
    const float g = 1.0f - static_cast<float>(start + i) / static_cast<float>(frames);
    const float old = m_crossfadeA[static_cast<size_t>(i)];
    segment[0][i] = (1.0f - g) * segment[0][i] + g * old;
    segment[1][i] = (1.0f - g) * segment[1][i] + g * old;
  }
}

void Tolvane::processGlobalVolume(float** outputs, int frames) {
  // The smoother advances twice per frame, once per channel. Once a step
  // leaves it where it was it has reached its fixed point for this target
  // and stays there, so the rest of the block takes one constant gain. The
  // volume and gain are read once per block.
  float* left = outputs[0];
  float* right = outputs[1];
  CParamSmooth smoother = m_volumeSmoother;
  const float target = m_volume, globalGain = m_globalGain;
  int i = 0;
  for (; i < frames; ++i) {
    const float before = smoother.z;
    left[i] = smoother.process(target) * globalGain * left[i];
    const bool settled = smoother.z == before;
    right[i] = smoother.process(target) * globalGain * right[i];
    if (settled) {
      ++i;
      break;
    }
  }
  const float gain = smoother.z * globalGain;
  for (; i < frames; ++i) {
    left[i] = gain * left[i];
    right[i] = gain * right[i];
  }
  m_volumeSmoother = smoother;
}
