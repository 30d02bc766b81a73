// The parameter table: what each of the 29 normalised values means, the
// internal values derived from it, and how it is displayed.
#include <cmath>
#include <cstring>

#include "plugin/DisplayFormat.h"
#include "plugin/Tolvane.h"

namespace {

constexpr int kDisplayLength = 8;

// Parameter values are normalised. A host, the editor or a file can still
// send NaN, infinities or values outside 0..1; every formula below assumes
// 0..1 (a larger "NB STEP" would ask for more than 64 steps, a negative
// tempo would later divide by zero), so the value is clamped first.
float normalised(float value) {
  if (std::isnan(value)) return 0.0f;
  if (value < 0.0f) return 0.0f;
  if (value > 1.0f) return 1.0f;
  return value;
}

float switchValue(float value) { return value >= 0.5f ? 1.0f : 0.0f; }

void writeText(char* text, const char* literal) { std::strcpy(text, literal); }

const char* onOff(float value) { return value >= 0.5f ? "ON" : "OFF"; }

}  // namespace

void Tolvane::setParameter(VstInt32 index, float value) {
  if (index < 0 || index >= kNumParameters) return;
  const float v = normalised(value);
  switch (index) {
    case kVolume:
      m_volume = v;
      break;
    case kWaveform:
      setWaveform(v);
      break;
    case kTuning:
      m_tuning = v;
      break;
    case kCutOff:
      m_cutoff = v;
      break;
    case kResonance:
      m_resonance = v;
      break;
    case kEnvMod:
      m_envMod = v;
      break;
    case kDecay:
      m_decay = v;
      break;
    case kAccent:
      m_accent = v;
      break;
    case kGate:
      setGate(v);
      break;
    case kGroove:
      m_groove = v;
      m_seq.setShuffle(v * 0.09375);
      break;
    case kNbStep:
      if (Pattern* pattern = m_seq.getCurrentPattern()) {
        pattern->setNBStep(static_cast<int>(63.0f * v) + 1);
        m_seq.setStepLength();
      }
      updatePatternData();
      editorUpdateDisplay();
      break;
    case kPattSync:
      m_seq.setPatternSync(v);
      break;
    case kSlideTime:
      setSlideTime(v);
      break;
    case kAntialias:
      break;  // the band-limited oscillator is always on
    case kTriggerPattern:
      m_seq.triggerPatternFromParameter(v);
      break;
    case kDelayOn:
      m_delayOn = switchValue(v);
      m_delay.setActive(m_delayOn != 0.0f);
      break;
    case kDelaySync:
      m_delaySync = switchValue(v);
      m_delay.setSync(m_delaySync != 0.0f);
      break;
    case kDelayPing:
      m_delayPing = switchValue(v);
      m_delay.setPingPong(m_delayPing != 0.0f);
      break;
    case kDelayTime:
      m_delayTime = v;
      m_delay.setTimeF(v);
      break;
    case kDelayVolume:
      m_delayVolume = v;
      m_delay.setVolume(v);
      break;
    case kDelayFeedback:
      m_delayFeedback = v;
      m_delay.setFeedback(v);
      break;
    case kDelayFilter:
      m_delayFilter = v;
      m_delay.setTune(v);
      break;
    case kDisto: {
      const float on = switchValue(v);
      if (on != m_distoOn) m_distoToggled = true;
      m_distoOn = on;
      break;
    }
    case kDistSel:
      m_distoSelect = v;
      m_disto.setDisto(v);
      break;
    case kDistParam1:
      m_disto.setDistoParam1(v);
      m_distoParam1 = v;
      break;
    case kDistParam2:
      m_disto.setDistoParam2(v);
      m_distoParam2 = v;
      break;
    case kSyncTypeParam:
      m_seq.setSyncType(v);
      break;
    case kInternalTempo:
      setInternalTempo(v);
      break;
    case kRecord:
      m_recording = v >= 0.5f;
      break;
    default:
      break;
  }
  publishParameter(index, v);
}

void Tolvane::setWaveform(float value) {
  const float waveform = value < 0.5f ? 0.0f : 1.0f;
  if (waveform == m_waveform) return;
  m_waveform = waveform;
  m_engine.setWaveform(waveform != 0.0f);
}

void Tolvane::setGate(float value) {
  m_gate = value;
  // Integer arithmetic as the engine uses it every block: with 22050 samples
  // per beat the offset runs from +2204 (gate 0) through 0 to -2204 (gate 1).
  const int span = ((m_seq.m_samplesPerBeat / 4) * 2) / 5;
  m_engine.m_gateOffset = static_cast<int>(-(2.0f * value - 1.0f) * static_cast<float>(span));
}

void Tolvane::setSlideTime(float value) {
  m_slideTimeValue = value;
  m_slideSamples = static_cast<int>(value * value * value * 60000.0f + 5512.0f);
}

void Tolvane::setInternalTempo(float value) {
  m_seq.m_internalTempo = std::roundf(260.0f * value + 40.0f);
  if (m_seq.m_syncType == kSyncInternal) {
    m_delay.setSamplePerBeat(m_seq.m_internalTempo, m_sampleRate);
    m_delay.update();
  }
}

float Tolvane::getParameter(VstInt32 index) {
  switch (index) {
    case kVolume: return m_volume;
    case kWaveform: return m_waveform;
    case kTuning: return m_tuning;
    case kCutOff: return m_cutoff;
    case kResonance: return m_resonance;
    case kEnvMod: return m_envMod;
    case kDecay: return m_decay;
    case kAccent: return m_accent;
    case kGate: return m_gate;
    case kGroove: return m_groove;
    case kNbStep: {
      const Pattern* pattern = m_seq.getCurrentPattern();
      return pattern ? static_cast<float>(pattern->getNBStep() - 1) / 63.0f : 0.0f;
    }
    case kPattSync: return m_seq.m_patternSyncValue;
    case kSlideTime: return m_slideTimeValue;
    case kAntialias: return m_antialias;
    case kTriggerPattern: return static_cast<float>(m_seq.m_nextPatternIndex) * 0.03125f;
    case kDelayOn: return m_delayOn;
    case kDelaySync: return m_delaySync;
    case kDelayPing: return m_delayPing;
    case kDelayTime: return m_delayTime;
    case kDelayVolume: return m_delayVolume;
    case kDelayFeedback: return m_delayFeedback;
    case kDelayFilter: return m_delayFilter;
    case kDisto: return m_distoOn;
    case kDistSel: return m_distoSelect;
    case kDistParam1: return m_distoParam1;
    case kDistParam2: return m_distoParam2;
    case kSyncTypeParam: return m_seq.m_syncTypeValue;
    case kInternalTempo: return static_cast<float>((m_seq.m_internalTempo - 40.0) / 260.0);
    case kRecord: return m_recording ? 1.0f : 0.0f;
    default: return 0.0f;
  }
}

void Tolvane::getParameterName(VstInt32 index, char* text) { writeText(text, parameterName(index)); }

void Tolvane::getParameterLabel(VstInt32 index, char* label) { writeText(label, parameterLabel(index)); }

void Tolvane::getParameterDisplay(VstInt32 index, char* text) {
  const int n = kDisplayLength;
  switch (index) {
    case kVolume:
      dB2string(m_volume, text, n);
      break;
    case kWaveform:
      writeText(text, m_waveform == 0.0f ? "saw" : "square");
      break;
    case kTuning:
      float2string(m_tuning, text, n);
      break;
    case kCutOff:
    case kEnvMod:
    case kDecay:
    case kAccent:
    case kGroove:
    case kDelayFeedback:
    case kDistParam1:
    case kDistParam2:
      int2string(static_cast<long long>(100.0f * getParameter(index)), text, n);
      break;
    case kResonance:
      float2string(m_resonance, text, n);
      break;
    case kGate:
      ms2string(static_cast<float>(static_cast<int>(m_seq.m_samplesPerStep) - m_engine.m_gateOffset), m_sampleRate, text, n);
      break;
    case kNbStep: {
      const Pattern* pattern = m_seq.getCurrentPattern();
      int2string(pattern ? pattern->getNBStep() : 0, text, n);
      break;
    }
    case kPattSync:
      m_seq.setPatternSyncDisplay(text);
      break;
    case kSlideTime:
      ms2string(static_cast<float>(m_slideSamples), m_sampleRate, text, n);
      break;
    case kAntialias:
      writeText(text, m_antialias != 0.0f ? "ON" : "OFF");
      break;
    case kTriggerPattern:
      int2string(m_seq.m_nextPatternIndex + 1, text, n);
      break;
    case kDelayOn:
      writeText(text, onOff(m_delayOn));
      break;
    case kDelaySync:
      writeText(text, onOff(m_delaySync));
      break;
    case kDelayPing:
      writeText(text, onOff(m_delayPing));
      break;
    case kDisto:
      writeText(text, onOff(m_distoOn));
      break;
    case kDelayTime: {
      const long long product = static_cast<long long>(m_delay.getLength()) * 1000LL;
      int2string(static_cast<long long>(static_cast<float>(product) / m_sampleRate), text, n);
      break;
    }
    case kDelayVolume:
      dB2string(m_delayVolume, text, n);
      break;
    case kDelayFilter:
      int2string(static_cast<long long>((2.0f * m_delayFilter - 1.0f) * 100.0f), text, n);
      break;
    case kDistSel: {
      static const char* const names[] = {"Overdrive", "ClipInferno", "HotFuzz", "Ultracrunch"};
      const int algorithm = m_disto.m_distoAlgorithm;
      if (algorithm >= 0 && algorithm < DistortionUnit::kNumAlgorithms) writeText(text, names[algorithm]);
      break;
    }
    default:
      break;  // indices 26 and above show nothing
  }
}
