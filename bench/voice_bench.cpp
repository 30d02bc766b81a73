// Cost of the voice per sample at 44100 Hz with the band-limited oscillator
// (its chunks of 32 samples included): the sequencer voice playing
// sixteenth notes with every other one accented and the gate closing
// halfway, saw and square (sample by sample, and in the runs the engine
// loop renders), and the keyboard voice holding notes.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "engine/Oscillator.h"
#include "engine/Tables.h"
#include "engine/Voice.h"

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;
constexpr int kStep = 5512;  // a sixteenth at 120 BPM
constexpr int kNotes[] = {13, 25, 13, 20, 37, 13, 8, 25};

void report(benchmark::State& state, double samples) {
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  // Time per sample (shown with its SI prefix, e.g. "30n" for 30 ns), and
  // how many times faster than real time at 44100 Hz.
  state.counters["per sample"] =
      benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x realtime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
}

VoiceParameters parameters(bool square) {
  VoiceParameters p;
  p.waveform = square ? 1.0f : 0.0f;
  return p;
}

// The tables, an oscillator of the waveform and a voice fresh from reset.
void prepare(Oscillator& osc, VoiceState& v, bool square) {
  initFunTab1();
  initFunTab2();
  osc.setWaveform(square);
  v.reset();
  v.m_squareWave = square;
}

// A new note as a step event starts it: every other one accented.
void startNote(VoiceState& v, Oscillator& osc, int note) {
  const bool accent = (note & 1) != 0;
  v.m_noteFreq = cNoteFreq[kNotes[note & 7]];
  v.m_phase = 0.0L;
  v.m_filterEnv = 4.0L;
  v.m_cutoffDrift = 0.0L;
  v.m_noteLevel = 1.0L;
  v.m_noteReleased = false;
  v.m_accentOn = accent;
  if (accent) {
    v.m_accentLevelTarget = 0.6f;
    v.m_accentCharge = v.m_accentEnv > 2.0L ? 4.0L : v.m_accentEnv + 2.0L;
    if (v.m_accentEnv > 2.0L) v.m_accentEnv = 2.0L;
  }
  osc.restart();
}

void runSequencerVoice(benchmark::State& state, bool square) {
  static Oscillator osc;  // the pyramids take a while to build: once
  const VoiceParameters p = parameters(square);
  VoiceState v;
  prepare(osc, v, square);
  float out[kBlock];
  int inStep = 0, note = 0;
  for (auto _ : state) {
    const VoiceBlock block = voiceBlockConstants(p, v, kRate, true);
    osc.beginBlock();
    for (int i = 0; i < kBlock; ++i) {
      if (inStep == 0) {  // a new note, as a step event starts it
        startNote(v, osc, note++);
      }
      if ((i & (Oscillator::kChunk - 1)) == 0)
        osc.processResampler2(Oscillator::kChunk, v.m_noteFreq, p.tuning, kRate);
      const VoiceSample s = sequencerVoiceAdvance(v, block);
      if (inStep > kStep / 2) sequencerVoiceRelease(v, s);
      out[i] = static_cast<float>(sequencerVoiceOutput(v, block, s, osc.sample(i)));
      if (++inStep == kStep) inStep = 0;
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  report(state, static_cast<double>(state.iterations()) * kBlock);
}

// The same notes and gate through the run renderer the engine loop uses:
// runs of 32 samples (one oscillator chunk), the gate closing inside one.
void runSequencerVoiceRuns(benchmark::State& state, bool square) {
  static Oscillator osc;
  const VoiceParameters p = parameters(square);
  VoiceState v;
  prepare(osc, v, square);
  float out[kBlock];
  const double gain[Oscillator::kChunk] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0,
                                           1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0,
                                           1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  int inStep = 0, note = 0;
  for (auto _ : state) {
    const VoiceBlock block = voiceBlockConstants(p, v, kRate, true);
    osc.beginBlock();
    for (int i = 0; i < kBlock; i += Oscillator::kChunk) {
      if (inStep == 0) {  // a new note at a chunk start
        startNote(v, osc, note++);
      }
      osc.processResampler2(Oscillator::kChunk, v.m_noteFreq, p.tuning, kRate);
      VoiceRun run;
      run.length = Oscillator::kChunk;
      run.gateFrom = std::min(Oscillator::kChunk, std::max(0, kStep / 2 + 1 - inStep));
      run.bandLimited = osc.samplesFrom(i);
      run.gain = gain;
      run.out = out + i;
      sequencerVoiceRun(v, block, run);
      inStep += Oscillator::kChunk;
      if (inStep >= kStep) inStep = 0;
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  report(state, static_cast<double>(state.iterations()) * kBlock);
}

void runKeyboardVoice(benchmark::State& state, bool square) {
  static Oscillator osc;
  const VoiceParameters p = parameters(square);
  VoiceState v;
  prepare(osc, v, square);
  float out[kBlock];
  int inNote = 0, note = 0;
  for (auto _ : state) {
    const VoiceBlock block = voiceBlockConstants(p, v, kRate, true);
    osc.beginBlock();
    for (int i = 0; i < kBlock; ++i) {
      if (inNote == 0) {  // a fresh key, hard every other time
        v.m_noteFreq = cNoteFreq[kNotes[note & 7]];
        v.m_phase = 0.0L;
        v.m_filterEnv = 4.0L;
        if (note++ & 1) {
          v.m_accentLevelTarget = 0.6f;
          v.m_accentCharge = v.m_accentEnv + 2.0L < 5.0L ? v.m_accentEnv + 2.0L : 5.0L;
        }
        osc.restart();
      }
      if ((i & (Oscillator::kChunk - 1)) == 0)
        osc.processResampler2(Oscillator::kChunk, v.m_noteFreq, p.tuning, kRate);
      out[i] = keyboardVoiceSample(v, block, osc.sample(i));
      if (++inNote == kStep) inNote = 0;
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  report(state, static_cast<double>(state.iterations()) * kBlock);
}

void BM_SequencerVoiceSaw(benchmark::State& state) { runSequencerVoice(state, false); }
void BM_SequencerVoiceSquare(benchmark::State& state) { runSequencerVoice(state, true); }
void BM_SequencerVoiceRunsSaw(benchmark::State& state) { runSequencerVoiceRuns(state, false); }
void BM_SequencerVoiceRunsSquare(benchmark::State& state) { runSequencerVoiceRuns(state, true); }
void BM_KeyboardVoiceSaw(benchmark::State& state) { runKeyboardVoice(state, false); }
void BM_KeyboardVoiceSquare(benchmark::State& state) { runKeyboardVoice(state, true); }

}  // namespace

BENCHMARK(BM_SequencerVoiceSaw);
BENCHMARK(BM_SequencerVoiceSquare);
BENCHMARK(BM_SequencerVoiceRunsSaw);
BENCHMARK(BM_SequencerVoiceRunsSquare);
BENCHMARK(BM_KeyboardVoiceSaw);
BENCHMARK(BM_KeyboardVoiceSquare);
