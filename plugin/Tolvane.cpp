#include "plugin/Tolvane.h"

#include "editorbridge/Krennet3Editor.h"
#include "engine/Tables.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// The factory bass line of pattern 0: note, slide, accent per step.
struct FactoryStep {
  int note;
  bool slide;
  bool accent;
};
constexpr FactoryStep kFactoryLine[16] = {
    {13, false, false}, {15, true, true},   {15, false, false}, {14, false, true},
    {12, true, false},  {16, false, false}, {15, false, false}, {14, false, false},
    {16, false, false}, {13, true, false},  {8, false, true},   {16, false, true},
    {12, false, false}, {16, false, false}, {18, true, false},  {12, false, true},
};

void copyText(char* destination, const char* text, size_t capacity) {
  std::strncpy(destination, text, capacity - 1);
  destination[capacity - 1] = 0;
}

constexpr double kLowRateLimit = 22050.0;
constexpr double kEngineRate = 44100.0;

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback host) { return new Tolvane(host); }

Tolvane::Tolvane(audioMasterCallback host) : AudioEffectX(host, 1, kNumParameters) {
  m_instanceNumber = m_instanceLock.number();
  m_sharedBlock.create(m_instanceNumber);
  m_seq.setListener(this);
  m_patternEditor.setListener(this);
  m_recorder.setListener(this);
  initFunTab1();
  initFunTab2();

  // Every outgoing event record is set up once; only the offset and the
  // three data bytes change afterwards.
  for (int i = 0; i < MidiOutput::kMaxEvents; ++i) {
    VstMidiEvent& event = m_outMidi[i];
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.flags = kVstMidiEventIsRealtime;
    m_outEvents.events[i] = reinterpret_cast<VstEvent*>(&event);
  }

  // Factory content: pattern 0 carries the bass line, laid out with no groove.
  Pattern* factory = m_seq.getCurrentPattern();
  m_seq.setStepLength();
  for (int i = 0; i < 16; ++i) {
    factory->setStepNote(kFactoryLine[i].note, i);
    factory->setStepSlide(kFactoryLine[i].slide, i);
    factory->setStepAccent(kFactoryLine[i].accent, i);
  }

  setNumInputs(0);
  isSynth();
  setUniqueID(kUniqueId);
  setNumOutputs(2);
  canProcessReplacing();
  programsAreChunks();

  // Delay defaults: the time is set with sync still off, then switching sync
  // on quantises it to an eighth note.
  m_delay.setActive(false);
  m_delay.setVolume(m_delayVolume);
  m_delay.setFeedback(m_delayFeedback);
  m_delay.setTimeF(m_delayTime);
  m_delay.setPingPong(false);
  m_delay.setSync(true);
  m_delay.setTune(m_delayFilter);

  m_disto.setDistoParam2(m_distoParam2);
  m_disto.m_distoAlgorithmChanged = false;

  m_crossfadeA.reset(new float[kCrossfadeCapacity]());
  m_crossfadeB.reset(new float[kCrossfadeCapacity]());

  // The shared block starts with every value, its display text and every
  // pattern, so an editor opened before any change shows the instrument.
  updateParameterData();
  for (int i = 0; i < kNumParameters; ++i) publishParameterText(i);
  updatePatternData();
  m_globalGain = 0.0f;

  // The bridge comes last: it may talk to everything above.
  m_disto.setAlgorithmNotifier(&Tolvane::algorithmChanged, this);
  m_bridge = new Krennet3Editor(*this, m_ownership, m_instanceNumber);
  setEditor(m_bridge);
}

Tolvane::~Tolvane() {
  // The bridge goes first: until its timer thread has ended it may be
  // applying an editor request to the members below.
  Krennet3Editor* bridge = m_bridge;
  m_bridge = nullptr;
  setEditor(nullptr);
  delete bridge;
}

void Tolvane::resume() {
  m_ownership.setProcessing(true);
  m_disto.clearOversampler();
  if (m_sampleRate < kLowRateLimit) growLowRateBuffer();
  m_globalGain = 1.0f;
}

void Tolvane::suspend() {
  m_seq.m_randomizeRequested = false;
  // From now on the editor bridge runs queued requests itself.
  m_ownership.setProcessing(false);
}

void Tolvane::setSampleRate(float rate) {
  // Hosts have been seen to send 0 before their real rate; a rate that is
  // not a positive finite number keeps the previous one.
  if (!(rate > 0.0f) || !std::isfinite(rate)) return;
  const float old = m_sampleRate;
  m_sampleRate = rate;
  m_disto.setSampleRate(rate);
  m_volumeSmoother.init(4.0f, rate);
  if (rate != old) {
    m_delay.setSampleRate(rate);
    m_delay.update();
  }
  if (rate < kLowRateLimit) growLowRateBuffer();
}

void Tolvane::setBlockSize(VstInt32 size) {
  if (size < 1 || size == m_blockSize) return;
  m_blockSize = size;
  if (m_sampleRate < kLowRateLimit) growLowRateBuffer();
}

void Tolvane::growLowRateBuffer() {
  // Below 22050 Hz the engine renders at 44100 Hz into this side buffer.
  const int needed = static_cast<int>(std::ceil(kEngineRate / m_sampleRate)) * m_blockSize;
  if (needed > m_lowRateCapacity) {
    m_lowRateBuffer.reset(new float[static_cast<size_t>(needed)]());
    m_lowRateCapacity = needed;
  }
}

void Tolvane::setVol(float) { m_globalGain = 1.0f; }

bool Tolvane::getEffectName(char* name) {
  copyText(name, "Vornix", kVstMaxEffectNameLen);
  return true;
}

bool Tolvane::getVendorString(char* text) {
  copyText(text, "Orvalent", kVstMaxVendorStrLen);
  return true;
}

bool Tolvane::getProductString(char* text) {
  copyText(text, "Vornix VST", kVstMaxProductStrLen);
  return true;
}

VstInt32 Tolvane::canDo(char* text) {
  static const char* const supported[] = {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                                          "sendVstMidiEvent"};
  for (const char* candidate : supported)
    if (std::strcmp(text, candidate) == 0) return 1;
  return -1;
}

bool Tolvane::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
  if (index < 0 || index > 1) return false;
  // Only the label and the flags: hosts built on a shorter record pass 80
  // bytes, so nothing past the short label may be written.
  std::snprintf(properties->label, kVstMaxLabelLen, "knt3 out %1d", index + 1);
  properties->flags = kVstPinIsActive | kVstPinIsStereo;
  return true;
}

void Tolvane::sequencerTempoChanged(double tempo) {
  m_delay.setSamplePerBeat(tempo, m_sampleRate);
  m_delay.update();
}
