// The whole signal chain per sample: engine, distortion, delay and output
// volume, playing the factory pattern in host sync at 120 BPM and 44100 Hz
// in 512-frame blocks. The delay is on with ping-pong and its low-pass; the
// distortion runs each of its four algorithms ("Dist prm1" 0.7), and once
// not at all, so the cost of each algorithm over the bare chain shows.
//
// Every case runs three repetitions; after the usual table a summary gives,
// per case, the fastest repetition (least CPU time per sample) as ns per
// sample and the real-time factor (seconds of audio per CPU second).
//   build/bench/chain_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugin/Tolvane.h"

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;
constexpr double kTempo = 120.0;
constexpr int kRepetitions = 3;
// Two seconds before timing: the switch-on crossfades, the algorithms' slow
// level ramps and the delay line's first echoes are behind us.
constexpr int kWarmUpBlocks = 172;

VstTimeInfo g_time;

VstIntPtr VST_CALL hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&g_time);
  if (opcode == audioMasterProcessEvents) return 1;
  return 0;
}

void startTransport() {
  std::memset(&g_time, 0, sizeof g_time);
  g_time.sampleRate = kRate;
  g_time.tempo = kTempo;
  g_time.timeSigNumerator = g_time.timeSigDenominator = 4;
  g_time.flags = kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid | kVstTempoValid;
}

void advanceTransport(int frames) {
  g_time.samplePos += frames;
  g_time.ppqPos = g_time.samplePos * kTempo / (60.0 * kRate);
  g_time.flags &= ~kVstTransportChanged;
}

// Distortion off, or on with the given "Dist Sel" value.
void runChain(benchmark::State& state, bool distortion, float select) {
  startTransport();
  auto synth = std::make_unique<Tolvane>(hostCallback);
  synth->setSampleRate(static_cast<float>(kRate));
  synth->setBlockSize(kBlock);
  synth->resume();
  synth->setParameter(kDelayOn, 1.0f);
  synth->setParameter(kDelayPing, 1.0f);
  synth->setParameter(kDelayFilter, 0.25f);  // low-pass, cutoff 0.0625
  synth->setParameter(kDistParam1, 0.7f);
  synth->setParameter(kDistSel, select);
  synth->setParameter(kDisto, distortion ? 1.0f : 0.0f);

  std::vector<float> left(kBlock), right(kBlock);
  float* outputs[2] = {left.data(), right.data()};
  for (int b = 0; b < kWarmUpBlocks; ++b) {
    synth->processReplacing(nullptr, outputs, kBlock);
    advanceTransport(kBlock);
  }

  for (auto _ : state) {
    synth->processReplacing(nullptr, outputs, kBlock);
    advanceTransport(kBlock);
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
    benchmark::ClobberMemory();
  }
  const double samples = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["per sample"] =
      benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x realtime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
}

// The usual console table, plus the fastest repetition of each case.
class FastestRepetitionReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      const double ns = run.cpu_accumulated_time * 1e9 / (static_cast<double>(run.iterations) * kBlock);
      auto found = m_fastest.find(run.benchmark_name());
      if (found == m_fastest.end()) {
        m_order.push_back(run.benchmark_name());
        m_fastest[run.benchmark_name()] = ns;
      } else if (ns < found->second) {
        found->second = ns;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nFastest of %d repetitions (CPU time):\n", kRepetitions);
    std::printf("%-36s %12s %12s\n", "case", "ns/sample", "x realtime");
    for (const std::string& name : m_order) {
      const double ns = m_fastest[name];
      std::printf("%-36s %12.2f %12.1f\n", name.c_str(), ns, 1e9 / (ns * kRate));
    }
  }

 private:
  std::vector<std::string> m_order;
  std::map<std::string, double> m_fastest;
};

void BM_Chain(benchmark::State& state, bool distortion, float select) { runChain(state, distortion, select); }

}  // namespace

BENCHMARK_CAPTURE(BM_Chain, DistortionOff, false, 0.0f)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(BM_Chain, Overdrive, true, 0.0f)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(BM_Chain, ClipInferno, true, 0.25f)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(BM_Chain, HotFuzz, true, 0.5f)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(BM_Chain, Ultracrunch, true, 0.75f)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FastestRepetitionReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
