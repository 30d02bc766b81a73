// The tempo-synced echo: lengths, glides, tone control, switching, ping-pong
// and feedback. Expected numbers come from delay_expected.py (beside this
// file), which works them out from the rules of the echo.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "effects/Delay.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
using Samples = std::vector<float>;

// The dry input in both channels, as the voice leaves it, in 512-frame blocks.
struct Block {
  Samples left, right;
};
Block run(Delay& d, const Samples& dry) {
  Block b{dry, dry};
  for (size_t start = 0; start < dry.size(); start += 512) {
    float* ch[2] = {b.left.data() + start, b.right.data() + start};
    d.process(ch, int(std::min<size_t>(512, dry.size() - start)));
  }
  return b;
}
Samples impulse(size_t n, float height = 1.0f) {
  Samples v(n, 0.0f);
  v[0] = height;
  return v;
}

// Active, unit echo level, no feedback, no tone control, ping-pong off,
// read head settled at `length` samples.
void settle(Delay& d, int length) {
  d.setActive(true);
  d.setVolume(1.0f);
  d.setTime(length);
  for (int guard = 0; guard < 2000 && d.getLine().isGliding(); ++guard) run(d, Samples(512));
  ASSERT_FALSE(d.getLine().isGliding());
}

}  // namespace

TEST(Delay, LengthsFromTimeSyncTempoAndRate) {
  // One delay through every step in turn: {sync, tempo, rate, time value,
  // length}; a tempo or rate of 0 (or a NaN) is a value the host or editor
  // sent that must change nothing. 120 BPM at 44100 Hz is 22050 samples a beat.
  const struct {
    int sync;  // -1 leaves it as it is
    double tempo, rate;
    float time;
    int length;
  } steps[] = {
      {0, 0, 0, 0.5f, 22050},         {1, 0, 0, 0.5f, 11025},  // sync snaps to 1/8 (step 3 of 7)
      {0, 0, 0, 3.0f / 7, 18900},                              // trunc(2 * 3/7 * 22050)
      {1, 0, 0, 1.2f, 176},           // beyond the last note value: the shortest length
      {-1, 40, 44100, 1.0f, 131071},  // two beats at 40 BPM do not fit the line
      {-1, 97, 44100, 0.5f, 13639},   {-1, 120, 48000, 0.5f, 12000},
      {-1, -120, 44100, 0.5f, 12000}, {-1, 1e-300, 44100, 0.5f, 131071},
      {-1, 1e300, 44100, 0.5f, 176},  // absurd but finite
      {0, 120, 44100, 0.3f, 13230},   {0, 0, 0, -0.5f, 176},
  };
  Delay d(88200);
  // Synced, the eight note values from 1/32 to 1/2.
  d.setSync(true);
  const int notes[8] = {2756, 5512, 8268, 11025, 16537, 22050, 33075, 44100};
  for (int k = 0; k < 8; ++k) {
    d.setTimeF((k + 0.5f) / 7);
    EXPECT_EQ(d.getLength(), notes[k]) << k;
  }
  for (const auto& s : steps) {
    if (s.sync >= 0) d.setSync(s.sync == 1);
    if (s.tempo != 0) d.setSamplePerBeat(s.tempo, s.rate);
    d.setTimeF(s.time);
    EXPECT_EQ(d.getLength(), s.length) << s.tempo << " BPM " << s.rate << " Hz time " << s.time;
  }
  EXPECT_EQ(d.getLine().getTargetDelay(), 176);  // the line follows
  d.setSampleRate(48000.0f);
  for (float rate : {0.0f, -1.0f, 0.99f, kNaN, HUGE_VALF}) d.setSampleRate(rate);
  EXPECT_EQ(d.getSampleRate(), 48000);
  EXPECT_DOUBLE_EQ(d.getSamplesPerBeat(), 24000.0);
  for (auto [asked, kept] : {std::pair{5, 176}, {INT_MIN, 176}, {200000, 131071}, {INT_MAX, 131071}}) {
    d.setTime(asked);
    EXPECT_EQ(d.getLength(), kept) << asked;
  }
}

TEST(Delay, EchoesArriveAtTheirLevelsWithLimitedFeedback) {
  Delay d(88200);
  settle(d, 11025);
  d.setVolume(0.25f);
  d.setFeedback(0.5f);
  // Echo n arrives n lengths later at volume * feedback^(n - 1), on both sides.
  const Block b = run(d, impulse(4 * 11025 + 10));
  const float level[5] = {1.0f, 0.25f, 0.125f, 0.0625f, 0.03125f};
  for (size_t i = 0; i < b.left.size(); ++i) {
    ASSERT_EQ(b.left[i], i % 11025 == 0 ? level[i / 11025] : 0.0f) << i;
    ASSERT_EQ(b.right[i], b.left[i]) << i;
  }
  // At unit volume: the feedback is limited to 92; a non-finite one is refused.
  settle(d, 176);
  d.setFeedback(150.0f);
  Samples y = run(d, impulse(3 * 176 + 1)).left;
  EXPECT_FLOAT_EQ(y[352], 92.0f);
  EXPECT_FLOAT_EQ(y[528], 92.0f * 92.0f);
  for (float f : {0.75f, kNaN, HUGE_VALF}) d.setFeedback(f);
  // Switched off, the delay leaves the audio alone and forgets its line.
  d.setActive(false);
  EXPECT_EQ(run(d, impulse(400)).left, impulse(400));
  d.setActive(true);
  EXPECT_FLOAT_EQ(run(d, impulse(2 * 176 + 1)).left[352], 0.75f);
}

// The line runs settled at `from` with the write counter at `start`; an
// impulse enters at output 0; the time changes to `to` just before output
// `change`. The heads glide at `speed` until they meet `meet` reads later;
// the impulse comes out at `hits` and nowhere else. A longer time plays at
// half speed (the impulse twice, an octave down), a shorter one at 1.5x
// (every third sample skipped, a fifth up). The start counters put the end
// of the array between the heads, and let it pass during the glide.
TEST(Delay, GlidesToANewTime) {
  const struct {
    int from, to, change;
    double speed;
    int meet;
    std::vector<size_t> hits;
  } glides[] = {{11025, 22050, 1000, 0.5, 22049, {21050, 21051}},
                {22050, 11025, 1001, 1.5, 22050, {15034}},
                {22050, 11025, 1000, 1.5, 22050, {}}};
  for (int start : {60000, 14000, 120000}) {
    for (const auto& g : glides) {
      Delay d(88200);
      settle(d, g.from);
      run(d, Samples(size_t((start - d.getLine().getWriteCounter() + Delay::kLineSize) % Delay::kLineSize)));
      ASSERT_EQ(d.getLine().getWriteCounter(), start);
      Samples out = run(d, impulse(size_t(g.change))).left;
      d.setTime(g.to);
      const Samples gliding = run(d, Samples(size_t(g.meet))).left;
      EXPECT_DOUBLE_EQ(d.getLine().getReadSpeed(), g.speed);
      EXPECT_EQ(d.getLine().getCurrentDelay(), g.from);
      const Samples after = run(d, Samples(30001)).left;
      EXPECT_DOUBLE_EQ(d.getLine().getReadSpeed(), 1.0);
      EXPECT_EQ(d.getLine().getCurrentDelay(), g.to);
      out.insert(out.end(), gliding.begin(), gliding.end());
      out.insert(out.end(), after.begin(), after.end());
      for (size_t i = 1; i < out.size(); ++i) {
        const bool hit = std::find(g.hits.begin(), g.hits.end(), i) != g.hits.end();
        ASSERT_EQ(out[i], hit ? 1.0f : 0.0f) << start << ": " << g.from << " -> " << g.to << ", output " << i;
      }
    }
  }
}

TEST(Delay, ToneControl) {
  // Below the middle a low-pass at the square of the cut (never below 0.1²)
  // with DC gain 1 / (1 + r), within the anti-denormal dither (2e-5 a
  // sample); above, three one-pole high-pass sections whose output is
  // clipped to +-1 before it enters the line.
  const struct {
    float tune;
    int mode;
    float hp;
    double dcGain;
  } cases[] = {{0.25f, 1, 0.0068027f, 0.771044563},
               {0.05f, 1, 0.0068027f, 0.751179878},
               {0.5f, 0, 0.0068027f, 1.0},
               {1.0f, 2, 0.0578027f, 0.0},
               {0.75f, 2, 0.0323027f, 0.0}};
  Delay d(88200);
  settle(d, 176);
  for (const auto& c : cases) {
    d.setTune(c.tune);
    EXPECT_EQ(d.getFilterMode(), c.mode) << c.tune;
    EXPECT_NEAR(d.getHpCoefficient(), c.hp, 1e-7) << c.tune;
    EXPECT_NEAR(run(d, Samples(30000, 0.5f)).left.back() - 0.5f, 0.5 * c.dcGain, 1e-4) << c.tune;
  }
  Delay h(88200);  // a pulse of 5 enters the line clipped to 1
  settle(h, 176);
  h.setTune(0.75f);
  const Samples y = run(h, impulse(180, 5.0f)).left;
  EXPECT_NEAR(y[176], 1.0, 1e-6);
  EXPECT_NEAR(y[177], -0.439085071, 1e-6);
}

// With ping-pong the echo changes sides every `length` samples, crossfading
// over 882 samples (20 ms); the dry signal stays in both channels. The same
// input and changes give the same output in blocks of any size.
TEST(Delay, PingPongAndBlockSizes) {
  const int L = 2756;
  Delay d(88200);
  settle(d, L);
  d.setVolume(0.5f);
  run(d, Samples(3 * L, 0.25f));  // the echo is now a steady 0.125
  d.setPingPong(true);
  const Block b = run(d, Samples(2 * L, 0.25f));
  std::vector<size_t> flips;  // the last samples with the echo wholly on one side
  for (size_t i = 0; i + 1 < b.left.size(); ++i) {
    ASSERT_NEAR(b.left[i] + b.right[i], 0.625f, 1e-6) << i;
    if (std::max(b.left[i], b.right[i]) > 0.375f - 1e-7f &&
        std::max(b.left[i + 1], b.right[i + 1]) < 0.375f - 1e-5f)
      flips.push_back(i);
  }
  ASSERT_EQ(flips.size(), 2u);
  EXPECT_EQ(flips[1] - flips[0], size_t(L));
  const Samples& from = b.left[flips[0]] > b.right[flips[0]] ? b.left : b.right;
  const std::pair<int, double> fade[] = {
      {1, 0.9988662}, {441, 0.499994397}, {881, 0.00112571486}, {882, 0.0}};
  for (auto [at, g] : fade) EXPECT_NEAR(from[flips[0] + size_t(at)] - 0.25f, g * 0.125, 1e-6) << at;

  auto render = [](int blockSize) {
    Delay e(88200);
    e.setActive(true);
    e.setVolume(0.6f);
    e.setFeedback(0.7f);
    e.setTune(0.3f);
    e.setPingPong(true);
    Samples dry(40000);
    for (size_t i = 0; i < dry.size(); ++i) dry[i] = std::sin(0.37f * float(i * i % 1013));
    Block out{dry, dry};
    for (size_t start = 0; start < dry.size();) {
      if (start == 20000) e.setTimeF(0.3f);  // a glide starting at the same sample
      const size_t end = std::min(start + size_t(blockSize), start < 20000 ? size_t(20000) : dry.size());
      float* ch[2] = {out.left.data() + start, out.right.data() + start};
      e.process(ch, int(end - start));
      start = end;
    }
    out.left.insert(out.left.end(), out.right.begin(), out.right.end());
    return out.left;
  };
  const Samples ref = render(500);
  for (int bs : {1, 8, 64, 1000}) EXPECT_EQ(render(bs), ref) << "block size " << bs;
}
