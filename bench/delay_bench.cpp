// Cost of the echo per sample, in 512-frame blocks, for the heaviest
// settings (ping-pong and the low-pass tone control) and the plain echo.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "effects/Delay.h"

namespace {

constexpr int kBlock = 512;

void runDelay(benchmark::State& state, float tune, bool pingPong) {
  Delay delay(88200);
  delay.setActive(true);
  delay.setVolume(0.3f);
  delay.setFeedback(0.6f);
  delay.setSync(true);
  delay.setTimeF(0.5f);
  delay.setTune(tune);
  delay.setPingPong(pingPong);

  std::vector<float> dry(kBlock), left(kBlock), right(kBlock);
  for (int i = 0; i < kBlock; ++i) dry[i] = 0.5f * std::sin(0.05f * static_cast<float>(i));

  for (auto _ : state) {
    left = dry;
    right = dry;
    float* channels[2] = {left.data(), right.data()};
    delay.process(channels, kBlock);
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
    benchmark::ClobberMemory();
  }
  const double samples = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  // Time per sample (shown with its SI prefix, e.g. "17n" for 17 ns), and
  // how many times faster than real time at 44100 Hz.
  state.counters["per sample"] =
      benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x realtime"] = benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
}

void BM_DelayPingPongLowPass(benchmark::State& state) { runDelay(state, 0.25f, true); }
void BM_DelayPingPongHighPass(benchmark::State& state) { runDelay(state, 0.75f, true); }
void BM_DelayPlain(benchmark::State& state) { runDelay(state, 0.5f, false); }

}  // namespace

BENCHMARK(BM_DelayPingPongLowPass);
BENCHMARK(BM_DelayPingPongHighPass);
BENCHMARK(BM_DelayPlain);
