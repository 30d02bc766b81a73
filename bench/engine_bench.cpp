// The whole instrument per sample: the factory pattern in host sync at
// 120 BPM, and the keyboard mode played from MIDI, both at 44100 Hz in
// 512-frame blocks through processReplacing (engine, distortion, delay and
// volume: everything a host pays for).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "plugin/Tolvane.h"

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;
constexpr double kTempo = 120.0;

// The host's transport: playing from beat 0, advanced after every block.
VstTimeInfo g_time;

VstIntPtr VST_CALL hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&g_time);
  return 0;
}

void startTransport() {
  std::memset(&g_time, 0, sizeof g_time);
  g_time.sampleRate = kRate;
  g_time.tempo = kTempo;
  g_time.timeSigNumerator = g_time.timeSigDenominator = 4;
  g_time.flags = kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid | kVstTempoValid |
                 kVstTimeSigValid;
}

void advanceTransport(int frames) {
  g_time.samplePos += frames;
  g_time.ppqPos += frames * kTempo / (60.0 * kRate);
  g_time.flags &= ~kVstTransportChanged;
}

// Block events: room for a note-on and a note-off.
struct BlockEvents {
  VstInt32 numEvents = 0;
  VstIntPtr reserved = 0;
  VstEvent* events[2] = {};
  VstMidiEvent midi[2] = {};
};

void setMidi(VstMidiEvent& e, int status, int note, int velocity, int offset) {
  e.type = kVstMidiType;
  e.byteSize = sizeof(VstMidiEvent);
  e.deltaFrames = offset;
  e.midiData[0] = static_cast<char>(status);
  e.midiData[1] = static_cast<char>(note);
  e.midiData[2] = static_cast<char>(velocity);
}

void report(benchmark::State& state, double samples) {
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["per sample"] =
      benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x realtime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
}

void runInstrument(benchmark::State& state, bool keyboard) {
  startTransport();
  auto synth = std::make_unique<Tolvane>(hostCallback);
  synth->setSampleRate(static_cast<float>(kRate));
  synth->setBlockSize(kBlock);
  synth->resume();
  if (keyboard) synth->setParameter(26, 0.9f);  // sync type: MIDI keyboard

  std::vector<float> left(kBlock), right(kBlock);
  float* outputs[2] = {left.data(), right.data()};
  float* inputs[2] = {nullptr, nullptr};
  BlockEvents events;
  events.events[0] = reinterpret_cast<VstEvent*>(&events.midi[0]);
  events.events[1] = reinterpret_cast<VstEvent*>(&events.midi[1]);
  static const int kKeys[] = {48, 60, 55, 48, 63, 51};
  long block = 0;
  double energy = 0.0;

  for (auto _ : state) {
    if (keyboard) {
      // A key every two blocks (23 ms), released 400 frames in; every
      // other one hard.
      const int key = kKeys[(block / 2) % 6];
      events.numEvents = 1;
      if (block % 2 == 0)
        setMidi(events.midi[0], 0x90, key, (block / 2) % 2 ? 100 : 64, 0);
      else
        setMidi(events.midi[0], 0x80, key, 0, 400);
      synth->processEvents(reinterpret_cast<VstEvents*>(&events));
    } else {
      events.numEvents = 0;
      synth->processEvents(reinterpret_cast<VstEvents*>(&events));
    }
    synth->processReplacing(inputs, outputs, kBlock);
    advanceTransport(kBlock);
    ++block;
    energy += static_cast<double>(left[kBlock / 2]) * left[kBlock / 2];
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
  }
  report(state, static_cast<double>(state.iterations()) * kBlock);
  // The output level (RMS of one sample per block), so a run that renders
  // silence stands out.
  state.counters["level"] = block > 0 ? std::sqrt(energy / block) : 0.0;
}

void BM_InstrumentHostSync(benchmark::State& state) { runInstrument(state, false); }
void BM_InstrumentKeyboard(benchmark::State& state) { runInstrument(state, true); }

}  // namespace

BENCHMARK(BM_InstrumentHostSync)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InstrumentKeyboard)->Unit(benchmark::kMicrosecond);
