// Cost of the distortion stage per host sample, for each algorithm as the
// instrument runs it (DistortionUnit::processDisto on 512-frame blocks, so
// algorithms 1..3 include the 4x oversampler's round trip), and of that
// round trip alone (Upsampler4x then Downsampler4x in 64-sample slices).
//
// The input is a loud bass-like mix (0.9 full scale), so the clipping
// algorithms spend time in their saturated regions as they do in use.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "effects/DistortionUnit.h"
#include "kovworks/Downsampler4x.h"
#include "kovworks/Upsampler4x.h"

namespace {

constexpr int kBlock = 512;

void setCounters(benchmark::State& state) {
  const double samples = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["ns/sample"] =
      benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x realtime"] = benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
}

std::vector<float> bassSignal() {
  std::vector<float> x(kBlock);
  for (int i = 0; i < kBlock; ++i) {
    const float t = static_cast<float>(i);
    x[static_cast<size_t>(i)] = 0.6f * std::sin(0.0123f * t) + 0.3f * std::sin(0.0861f * t);
  }
  return x;
}

// range(0): algorithm 0..3.
void BM_Distortion(benchmark::State& state) {
  const int algorithm = static_cast<int>(state.range(0));
  static const char* const kNames[] = {"Overdrive", "ClipInferno", "HotFuzz", "Ultracrunch"};
  state.SetLabel(kNames[algorithm]);
  DistortionUnit unit;
  unit.setSampleRate(44100.0f);
  unit.setDisto((algorithm + 0.5f) / 4.0f);
  unit.setDistoParam1(0.7f);
  unit.setDistoParam2(0.5f);
  const std::vector<float> input = bassSignal();
  std::vector<float> left(kBlock), right(kBlock);
  float* channels[2] = {left.data(), right.data()};
  for (auto _ : state) {
    left = input;  // the same loud block every time, never a decayed one
    unit.processDisto(channels, kBlock);
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
  }
  setCounters(state);
}
BENCHMARK(BM_Distortion)->DenseRange(0, 3);

void BM_OversamplerRoundTrip(benchmark::State& state) {
  kov::studio::genlib::Upsampler4x up;
  kov::studio::genlib::Downsampler4x down;
  up.set_nbr_chn(1);
  down.set_nbr_chn(1);
  const std::vector<float> input = bassSignal();
  std::vector<float> buf(kBlock);
  alignas(16) float over[4 * DistortionUnit::kSlice];
  for (auto _ : state) {
    buf = input;
    for (int pos = 0; pos < kBlock; pos += DistortionUnit::kSlice) {
      up.process_block_1ch(0, over, &buf[static_cast<size_t>(pos)], DistortionUnit::kSlice);
      down.process_block_1ch(0, &buf[static_cast<size_t>(pos)], over, DistortionUnit::kSlice);
    }
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  setCounters(state);
}
BENCHMARK(BM_OversamplerRoundTrip);

}  // namespace
