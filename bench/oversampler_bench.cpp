// Cost of the 4x oversampler's round trip (Upsampler4x then Downsampler4x)
// per host sample, in the 64-sample slices the distortion stage uses.
//
// BM_RoundTrip is the shipped code, which runs the all-pass sections four at
// a time on SSE vectors. BM_RoundTripPlainCascade runs the same filters as a
// plain scalar cascade, section after section, to show what the vector
// layout buys. BM_RoundTripDecayTail measures the silence after a loud burst,
// while the filter memories decay through the subnormal range: a cost that
// only the caller's flush-to-zero mode removes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "kovworks/Downsampler4x.h"
#include "kovworks/OversamplerDesign.h"
#include "kovworks/Upsampler4x.h"

namespace {

using kov::studio::genlib::Downsampler4x;
using kov::studio::genlib::Upsampler4x;

constexpr long kSlice = 64;
constexpr long kBlock = 512;  // Host samples per benchmark iteration.

void set_counters(benchmark::State& state, long spl_per_iter) {
  const double samples = static_cast<double>(state.iterations()) * spl_per_iter;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["ns/sample"] =
      benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x realtime"] = benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
}

std::vector<float> test_signal() {
  std::vector<float> x(kBlock);
  for (long i = 0; i < kBlock; ++i) {
    x[i] = 0.5f * std::sin(0.031f * static_cast<float>(i)) +
           0.3f * std::sin(1.7f * static_cast<float>(i));
  }
  return x;
}

void BM_RoundTrip(benchmark::State& state) {
  Upsampler4x us;
  Downsampler4x ds;
  us.set_nbr_chn(1);
  ds.set_nbr_chn(1);
  std::vector<float> buf = test_signal();
  float over[kSlice * 4];
  for (auto _ : state) {
    for (long pos = 0; pos < kBlock; pos += kSlice) {
      us.process_block_1ch(0, over, &buf[pos], kSlice);
      ds.process_block_1ch(0, &buf[pos], over, kSlice);
    }
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  set_counters(state, kBlock);
}
BENCHMARK(BM_RoundTrip);

void BM_RoundTripDecayTail(benchmark::State& state) {
  Upsampler4x us;
  Downsampler4x ds;
  us.set_nbr_chn(1);
  ds.set_nbr_chn(1);
  const std::vector<float> burst = test_signal();
  std::vector<float> buf(kBlock);
  float over[kSlice * 4];
  const long tail = 16 * kBlock;  // Long enough to reach the subnormals.
  for (auto _ : state) {
    state.PauseTiming();
    us.clear_buffers();
    ds.clear_buffers();
    buf = burst;
    for (long pos = 0; pos < kBlock; pos += kSlice) {
      us.process_block_1ch(0, over, &buf[pos], kSlice);
      ds.process_block_1ch(0, &buf[pos], over, kSlice);
    }
    state.ResumeTiming();
    for (long n = 0; n < tail; n += kBlock) {
      std::fill(buf.begin(), buf.end(), 0.0f);
      for (long pos = 0; pos < kBlock; pos += kSlice) {
        us.process_block_1ch(0, over, &buf[pos], kSlice);
        ds.process_block_1ch(0, &buf[pos], over, kSlice);
      }
    }
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  set_counters(state, tail);
}
BENCHMARK(BM_RoundTripDecayTail);

// The same filters as a textbook cascade: branch A runs the even-indexed
// coefficients, branch B the odd-indexed ones, one scalar section at a time.
template <int NC>
class PlainStage {
 public:
  explicit PlainStage(double transition) {
    double coefs[NC];
    kov::studio::genlib::oversampler_design::compute_stage_coefs(coefs, NC, transition);
    for (int i = 0; i < NC; ++i) {
      m_c[i] = static_cast<float>(coefs[i]);
    }
  }

  void up(float* out, const float* in, long n) {
    for (long pos = 0; pos < n; ++pos) {
      out[pos * 2] = branch(0, in[pos]);
      out[pos * 2 + 1] = branch(1, in[pos]);
    }
  }

  void down(float* out, const float* in, long n) {
    for (long pos = 0; pos < n; ++pos) {
      out[pos] = 0.5f * (branch(0, in[pos * 2 + 1]) + branch(1, in[pos * 2]));
    }
  }

 private:
  float branch(int first, float x) {
    for (int i = first; i < NC; i += 2) {
      const float y = m_c[i] * (x - m_y1[i]) + m_x1[i];
      m_x1[i] = x;
      m_y1[i] = y;
      x = y;
    }
    return x;
  }

  float m_c[NC] = {};
  float m_x1[NC] = {};
  float m_y1[NC] = {};
};

void BM_RoundTripPlainCascade(benchmark::State& state) {
  using namespace kov::studio::genlib::oversampler_design;
  PlainStage<kNbrCoefs1x2x> up_1(kTransition1x2x);
  PlainStage<kNbrCoefs2x4x> up_2(kTransition2x4x);
  PlainStage<kNbrCoefs2x4x> down_1(kTransition2x4x);
  PlainStage<kNbrCoefs1x2x> down_2(kTransition1x2x);
  std::vector<float> buf = test_signal();
  float mid[kSlice * 2];
  float over[kSlice * 4];
  for (auto _ : state) {
    for (long pos = 0; pos < kBlock; pos += kSlice) {
      up_1.up(mid, &buf[pos], kSlice);
      up_2.up(over, mid, kSlice * 2);
      down_1.down(mid, over, kSlice * 2);
      down_2.down(&buf[pos], mid, kSlice);
    }
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  set_counters(state, kBlock);
}
BENCHMARK(BM_RoundTripPlainCascade);

}  // namespace
