// Cost of the band-limited table oscillator per output sample at 44100 Hz,
// rendered in 32-sample chunks as the voice does, for the saw and the
// square pyramids at three pitches: the lowest note (normal head, 24 taps),
// note 25 (level 1, oversampled, 12 taps plus the decimator) and the highest
// note. A fourth case glides across level boundaries so it pays for the
// crossfades.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "resampler/InterpPack.h"
#include "resampler/MipMapFlt.h"
#include "resampler/ResamplerFlt.h"
#include "resampler/TableOscillator.h"
#include "resampler/WaveSources.h"

namespace {

constexpr double kRate = 44100.0;
constexpr int kChunksPerIteration = 16;  // 512 samples

struct Rig {
  explicit Rig(bool square) {
    std::vector<float> src(rspl::kTableLen);
    if (square) {
      rspl::generate_squarevirus(src.data(), rspl::kTableLen);
    } else {
      rspl::generate_steady_saw(src.data(), rspl::kTableLen, rspl::kTableCycleLen);
    }
    rspl::build_oscillator_mip_map(*mip_map, src.data());
    player->set_sample(*mip_map);
    player->set_interp(*interp);
    player->clear_buffers();
  }
  std::unique_ptr<rspl::MipMapFlt> mip_map = std::make_unique<rspl::MipMapFlt>();
  std::unique_ptr<rspl::InterpPack> interp = std::make_unique<rspl::InterpPack>();
  std::unique_ptr<rspl::ResamplerFlt> player = std::make_unique<rspl::ResamplerFlt>();
};

double noteFreq(int note) { return 440.0 * std::pow(2.0, (note - 22) / 12.0); }

// state.range(0): 0 saw, 1 square; state.range(1): step note 1..60, or 0 for
// a glide sweeping notes 1..60 and back.
void BM_TableOscillator(benchmark::State& state) {
  Rig rig(state.range(0) != 0);
  const int note = static_cast<int>(state.range(1));
  const int fixedPitch = note > 0 ? rspl::pitch_for_note(noteFreq(note), 0.5, kRate) : 0;
  float out[rspl::kChunkLen * kChunksPerIteration];
  int glideChunk = 0;
  for (auto _ : state) {
    for (int c = 0; c < kChunksPerIteration; ++c) {
      int pitch = fixedPitch;
      if (note == 0) {
        // One sweep up and down every 2 x 1024 chunks (1.5 s).
        const int t = glideChunk++ & 2047;
        const double n = 1.0 + 59.0 * (t < 1024 ? t : 2047 - t) / 1023.0;
        pitch = rspl::pitch_for_note(noteFreq(0) * std::pow(2.0, n / 12.0), 0.5, kRate);
      }
      rspl::render_chunk(*rig.player, out + c * rspl::kChunkLen, rspl::kChunkLen, pitch);
    }
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  const double samples = static_cast<double>(state.iterations()) * rspl::kChunkLen * kChunksPerIteration;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["per sample"] =
      benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x realtime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_TableOscillator)->ArgNames({"square", "note"})->ArgsProduct({{0, 1}, {1, 25, 60, 0}});
