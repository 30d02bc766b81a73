// Cost per sample of the voice's filter routines, in 512-sample blocks:
// the resonant low-pass alone, the two pre-filters, the whole chain in the
// voice's order, and the resonant low-pass while its state passes through
// the extended format's subnormal range (a tail decaying in silence).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/Filters.h"
#include "engine/Tables.h"

namespace {

constexpr int kBlock = 512;

std::vector<double> sawBlock() {
  std::vector<double> v(kBlock);
  for (int i = 0; i < kBlock; ++i) v[i] = 0.5 - static_cast<double>(i % 100) / 100.0;
  return v;
}

void perSample(benchmark::State& state) {
  const double samples = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["ns/sample"] =
      benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x realtime"] = benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
}

void BM_ResonantLowpass(benchmark::State& state) {
  initFunTab1();
  const auto in = sawBlock();
  tbiquad t;
  long double c = 0.05L;
  for (auto _ : state) {
    long double acc = 0;
    for (int i = 0; i < kBlock; ++i) {
      // The cutoff moves every sample, as the envelope makes it do.
      acc += brenik_IIR_IIRlp3pole(t, c, 0.9L, in[i], 110.0L, 44100.0);
      c = c < 0.69L ? c * 1.0005L : 0.05L;
    }
    benchmark::DoNotOptimize(acc);
  }
  perSample(state);
}

void BM_PreFilters(benchmark::State& state) {
  const auto in = sawBlock();
  tbiquadFIR lp;
  tbiquad hp;
  for (auto _ : state) {
    long double acc = 0;
    for (int i = 0; i < kBlock; ++i) {
      acc += IIR_doIIRhigh(hp, 0.0068027f, IIR_FIRlp(lp, 0.7f, in[i]));
    }
    benchmark::DoNotOptimize(acc);
  }
  perSample(state);
}

void BM_VoiceFilterChain(benchmark::State& state) {
  initFunTab1();
  const auto in = sawBlock();
  tbiquadFIR lp;
  tbiquad hp, lp3;
  long double c = 0.05L;
  for (auto _ : state) {
    double acc = 0;
    for (int i = 0; i < kBlock; ++i) {
      const long double y1 = IIR_FIRlp(lp, 0.7f, in[i]);
      const long double y2 = IIR_doIIRhigh(hp, 0.0068027f, y1);
      const long double y3 = brenik_IIR_IIRlp3pole(lp3, c, 0.9L, y2, 110.0L, 44100.0);
      acc += dist_dist(y3 * 1.2L);
      c = c < 0.69L ? c * 1.0005L : 0.05L;
    }
    benchmark::DoNotOptimize(acc);
  }
  perSample(state);
}

void BM_ResonantLowpassSubnormalTail(benchmark::State& state) {
  initFunTab1();
  tbiquad t;
  for (auto _ : state) {
    // Restart every block from a state deep in the extended subnormals
    // (below 3.4e-4932) so the whole block runs there or at zero.
    t.s0 = 1e-4940L;
    t.s1 = 3e-4941L;
    long double acc = 0;
    for (int i = 0; i < kBlock; ++i) acc += brenik_IIR_IIRlp3pole(t, 0.3L, 1.0L, 0.0L, 0.0L, 44100.0);
    benchmark::DoNotOptimize(acc);
  }
  perSample(state);
}

}  // namespace

BENCHMARK(BM_ResonantLowpass);
BENCHMARK(BM_PreFilters);
BENCHMARK(BM_VoiceFilterChain);
BENCHMARK(BM_ResonantLowpassSubnormalTail);
