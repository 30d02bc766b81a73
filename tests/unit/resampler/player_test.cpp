// The table player as the voice drives it: pitch and step arithmetic, the
// played frequency, aliasing over the note range, the level crossfade, very
// low pitches, positions and the no-allocation rule.
// Expected numbers come from reference_values.py beside this file.
#include "PlayerRig.h"

#include "resampler/BaseVoiceState.h"
#include "resampler/WaveSources.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

// Counting allocator: the player must not allocate once set up.
static std::atomic<long> g_alloc_count{0};
void* operator new(std::size_t size) {
  ++g_alloc_count;
  if (void* p = std::malloc(size ? size : 1)) {
    return p;
  }
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using rspl_test::PlayerRig;

std::vector<float> saw_source() {
  std::vector<float> v(rspl::kTableLen);
  rspl::generate_steady_saw(v.data(), rspl::kTableLen, rspl::kTableCycleLen);
  return v;
}

// The voice's note table: 440 * 2^((i - 22) / 12), i = 1..60.
double note_freq(int i) { return 440.0 * std::pow(2.0, (i - 22) / 12.0); }

TEST(TablePlayerPitch, NotePitchAndHeadSteps) {
  // From reference_values.py.
  EXPECT_EQ(rspl::pitch_for_note(523.2511306011972, 0.5, 44100), 105045);
  EXPECT_EQ(rspl::pitch_for_note(130.8127826502993, 0.0, 44100), -91562);
  EXPECT_EQ(rspl::pitch_for_note(130.8127826502993, 0.5, 96000), -99574);
  EXPECT_EQ(rspl::pitch_for_note(2093.004522404789, 1.0, 22050), 367189);
  // No note yet, or a broken rate: a defined, very low pitch.
  EXPECT_EQ(rspl::pitch_for_note(0.0, 0.5, 44100), rspl::kMinPitch);
  EXPECT_EQ(rspl::pitch_for_note(440.0, 0.5, 0.0), rspl::kMinPitch);
  EXPECT_EQ(rspl::pitch_for_note(1e9, 1.0, 44100), rspl::kMaxPitch);

  struct Case {
    int pitch;
    int level;
    bool ovr;
    int64_t step;
  };
  const Case cases[] = {
      {0, 0, true, 2147483648},       {32768, 0, true, 3037000499},   {98304, 1, true, 3037000499},
      {-32768, 0, false, 3037000499}, {-65536, 0, false, 2147483648}, {-98304, 0, false, 1518500249},
      {-180224, 0, false, 638450708},
  };
  for (const Case& c : cases) {
    rspl::BaseVoiceState v;
    v._table = rspl::BaseVoiceState::level_for_pitch(c.pitch);
    v._ovrspl_flag = rspl::BaseVoiceState::ovrspl_for_pitch(c.pitch);
    EXPECT_EQ(v._table, c.level) << c.pitch;
    EXPECT_EQ(v._ovrspl_flag, c.ovr) << c.pitch;
    v.compute_step(c.pitch);
    EXPECT_EQ(v._step, c.step) << c.pitch;
  }
}

TEST(TablePlayerPitch, FundamentalAtSeveralNotesAndRates) {
  PlayerRig rig(saw_source());
  struct Case {
    int note;
    double tuning;
    double rate;
  };
  // Low notes with Tuning 0 reach 1.4 octaves (44.1 kHz) and 3.5 octaves
  // (192 kHz) below the table's natural rate; note 25 sits on level 1.
  const Case cases[] = {{1, 0.0, 44100},  {1, 0.5, 44100},  {25, 0.5, 44100}, {60, 1.0, 44100},
                        {13, 0.3, 48000}, {40, 0.7, 48000}, {1, 0.0, 96000},  {60, 0.5, 96000},
                        {1, 0.0, 192000}, {30, 0.9, 22050}};
  for (const Case& c : cases) {
    const double expected_hz = note_freq(c.note) * 0.25 * std::pow(2.0, 2.0 * c.tuning - 1.0);
    const int pitch = rspl::pitch_for_note(note_freq(c.note), c.tuning, c.rate);
    rig.player->set_playback_pos(0);
    const std::vector<float> out = rig.render(1 << 17, pitch);
    const double hz = rspl_test::zero_crossing_freq(out, 256) * c.rate;
    const double cents = 1200.0 * std::log2(hz / expected_hz);
    EXPECT_NEAR(cents, 0.0, 0.5) << "note " << c.note << " at " << c.rate;
    // Level: harmonic n of a saw from -1 to 1 has amplitude 2 / (pi n), so
    // the harmonics below 0.45 of the rate give RMS^2 = 2 / pi^2 * sum 1/n^2
    // (1/3 for all of them). A wrong gain on either path shows here.
    double expected2 = 0.0;
    for (int h = 1; h * expected_hz < 0.45 * c.rate; ++h) {
      expected2 += 2.0 / (M_PI * M_PI) / (double(h) * h);
    }
    double sum2 = 0.0;
    for (size_t i = 256; i < out.size(); ++i) {
      sum2 += double(out[i]) * out[i];
    }
    EXPECT_NEAR(std::sqrt(sum2 / double(out.size() - 256)), std::sqrt(expected2), 0.005) << c.note;
  }
}

TEST(TablePlayerAliasing, SawSweepAt44k) {
  // Every note of the voice at Tuning 0.5. The decimator's transition band
  // lets the harmonics just above Nyquist fold into the top strip
  // (20 kHz to 22.05 kHz); below 20 kHz aliases stay 60 dB down.
  PlayerRig rig(saw_source());
  const double rate = 44100.0;
  const size_t n = 1 << 16, start = 4096;
  double worst_audible = -400.0, worst_full = -400.0;
  int worst_note = 0;
  for (int i = 1; i <= 60; ++i) {
    const double f0 = note_freq(i) * 0.25;
    const int pitch = rspl::pitch_for_note(note_freq(i), 0.5, rate);
    const std::vector<float> out = rig.render(int(start + n), pitch);
    const auto audible = rspl_test::measure_aliases(out, start, n, rate, f0, 20000.0);
    const auto full = rspl_test::measure_aliases(out, start, n, rate, f0, rate / 2);
    EXPECT_LT(audible.worst_db, -60.0) << "note " << i << " at " << audible.worst_hz << " Hz";
    EXPECT_LT(full.worst_db, -30.0) << "note " << i << " at " << full.worst_hz << " Hz";
    if (audible.worst_db > worst_audible) {
      worst_audible = audible.worst_db;
      worst_note = i;
    }
    worst_full = std::max(worst_full, full.worst_db);
  }
  std::printf("worst alias below 20 kHz: %.1f dB (note %d); up to Nyquist: %.1f dB\n", worst_audible,
              worst_note, worst_full);
}

TEST(TablePlayerCrossfade, OneFadeOfSixtyFourSamplesPerLevelChange) {
  PlayerRig rig(saw_source());
  rspl::ResamplerFlt& player = *rig.player;
  float spl = 0.0f;
  // Renders one sample at a time; a call renders inside a fade exactly when
  // it moves the fade position.
  auto count_faded_samples = [&](int nbr_spl) {
    int faded = 0;
    for (int i = 0; i < nbr_spl; ++i) {
      const int before = player.get_fade_pos();
      const bool was_fading = player.is_fading();
      player.interpolate_block(&spl, 1);
      faded += (player.get_fade_pos() != before || was_fading) ? 1 : 0;
    }
    return faded;
  };

  // Within a level, and the initial level 0 oversampled head: no fade.
  player.set_pitch(30000);
  EXPECT_EQ(count_faded_samples(10), 0);
  player.set_pitch(60000);
  EXPECT_EQ(count_faded_samples(10), 0);

  // Each crossing fades for exactly 64 samples, then the head sits where
  // the pitch asks.
  for (int target : {70000, 140000, 120000, -1000, 2000, 5 * 65536 + 7}) {
    player.set_pitch(target);
    EXPECT_EQ(count_faded_samples(300), 64) << target;
    EXPECT_FALSE(player.is_fading());
    EXPECT_EQ(player.use_cur_voice()._table, rspl::BaseVoiceState::level_for_pitch(target));
    EXPECT_EQ(player.use_cur_voice()._ovrspl_flag, target >= 0);
  }
  // Two crossings while a fade runs: the second fade follows the first.
  player.set_pitch(3 * 65536);
  EXPECT_EQ(count_faded_samples(10), 10);
  player.set_pitch(65536);
  EXPECT_EQ(count_faded_samples(300), 54 + 64);

  // A glide over three octaves in 32-sample chunks: one fade per boundary.
  float first[32];
  rspl::render_chunk(player, first, 32, 3000);
  count_faded_samples(100);
  int fades = 0;
  bool was_fading = false;
  int prev_level = 0;
  int level_changes = 0;
  for (int chunk = 0; chunk < 400; ++chunk) {
    const int pitch = 3000 + chunk * 500;  // 0.05 to 3.1 octaves
    float out[32];
    rspl::render_chunk(player, out, 32, pitch);
    const int level = rspl::BaseVoiceState::level_for_pitch(pitch);
    level_changes += (level != prev_level) ? 1 : 0;
    prev_level = level;
    fades += (player.is_fading() && !was_fading) ? 1 : 0;
    was_fading = player.is_fading();
  }
  EXPECT_EQ(level_changes, 3);
  EXPECT_EQ(fades, 3);
}

TEST(TablePlayerCrossfade, GlideAcrossBoundariesHasNoJump) {
  // A sine table makes the ideal output a sine: any jump, gain step or a
  // head playing at the wrong pitch during a fade shows up as a bent
  // envelope or a spike in the second difference.
  PlayerRig rig(rspl_test::sine_source());
  rspl::ResamplerFlt& player = *rig.player;
  const struct {
    int from, to;
  } glides[] = {
      {-20000, 20000},   // normal head to oversampled head (level 0)
      {20000, -20000},   // and back
      {50000, 80000},    // level 0 to level 1
      {200000, 180000},  // level 3 to level 2
  };
  for (const auto& g : glides) {
    player.set_playback_pos(0);
    player.clear_buffers();
    const int nbr_chunks = 600;
    std::vector<float> out(size_t(nbr_chunks) * 32);
    for (int c = 0; c < nbr_chunks; ++c) {
      const int pitch = c < 100 ? g.from : g.from + (g.to - g.from) * std::min(c - 100, 400) / 400;
      rspl::render_chunk(player, out.data() + c * 32, 32, pitch);
    }
    const double f_max = std::pow(2.0, std::max(g.from, g.to) / 65536.0) / 1024.0;
    // The interpolators' own error (64 phases, linear between them) adds
    // about 1e-4 of noise per sample; a click is larger.
    const double d2_bound = 1.05 * std::pow(2.0 * M_PI * f_max, 2.0) + 5e-4;
    double worst_d2 = 0.0;
    for (size_t i = 3200 + 2; i < out.size(); ++i) {
      worst_d2 = std::max(worst_d2, double(std::fabs(out[i] - 2 * out[i - 1] + out[i - 2])));
    }
    EXPECT_LT(worst_d2, d2_bound) << g.from << " -> " << g.to;
    // Peak per table cycle (1024 / f... samples) stays at the sine's 1.0.
    const size_t span = size_t(1.0 / std::pow(2.0, std::min(g.from, g.to) / 65536.0) * 1024.0) + 8;
    for (size_t s = 3200; s + span < out.size(); s += span / 2) {
      float peak = 0.0f;
      for (size_t i = s; i < s + span; ++i) {
        peak = std::max(peak, std::fabs(out[i]));
      }
      EXPECT_NEAR(peak, 1.0, 0.02) << g.from << " -> " << g.to << " at " << s;
    }
  }
}

TEST(TablePlayerBounds, VeryLowPitchesPositionsAndWrap) {
  PlayerRig rig(saw_source());
  rspl::ResamplerFlt& player = *rig.player;
  // Far below the natural rate: plays (slowly) and stays finite.
  for (int pitch : {-65536, -131072, -300000, -1000000, rspl::kMinPitch}) {
    player.set_playback_pos(int64_t(1000) << 32);
    const std::vector<float> out = rig.render(4096, pitch);
    for (float v : out) {
      ASSERT_TRUE(std::isfinite(v)) << pitch;
      ASSERT_LT(std::fabs(v), 1.5f) << pitch;
    }
  }
  // Position round trip: levels keep position >> level.
  player.set_pitch(3 * 65536 + 100);
  float spl;
  player.interpolate_block(&spl, 1);  // fade to level 3 begins
  player.set_playback_pos((int64_t(5000) << 32) + 0x12345677);
  EXPECT_EQ(player.get_playback_pos(), (int64_t(5000) << 32) + 0x12345670);

  // The wrap: past half the table, back to cycle 16 at the same phase.
  PlayerRig rig2(saw_source());
  rig2.player->set_playback_pos((int64_t(16385 + 3 * 1024 + 7) << 32) + 0x80000000);
  rspl::wrap_playback_pos(*rig2.player);
  EXPECT_EQ(rig2.player->get_playback_pos(), (int64_t(16384 + 1 + 7) << 32) + 0x80000000);
  rig2.player->set_playback_pos(int64_t(16384) << 32);
  rspl::wrap_playback_pos(*rig2.player);
  EXPECT_EQ(rig2.player->get_playback_pos(), int64_t(16384) << 32);

  // Hours of playback at the highest pitch stay inside the table.
  const std::vector<float> hi = rig2.render(1 << 18, rspl::kMaxPitch);
  EXPECT_LT(rig2.player->get_playback_pos() >> 32, rspl::kTableLen);
}

TEST(TablePlayerRealtime, BlockSplitsAgreeAndNothingAllocates) {
  PlayerRig a(saw_source()), b(saw_source());
  const int pitches[] = {-70000, -70000, 20000, 90000, 90000, 150000, 10000};
  std::vector<float> whole(7 * 256), split(7 * 256);
  const long before = g_alloc_count.load();
  for (int k = 0; k < 7; ++k) {
    a.player->set_pitch(pitches[k]);
    a.player->interpolate_block(whole.data() + k * 256, 256);
    b.player->set_pitch(pitches[k]);
    int done = 0;
    for (int len : {1, 7, 64, 13, 100, 71}) {
      b.player->interpolate_block(split.data() + k * 256 + done, len);
      done += len;
    }
  }
  a.player->set_sample(*b.mip_map);
  a.player->clear_buffers();
  EXPECT_EQ(g_alloc_count.load() - before, 0);
  for (size_t i = 0; i < whole.size(); ++i) {
    ASSERT_NEAR(whole[i], split[i], 2e-6) << i;
  }
}

}  // namespace
