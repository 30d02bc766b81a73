#include "engine/Engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/Tables.h"

namespace {

constexpr int kMidiNoteOn = 0x90;
constexpr int kMidiNoteOff = 0x80;
constexpr int kMidiStart = 0xFA;
constexpr int kMidiStop = 0xFC;
constexpr int kAccentVelocity = 127;
constexpr int kPlainVelocity = 64;
constexpr int kHardKeyVelocity = 82;  // above this a key press is accented
constexpr int kLowestKey = 36;
constexpr int kHighestKey = 95;
constexpr double kBandLimitedMinimumRate = 22050.0;
constexpr double kRelocationTolerance = 2.0 / 1920.0;  // beats

// Every note number is read through this: anything outside 1..60 (file
// imports may store such values) is a rest, never an index.
int playableNote(int note) { return isPlayableNote(note) ? note : kRestNote; }

// The pitch glide multiplier that reaches `target` from `current` (both
// table frequencies) after `samples` samples, with the tuning's octave
// shift, in single precision as the voice was voiced.
long double glideFactor(long double target, long double current, float tuning, int samples) {
  const float u = 2.0f * tuning - 1.0f;
  const float tunedTarget = std::pow(2.0f, u + std::log2(static_cast<float>(target)));
  const float tunedCurrent = std::pow(2.0f, u + std::log2(static_cast<float>(current)));
  return std::exp(std::log(static_cast<double>(tunedTarget) / tunedCurrent) / std::max(samples, 1));
}

// Keys held in keyboard mode carry the order they went down in, the newest
// the highest number. Before the numbers could outgrow an int (a host or
// editor that never sends note-offs) they are renumbered 1..n in the same
// order.
constexpr int kMaxKeyStamp = 1 << 24;

int nextKeyStamp(int (&stamps)[MidiOutput::kNumKeys]) {
  int newest = 0;
  for (int stamp : stamps) newest = std::max(newest, stamp);
  if (newest < kMaxKeyStamp) return newest + 1;
  int order[MidiOutput::kNumKeys];
  int held = 0;
  for (int key = 0; key < MidiOutput::kNumKeys; ++key)
    if (stamps[key] > 0) order[held++] = key;
  std::sort(order, order + held, [&](int a, int b) { return stamps[a] < stamps[b]; });
  for (int i = 0; i < held; ++i) stamps[order[i]] = i + 1;
  return held + 1;
}

}  // namespace

Engine::Engine(Sequencer& sequencer, PatternEditor& editor, PatternRecorder& recorder, EngineHost& host)
    : m_seq(sequencer), m_editor(editor), m_recorder(recorder), m_host(host) {}

int Engine::hostOffset(int index, const BlockSetup& setup) const {
  if (!setup.lowRate) return index;
  // The 44100 Hz render is longer than the host's block: scale its index
  // and keep it inside the block.
  const int offset = static_cast<int>(index * setup.offsetScale);
  return std::min(std::max(offset, 0), std::max(setup.hostFrames - 1, 0));
}

void Engine::processKrennet(float* left, float* right, int n, double sampleRate,
                            const EngineParameters& parameters) {
  if (n <= 0) return;
  BlockSetup setup;
  setup.rate = sampleRate;
  setup.hostFrames = n;
  render(left, n, setup, parameters);
  std::memcpy(right, left, sizeof(float) * static_cast<size_t>(n));
}

void Engine::processKrennet2(float* out, int n, int hostFrames, const EngineParameters& parameters) {
  if (n <= 0) return;
  BlockSetup setup;
  setup.rate = kLowRate;
  setup.lowRate = true;
  setup.hostFrames = hostFrames;
  setup.offsetScale = static_cast<double>(hostFrames) / n;
  render(out, n, setup, parameters);
}

void Engine::readTransport(TransportInfo& info, double rate) {
  TransportInfo fromHost;
  const bool present = m_host.engineTransport(fromHost);
  info = TransportInfo();
  info.sampleRate = rate;
  if (present) {
    info.changed = fromHost.changed;
    info.playing = fromHost.playing;
    if (fromHost.tempoValid && fromHost.tempo > 0.0 && std::isfinite(fromHost.tempo))
      m_lastTempo = fromHost.tempo;
    if (fromHost.ppqValid && std::isfinite(fromHost.ppq)) m_lastPpq = fromHost.ppq;
  }
  info.tempo = m_lastTempo;
  info.ppq = m_lastPpq;
  info.tempoValid = info.ppqValid = true;
}

void Engine::resynchronise(double ppq, double samplesPerBeat) {
  const Pattern* pattern = m_seq.getCurrentPattern();
  const double length = (pattern ? pattern->getNBStep() : 16) * m_seq.m_stepLength;
  m_seq.m_patternPosition = std::fmod(ppq, length);
  if (m_seq.m_patternPosition < 0.0) m_seq.m_patternPosition += length;  // before the song start
  m_seq.m_samplePosition = ppq * samplesPerBeat;
  m_seq.m_currentStep = m_seq.m_nextStep = m_seq.m_previousStep = nullptr;
  m_seq.m_stepIndex = static_cast<int>(m_seq.m_patternPosition / m_seq.m_stepLength);
}

void Engine::flushMidi() {
  if (m_midiOut.PrepareEventList() > 0) m_host.engineSendMidi(m_midiOut.events(), m_midiOut.eventCount());
}

void Engine::restartOscillator() {
  m_oscillator.restart();
  // The chunk holding this sample was rendered before the note started
  // unless the note starts on the chunk's first sample.
  if (m_oscillatorActive && (m_sampleIndex & (Oscillator::kChunk - 1)) != 0)
    m_oscillator.rerenderFrom(m_sampleIndex, m_blockLength - m_sampleIndex, m_voice.m_noteFreq, m_tuning,
                              m_renderRate);
}

void Engine::resetPendingNote() {
  if (m_midiOut.queueNoteOffsForSoundingKeys()) flushMidi();
}

void Engine::render(float* out, int n, const BlockSetup& setup, const EngineParameters& parameters) {
  Sequencer& seq = m_seq;
  m_slideSamples = parameters.slideSamples;
  m_tuning = parameters.voice.tuning;
  m_recordingThisBlock = parameters.recording;
  m_oscillator.beginBlock();

  // Block start, in order: the randomise request, the host's time, the
  // note-offs held over from the last block, the hand-off to the keyboard.
  if (seq.m_randomizeRequested) {
    m_editor.processRandomize(-1);
    seq.m_randomizeRequested = false;
  }
  TransportInfo time;
  readTransport(time, setup.rate);
  double spb = time.sampleRate * 60.0 / time.tempo;
  seq.m_samplesPerStep = spb * 0.25;
  seq.m_samplesPerBeat = static_cast<int>(spb);
  m_midiOut.sendDelayedNoteOffs(setup.hostFrames / 2);

  if (seq.m_syncType == kSyncMidi && seq.m_stopped) {
    resetPendingNote();
    processTest(out, n, setup, parameters);
    return;
  }

  std::memset(out, 0, sizeof(float) * static_cast<size_t>(n));
  const int span = ((seq.m_samplesPerBeat / 4) * 2) / 5;
  m_gateOffset = static_cast<int>(-(2.0f * parameters.gate - 1.0f) * static_cast<float>(span));

  // Host transport: start, stop and relocation. Hosts do not all flag a
  // start or stop as a change, so a change of the playing state counts as
  // one; and some flag every block while playing, so a flagged block that
  // continues where the last one ended is not a relocation (Ardour rounds
  // positions to 1/1920 beat, hence the tolerance).
  const bool startOrStop = time.playing != seq.m_hostPlaying;
  const bool relocated = time.changed && std::fabs(time.ppq - m_expectedPpq) > kRelocationTolerance;
  if (seq.m_syncType == kSyncHost && (startOrStop || relocated)) {
    if (time.playing != seq.m_hostPlaying) {
      if (time.playing) {
        resynchronise(time.ppq, spb);
        seq.m_stopRequested = false;
        seq.m_fadeGain = 1.0;
        seq.m_stopped = false;
        m_host.engineTransportMessage(kMidiStart);
      } else {
        m_host.engineTransportMessage(kMidiStop);
      }
    } else if (time.playing) {
      resynchronise(time.ppq, spb);
    }
  }
  m_expectedPpq = time.ppq + n / spb;
  seq.m_hostPlaying = time.playing;
  if (seq.m_hostSyncRequested && seq.m_syncType == kSyncHost && time.playing) {
    seq.m_stopRequested = false;
    seq.m_fadeGain = 1.0;
    seq.m_stopped = false;
    seq.m_hostSyncRequested = false;
    resynchronise(time.ppq, spb);
  }

  if (seq.m_syncType == kSyncHost) {
    if (seq.m_stopped) {
      resetPendingNote();
      seq.m_patternChangePending = false;
      flushMidi();
      return;
    }
    if (!time.playing) {
      seq.m_stopRequested = true;
      seq.m_patternChangePending = false;
    }
  } else if (seq.m_syncType == kSyncInternal) {
    spb = time.sampleRate * 60.0 / std::max(seq.m_internalTempo, 1.0);
    seq.m_samplesPerStep = spb * 0.25;
    if (seq.m_stopped) {
      resetPendingNote();
      flushMidi();
      return;
    }
  }
  // (Keyboard mode while the sequencer voice still fades: the clock runs on
  // the host's tempo until the fade ends.)

  const Pattern* current = seq.getCurrentPattern();
  double interval = seq.m_patternSyncMode == kPatternSyncAuto && current
                        ? std::trunc(current->getNBStep() * seq.m_samplesPerStep)
                        : spb * seq.m_patternSyncQuantum;
  // An interval below one sample (an absurd tempo) would divide by zero.
  const long long intervalSamples = std::max(1LL, static_cast<long long>(interval));

  const double invSpb = 1.0 / spb;
  const VoiceBlock block = voiceBlockConstants(parameters.voice, m_voice, setup.rate,
                                               !setup.lowRate && setup.rate >= kBandLimitedMinimumRate);
  const int samplesPerStep = std::max(1, static_cast<int>(seq.m_samplesPerStep));
  m_oscillatorActive = block.bandLimited;
  m_blockLength = n;
  m_renderRate = setup.rate;

  // The loop handles the events of a sample (pattern change, stop fade,
  // step starts, the oscillator's chunk), then renders that sample and the
  // following ones that hold no event of their own as one run of the voice.
  double fade[VoiceRun::kMaxLength];
  for (int i = 0; i < n;) {
    m_sampleIndex = i;
    Pattern* pattern = seq.getCurrentPattern();
    if (!pattern) return;

    // Pattern changes on their grid, or at once in free mode. Without a
    // pending change synchroPattern() does nothing, so the grid test (a
    // 64-bit division) is made only while one waits.
    if (seq.m_patternChangePending) {
      const long long position = static_cast<long long>(seq.m_samplePosition);
      if (position % intervalSamples == 0 || seq.m_samplePosition == 0.0) seq.synchroPattern();
      if (seq.m_patternChangePending && seq.m_patternSyncMode == kPatternSyncFree) seq.synchroPattern();
    }
    pattern = seq.getCurrentPattern();

    // The stop fade: 441 samples at any rate, then silence.
    if (seq.m_stopRequested) {
      seq.m_fadeGain = std::max(0.0, seq.m_fadeGain - seq.m_fadeDecrement);
      if (seq.m_fadeGain <= 0.0) {
        seq.m_fadeGain = 0.0;
        seq.m_stopRequested = false;
        seq.m_stopped = true;
        IIR_resetIIR(m_voice.m_lp3);
        break;
      }
    }

    // Step clock: every step whose start time has been reached starts now.
    const double length = pattern->getNBStep() * seq.m_stepLength;
    if (seq.m_patternPosition >= length) {
      seq.m_patternPosition -= length;
      seq.m_stepIndex = 0;
    }
    while (Step* step = pattern->getStep(seq.m_stepIndex)) {
      if (seq.m_patternPosition < step->timeStart) break;
      stepEvent(*step, hostOffset(i, setup), samplesPerStep, parameters.voice.tuning);
    }

    if ((i & (Oscillator::kChunk - 1)) == 0 && block.bandLimited)
      m_oscillator.processResampler2(std::min(Oscillator::kChunk, n - m_oscillator.written()),
                                     m_voice.m_noteFreq, parameters.voice.tuning, setup.rate);

    // The run: up to the chunk's end, as long as no pattern change waits,
    // the fade goes on and no step is due.
    const int end = std::min(n, (i | (Oscillator::kChunk - 1)) + 1);
    const Step* next = pattern->getStep(seq.m_stepIndex);
    fade[0] = seq.m_fadeGain;
    int count = 1;
    double position = seq.m_patternPosition + invSpb;  // at sample i + count
    while (i + count < end && !seq.m_patternChangePending) {
      double gain = fade[count - 1];
      if (seq.m_stopRequested) {
        gain = std::max(0.0, gain - seq.m_fadeDecrement);
        if (gain <= 0.0) break;
      }
      if (position >= length || (next && position >= next->timeStart)) break;
      fade[count++] = gain;
      position += invSpb;
    }

    VoiceRun run;
    run.length = count;
    run.bandLimited = m_oscillator.samplesFrom(i);
    run.gain = fade;
    run.out = out + i;
    run.gateFrom = count;
    if (m_voice.m_tieToNext == 0)
      for (int j = 0; j < count; ++j)
        if (gateCloses(samplesPerStep, m_voice.m_samplesInStep + j)) {
          run.gateFrom = j;
          break;
        }
    sequencerVoiceRun(m_voice, block, run);
    // The gate's note-off leaves from the sample that closed it.
    if (run.gateFrom < count && m_midiOut.noteSentOn(m_midiOut.m_lastSequencerNote))
      m_midiOut.addMidiMsg(kMidiNoteOff, m_midiOut.m_lastSequencerNote, 0,
                           hostOffset(i + run.gateFrom, setup));

    m_voice.m_samplesInStep += count;
    seq.m_fadeGain = fade[count - 1];
    for (int j = 0; j < count; ++j) {
      seq.m_patternPosition += invSpb;
      seq.m_samplePosition += 1.0;
    }
    i += count;
  }
  flushMidi();
}

void Engine::stepEvent(Step& step, int offset, int samplesPerStep, float tuning) {
  Sequencer& seq = m_seq;
  m_host.engineStepStarted(seq.m_stepIndex);

  const Pattern* pattern = seq.getCurrentPattern();
  bool allSlide = true;
  for (int s = 0; pattern && s < pattern->getNBStep(); ++s)
    if (!pattern->getStep(s)->slide) allSlide = false;
  if (allSlide) m_voice.m_noteReleased = false;

  seq.m_previousStep = seq.m_currentStep;
  seq.m_currentStep = &step;
  seq.m_stepIndex += 1;
  m_voice.m_samplesInStep = 0;
  if (m_recordingThisBlock) m_recorder.processRecordPatternNote(seq);

  const int note = playableNote(step.note);
  if (m_midiOut.m_lastSequencerNote != -1 && m_midiOut.noteSentOn(m_midiOut.m_lastSequencerNote))
    m_midiOut.addDelayedNoteOff(m_midiOut.m_lastSequencerNote);
  m_midiOut.m_lastSequencerNote = note + kMidiNoteOffset;
  if (note > 0)
    m_midiOut.addMidiMsg(kMidiNoteOn, note + kMidiNoteOffset, step.accent ? kAccentVelocity : kPlainVelocity,
                         offset);

  const Step* next = pattern ? pattern->getStep(seq.m_stepIndex) : nullptr;
  if (!next && pattern) next = pattern->getStep(0);
  seq.m_nextStep = const_cast<Step*>(next);

  const Step* previous = seq.m_previousStep;
  const bool glide = previous && previous->slide && playableNote(previous->note) != 0 && note != 0 &&
                     m_voice.m_noteFreq != 0.0L && !m_voice.m_noteReleased;
  if (glide) {
    m_voice.m_sliding = 1;
    m_voice.m_slideTargetFreq = noteFrequency(note);
    m_voice.m_slideFactor = glideFactor(noteFrequency(note), m_voice.m_noteFreq, tuning, samplesPerStep);
  } else {
    m_voice.m_sliding = 0;
    m_voice.m_slideFactor = 1.0L;
    m_voice.m_noteFreq = noteFrequency(note);
    m_voice.m_phase = 0.0L;
    m_voice.m_filterEnv = 4.0L;
    m_voice.m_cutoffDrift = 0.0L;
    m_voice.m_noteLevel = 1.0L;
    m_voice.m_noteReleased = m_voice.m_noteFreq == 0.0L;
    restartOscillator();
  }

  m_voice.m_tieToNext = step.slide && note != 0 && next && playableNote(next->note) != 0;
  m_voice.m_accentOn = step.accent;
  if (step.accent) {
    m_voice.m_accentLevelTarget = 0.6f;
    if (m_voice.m_accentEnv > 2.0L) {
      m_voice.m_accentEnv = 2.0L;
      m_voice.m_accentCharge = 4.0L;
    } else {
      m_voice.m_accentCharge = m_voice.m_accentEnv + 2.0L;
    }
  }
}

bool Engine::gateCloses(int samplesPerStep, int samplesInStep) const {
  const int remaining = samplesPerStep - samplesInStep;
  const double accent = m_voice.m_accentOn ? 1.0 : 0.0;
  const double closeAt = m_gateOffset + samplesPerStep * 0.5263158f * (1.0 - 0.25 * accent);
  return closeAt > remaining;
}

// --- keyboard mode ---

void Engine::beginNoteEvents() {
  m_noteEventCount = 0;
  m_noteEvents[0].kind = 0;
}

void Engine::addNoteOn(int note, int velocity, int deltaFrames) {
  // A block with more notes than the list holds loses the extra ones.
  if (m_noteEventCount >= kMaxKeyEvents) return;
  m_noteEvents[m_noteEventCount++] = KeyEvent{1, note & 0x7F, deltaFrames, velocity & 0x7F};
  m_noteEvents[m_noteEventCount].kind = 0;
}

void Engine::addNoteOff(int note, int velocity, int deltaFrames) {
  if (m_noteEventCount >= kMaxKeyEvents) return;
  m_noteEvents[m_noteEventCount++] = KeyEvent{2, note & 0x7F, deltaFrames, velocity & 0x7F};
  m_noteEvents[m_noteEventCount].kind = 0;
}

void Engine::glideTo(int key) {
  const long double target = noteFrequency(key - kMidiNoteOffset);
  if (m_voice.m_noteFreq == 0.0L) {
    // Nothing sounding to glide from (the held key was out of range): the
    // new key plays at once rather than gliding from 0 Hz.
    m_voice.m_noteFreq = target;
    m_voice.m_slideFactor = 1.0L;
    return;
  }
  m_voice.m_slideTargetFreq = target;
  m_voice.m_slideFactor = glideFactor(target, m_voice.m_noteFreq, m_tuning, m_slideSamples);
}

void Engine::play(int note, int velocity, int) {
  if (m_seq.m_syncType != kSyncMidi) return;
  note &= 0x7F;
  const bool inRange = note >= kLowestKey && note <= kHighestKey;
  int held = 0;
  for (int stamp : m_seq.m_keyDownCount) held += stamp > 0;

  if (held > 0) {
    m_voice.m_samplesInStep = 0;
    if (velocity > kHardKeyVelocity) {
      m_voice.m_accentEnv = 0.0L;
      m_voice.m_accentLevelTarget = 0.6f;
      m_voice.m_accentCharge = 2.0L;
    }
    if (!inRange) return;
    glideTo(note);
  } else {
    if (m_voice.m_keyReleaseFade) {
      // A fresh key interrupts the release: the jump from the fading note
      // is ramped away over 110 samples.
      m_voice.m_keyFadeGain = 1.0;
      m_voice.m_keyReleaseFade = false;
      IIR_resetIIR(m_voice.m_lp3);
      m_voice.m_declickOffset = m_voice.m_lastOutput;
      m_voice.m_declickStep = m_voice.m_lastOutput / 110.0;
    }
    m_voice.m_phase = 0.0L;
    m_oscillator.restart();
    m_voice.m_slideFactor = 1.0L;
    m_voice.m_filterEnv = 4.0L;
    if (!inRange) return;
    m_voice.m_samplesInStep = 0;
    m_voice.m_noteFreq = noteFrequency(note - kMidiNoteOffset);
    if (velocity > kHardKeyVelocity) {
      m_voice.m_accentLevelTarget = 0.6f;
      m_voice.m_accentCharge = std::min(m_voice.m_accentEnv + 2.0L, 5.0L);
    }
    m_seq.m_noteSounding = true;
    m_voice.m_keyFadeGain = 1.0;
    restartOscillator();
  }
  m_seq.m_keyDownCount[note] = 0;
  m_seq.m_keyDownCount[note] = nextKeyStamp(m_seq.m_keyDownCount);
}

void Engine::stop(int note, int velocity, int) {
  if (m_seq.m_syncType != kSyncMidi) return;
  note &= 0x7F;
  m_seq.m_keyDownCount[note] = 0;
  int held = 0;
  int latest = 0;
  int latestKey = -1;
  for (int key = 0; key < MidiOutput::kNumKeys; ++key) {
    const int stamp = m_seq.m_keyDownCount[key];
    held += stamp > 0;
    if (stamp > latest) {
      latest = stamp;
      latestKey = key;
    }
  }
  if (held == 0) {
    m_voice.m_keyReleaseFade = true;
    return;
  }
  // Back to the most recent key still down.
  m_voice.m_samplesInStep = 0;
  if (velocity > kHardKeyVelocity) {
    m_voice.m_accentLevelTarget = 0.6f;
    m_voice.m_accentCharge = std::min(m_voice.m_accentEnv + 2.0L, 5.0L);
  }
  if (latestKey < kLowestKey || latestKey > kHighestKey) return;
  glideTo(latestKey);
}

void Engine::processTest(float* out, int n, const BlockSetup& setup, const EngineParameters& parameters) {
  std::memset(out, 0, sizeof(float) * static_cast<size_t>(n));
  m_oscillator.beginBlock();
  const bool bandLimitedRate = !setup.lowRate && setup.rate >= kBandLimitedMinimumRate;
  const VoiceBlock block = voiceBlockConstants(parameters.voice, m_voice, setup.rate, bandLimitedRate);
  m_noteEventCount = 0;
  m_oscillatorActive = block.bandLimited;
  m_blockLength = n;
  m_renderRate = setup.rate;

  double gain[VoiceRun::kMaxLength];
  for (int i = 0; i < n;) {
    m_sampleIndex = i;
    // Events are placed by their offset in the host's block.
    while (keyEventDue(hostOffset(i, setup))) {
      const KeyEvent& event = m_noteEvents[m_noteEventCount++];
      if (event.kind == 1)
        play(event.note, event.velocity, 0);
      else
        stop(event.note, 48, 0);
    }
    // The chunk is rendered whether or not a key sounds, so a note that
    // starts mid-chunk reads fresh samples.
    if ((i & (Oscillator::kChunk - 1)) == 0 && block.bandLimited)
      m_oscillator.processResampler2(std::min(Oscillator::kChunk, n - m_oscillator.written()),
                                     m_voice.m_noteFreq, parameters.voice.tuning, setup.rate);
    if (!m_seq.m_noteSounding) {
      ++i;
      continue;
    }

    if (m_voice.m_keyReleaseFade) {
      m_voice.m_keyFadeGain -= m_seq.m_fadeDecrement;
      if (m_voice.m_keyFadeGain <= 0.0) {
        m_voice.m_keyFadeGain = 0.0;
        m_voice.m_keyReleaseFade = false;
        m_seq.m_noteSounding = false;
        IIR_resetIIR(m_voice.m_lp3);
      }
    }

    // The run: up to the chunk's end, as long as no key is due and the
    // release fade goes on (the sample that ends it is a run of its own).
    const int end = std::min(n, (i | (Oscillator::kChunk - 1)) + 1);
    gain[0] = m_voice.m_keyFadeGain;
    int count = 1;
    while (m_seq.m_noteSounding && i + count < end && !keyEventDue(hostOffset(i + count, setup))) {
      double g = gain[count - 1];
      if (m_voice.m_keyReleaseFade) {
        g -= m_seq.m_fadeDecrement;
        if (g <= 0.0) break;
      }
      gain[count++] = g;
    }

    VoiceRun run;
    run.length = count;
    run.bandLimited = m_oscillator.samplesFrom(i);
    run.gain = gain;
    run.out = out + i;
    run.glideSamples = std::min(count, std::max(0, m_slideSamples - m_voice.m_samplesInStep));
    m_voice.m_keyFadeGain = gain[count - 1];
    keyboardVoiceRun(m_voice, block, run);
    m_voice.m_samplesInStep += run.glideSamples;
    i += count;
  }
  beginNoteEvents();
  flushMidi();
}
