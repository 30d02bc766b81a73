// Tests of the tempo-synced echo: lengths, glides, tone control, switching,
// ping-pong and feedback. Expected numbers come from delay_expected.py
// (beside this file), which works them out from the rules of the echo.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "effects/Delay.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
using Samples = std::vector<float>;

// A synced time value that picks note value k (0..7), away from a boundary.
float syncStep(int k) { return (static_cast<float>(k) + 0.5f) / 7.0f; }

// The dry input goes to both channels, as the voice leaves it.
struct Block {
  Samples left, right;
  explicit Block(const Samples& dry) : left(dry), right(dry) {}
  Block& run(Delay& d, int blockSize = 512) {
    const int n = static_cast<int>(left.size());
    for (int start = 0; start < n; start += blockSize) {
      float* ch[2] = {left.data() + start, right.data() + start};
      d.process(ch, std::min(blockSize, n - start));
    }
    return *this;
  }
};

Block runDry(Delay& d, const Samples& dry) { return Block(dry).run(d); }
Samples zeros(size_t n) { return Samples(n, 0.0f); }
Samples impulse(size_t n, float height = 1.0f) {
  Samples v(n, 0.0f);
  v[0] = height;
  return v;
}

// Feeds silence until the write counter reaches `target` (1..131072).
void advanceWriteCounterTo(Delay& d, int target) {
  const int n = (target - d.getLine().getWriteCounter() + Delay::kLineSize) % Delay::kLineSize;
  runDry(d, zeros(static_cast<size_t>(n)));
  ASSERT_EQ(d.getLine().getWriteCounter(), target);
}

// Active, unit echo level, no feedback, no tone control, ping-pong off,
// read head settled at `length` samples.
void makeSettled(Delay& d, int length) {
  d.setActive(true);
  d.setVolume(1.0f);
  d.setFeedback(0.0f);
  d.setTime(length);
  for (int guard = 0; guard < 2000 && d.getLine().isGliding(); ++guard) runDry(d, zeros(512));
  ASSERT_FALSE(d.getLine().isGliding());
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(DelayLength, ConstructionDefaultsAndSync) {
  Delay d(88200);
  EXPECT_FALSE(d.isActive());
  EXPECT_EQ(d.getLength(), 22050);
  EXPECT_DOUBLE_EQ(d.getSamplesPerBeat(), 22050.0);
  EXPECT_EQ(d.getSampleRate(), 44100);
  EXPECT_EQ(d.getFilterMode(), 0);
  EXPECT_FLOAT_EQ(d.getHpCoefficient(), 0.0068027f);
  EXPECT_FLOAT_EQ(d.getLpCut(), 1.0f);
  EXPECT_EQ(d.getLine().getSize(), 131072);

  // The instrument's defaults: time 0.5 with sync off is one beat; sync on
  // turns it into an eighth note and snaps the time value to step 3 of 7.
  d.setTimeF(0.5f);
  EXPECT_EQ(d.getLength(), 22050);
  d.setSync(true);
  EXPECT_EQ(d.getLength(), 11025);
  EXPECT_FLOAT_EQ(d.getTimeF(), 3.0f / 7.0f);
  d.setSync(false);
  EXPECT_EQ(d.getLength(), 18900);  // trunc(2 * 3/7 * 22050)
  d.setSync(true);

  // 120 BPM, 44100 Hz: every note value, and the edge values of the control.
  const int expected[8] = {2756, 5512, 8268, 11025, 16537, 22050, 33075, 44100};
  for (int k = 0; k < 8; ++k) {
    d.setTimeF(syncStep(k));
    EXPECT_EQ(d.getLength(), expected[k]) << "step " << k;
    EXPECT_FLOAT_EQ(d.getTimeF(), static_cast<float>(k) / 7.0f) << "step " << k;
  }
  const std::pair<float, int> edges[] = {{0.5f, 11025}, {1.0f, 44100}, {0.0f, 2756}, {1.2f, 176}};
  for (auto [f, len] : edges) {
    d.setTimeF(f);
    EXPECT_EQ(d.getLength(), len) << f;
  }
}

TEST(DelayLength, TempoRateAndLimits) {
  Delay d(88200);
  d.setSync(true);
  // 40 BPM: 66150 samples per beat; two beats do not fit the line.
  d.setSamplePerBeat(40.0, 44100.0);
  d.update();
  EXPECT_DOUBLE_EQ(d.getSamplesPerBeat(), 66150.0);
  d.setTimeF(1.0f);
  EXPECT_EQ(d.getLength(), 131071);
  EXPECT_EQ(d.getLine().getTargetDelay(), 131071);
  d.setSamplePerBeat(97.0, 44100.0);  // 27278.35 samples per beat
  d.setTimeF(0.5f);
  EXPECT_EQ(d.getLength(), 13639);

  // Free time: 0 to 2 beats, at least 176 samples.
  d.setSamplePerBeat(120.0, 44100.0);
  d.setSync(false);
  const std::pair<float, int> free[] = {{0.0f, 176}, {0.3f, 13230}, {1.0f, 44100}, {-0.5f, 176}};
  for (auto [f, len] : free) {
    d.setTimeF(f);
    EXPECT_EQ(d.getLength(), len) << f;
  }
  d.setTimeF(0.5f);
  d.setSamplePerBeat(40.0, 44100.0);
  EXPECT_EQ(d.getLength(), 22050) << "the caller follows with update()";
  d.update();
  EXPECT_EQ(d.getLength(), 66150);
  for (int n : {5, INT_MIN}) {
    d.setTime(n);
    EXPECT_EQ(d.getLength(), 176);
  }
  for (int n : {200000, INT_MAX}) {
    d.setTime(n);
    EXPECT_EQ(d.getLength(), 131071);
  }
}

TEST(DelayLength, SampleRateChangesAndBadValuesAreIgnored) {
  Delay d(88200);
  d.setSync(true);
  d.setTimeF(0.5f);
  d.setSampleRate(48000.0f);
  d.update();
  EXPECT_EQ(d.getSampleRate(), 48000);
  EXPECT_EQ(d.getLength(), 12000);

  // A zero, negative, sub-hertz or non-finite rate or tempo changes nothing.
  for (double t : {0.0, -120.0, std::nan(""), HUGE_VAL}) d.setSamplePerBeat(t, 44100.0);
  for (double r : {0.0, -44100.0, 0.5, std::nan(""), HUGE_VAL, 1e300}) d.setSamplePerBeat(120.0, r);
  for (float r : {0.0f, -1.0f, 0.99f, kNaN, kInf}) d.setSampleRate(r);
  d.setTimeF(kNaN);
  d.update();
  EXPECT_EQ(d.getSampleRate(), 48000);
  EXPECT_DOUBLE_EQ(d.getTempo(), 120.0);
  EXPECT_DOUBLE_EQ(d.getSamplesPerBeat(), 24000.0);
  EXPECT_EQ(d.getLength(), 12000);

  // Absurd but finite values must not overflow the length.
  d.setSamplePerBeat(1e-300, 44100.0);
  d.update();
  EXPECT_EQ(d.getLength(), 131071);
  d.setSamplePerBeat(1e300, 44100.0);
  d.update();
  EXPECT_EQ(d.getLength(), 176);
}

// ---------------------------------------------------------------------------

TEST(DelayEcho, ArrivalLevelFeedbackAndSource) {
  Delay d(88200);
  makeSettled(d, 11025);
  d.setVolume(0.25f);
  d.setFeedback(0.5f);
  Block b = runDry(d, impulse(4 * 11025 + 10));
  // Echo n arrives n * length later at volume * feedback^(n - 1), on both sides.
  const float level[5] = {1.0f, 0.25f, 0.125f, 0.0625f, 0.03125f};
  for (size_t i = 0; i < b.left.size(); ++i) {
    const float want = i % 11025 == 0 ? level[i / 11025] : 0.0f;
    ASSERT_EQ(b.left[i], want) << i;
    ASSERT_EQ(b.right[i], want) << i;
  }

  Delay e(88200);
  makeSettled(e, 2756);
  e.setVolume(0.5f);
  e.setFeedback(0.3f);
  Block c = runDry(e, impulse(6 * 2756 + 1));
  for (int n = 1; n <= 6; ++n) EXPECT_NEAR(c.left[n * 2756], 0.5 * std::pow(0.3, n - 1), 1e-6) << n;

  // Only the left channel feeds the line; with ping-pong off both outputs
  // become the left dry signal plus the echo.
  Delay f(88200);
  makeSettled(f, 176);
  Block onlyRight(zeros(400));
  onlyRight.right[0] = 1.0f;
  for (float v : onlyRight.run(f).left) ASSERT_EQ(v, 0.0f);
  Block onlyLeft(zeros(400));
  onlyLeft.left[0] = 1.0f;
  onlyLeft.run(f);
  EXPECT_FLOAT_EQ(onlyLeft.right[176], 1.0f);
}

TEST(DelayEcho, FeedbackLimitAndBadFeedback) {
  Delay d(88200);
  makeSettled(d, 176);
  d.setFeedback(150.0f);
  Block b = runDry(d, impulse(3 * 176 + 1));
  EXPECT_FLOAT_EQ(b.left[352], 92.0f) << "feedback is limited to 92";
  EXPECT_FLOAT_EQ(b.left[528], 92.0f * 92.0f);

  d.setFeedback(0.75f);  // inside 0..1 the limit does nothing
  d.setFeedback(kNaN);   // and a non-finite feedback is refused
  d.setFeedback(kInf);
  EXPECT_FLOAT_EQ(d.getFeedback(), 0.75f);
  d.setActive(false);
  d.setActive(true);
  Block c = runDry(d, impulse(2 * 176 + 1));
  EXPECT_FLOAT_EQ(c.left[352], 0.75f);
}

TEST(DelayEcho, BlockSizeDoesNotChangeTheOutput) {
  auto render = [](int blockSize) {
    Delay d(88200);
    d.setActive(true);
    d.setVolume(0.6f);
    d.setFeedback(0.7f);
    d.setSync(true);
    d.setTimeF(syncStep(1));
    d.setTune(0.3f);
    d.setPingPong(true);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Samples dry(20000);
    for (float& v : dry) v = u(rng);
    Block first = Block(dry).run(d, blockSize);
    d.setTimeF(syncStep(2));  // a glide starting at the same sample
    Block second = Block(dry).run(d, blockSize);
    first.left.insert(first.left.end(), second.left.begin(), second.left.end());
    first.right.insert(first.right.end(), second.right.begin(), second.right.end());
    return first;
  };
  const Block ref = render(512);
  for (int bs : {1, 7, 64, 1000}) {
    const Block other = render(bs);
    EXPECT_EQ(other.left, ref.left) << "block size " << bs;
    EXPECT_EQ(other.right, ref.right) << "block size " << bs;
  }
}

// ---------------------------------------------------------------------------

// The line runs settled at `from`; an impulse enters at output 0; the time
// changes to `to` just before output `change`. Checks the glide speed until
// the heads meet `meet` reads after the change, and where the impulse comes
// out (nowhere else).
void checkGlide(int startCounter, int from, int to, int change, double speed, int meet,
                std::vector<size_t> hits) {
  Delay d(88200);
  makeSettled(d, from);
  advanceWriteCounterTo(d, startCounter);
  Samples out = runDry(d, impulse(static_cast<size_t>(change))).left;
  d.setTime(to);
  EXPECT_EQ(d.getLine().getTargetDelay(), to);
  Block gliding = runDry(d, zeros(static_cast<size_t>(meet)));
  EXPECT_DOUBLE_EQ(d.getLine().getReadSpeed(), speed);
  EXPECT_EQ(d.getLine().getCurrentDelay(), from);
  Block after = runDry(d, zeros(30001));
  EXPECT_DOUBLE_EQ(d.getLine().getReadSpeed(), 1.0);
  EXPECT_EQ(d.getLine().getCurrentDelay(), to);
  out.insert(out.end(), gliding.left.begin(), gliding.left.end());
  out.insert(out.end(), after.left.begin(), after.left.end());
  for (size_t i = 1; i < out.size(); ++i) {
    const bool hit = std::find(hits.begin(), hits.end(), i) != hits.end();
    ASSERT_EQ(out[i], hit ? 1.0f : 0.0f) << "output " << i;
  }
}

TEST(DelayGlide, SpeedsAndWhereTheHeadsMeet) {
  // Impulse well inside the line, with the end of the array between the two
  // heads at the change, and with the end passing during the glide: the
  // glide must not depend on where the array ends.
  for (int start : {60000, 14000, 120000}) {
    SCOPED_TRACE(start);
    // Longer: half speed, the impulse is read twice (an octave down).
    checkGlide(start, 11025, 22050, 1000, 0.5, 22049, {21050, 21051});
    // Shorter: 1.5x speed, every third sample is skipped (a fifth up).
    checkGlide(start, 22050, 11025, 1001, 1.5, 22050, {15034});
    checkGlide(start, 22050, 11025, 1000, 1.5, 22050, {});
  }
}

// ---------------------------------------------------------------------------

TEST(DelayTone, ModesCoefficientsAndResponses) {
  Delay d(88200);
  d.setTune(0.25f);
  EXPECT_EQ(d.getFilterMode(), 1);
  EXPECT_FLOAT_EQ(d.getLpCut(), 0.25f);
  d.setTune(0.75f);
  EXPECT_EQ(d.getFilterMode(), 2);
  EXPECT_NEAR(d.getHpCoefficient(), 0.0323027f, 1e-7);
  d.setTune(1.0f);
  EXPECT_NEAR(d.getHpCoefficient(), 0.0578027f, 1e-7);
  d.setTune(0.5f);
  EXPECT_EQ(d.getFilterMode(), 0);

  // The low-pass runs at the square of the cut, never below 0.1², and a
  // settled constant comes back at its DC gain 1 / (1 + r). The tolerance
  // of the gain covers the anti-denormal dither (at most 2e-5 per sample).
  struct Case {
    float tune, p, k, r;
    double dcGain;
  };
  const Case cases[] = {{0.25f, 0.109375f, -0.78125f, 0.2969419f, 0.771044563},
                        {0.05f, 0.01792f, -0.96416f, 0.331239067f, 0.751179878}};
  for (const Case& c : cases) {
    Delay e(88200);
    makeSettled(e, 2756);
    e.setTune(c.tune);
    Block b = runDry(e, Samples(30000, 0.5f));
    EXPECT_NEAR(e.getLowPass().getP(), c.p, 1e-6) << c.tune;
    EXPECT_NEAR(e.getLowPass().getK(), c.k, 1e-6) << c.tune;
    EXPECT_NEAR(e.getLowPass().getFeedbackFactor(), c.r, 1e-6) << c.tune;
    EXPECT_NEAR(b.left.back() - 0.5f, 0.5 * c.dcGain, 1e-4) << c.tune;
  }

  // High-pass: three one-pole sections; what enters the line is clipped.
  Delay h(88200);
  makeSettled(h, 176);
  h.setTune(0.75f);
  Block b = runDry(h, impulse(180, 0.5f));
  const double want[4] = {0.453094293, -0.0439085071, -0.0410717804, -0.038387777};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(b.left[176 + i], want[i], 1e-6) << i;
  Delay h5(88200);
  makeSettled(h5, 176);
  h5.setTune(0.75f);
  Block c = runDry(h5, impulse(180, 5.0f));
  EXPECT_FLOAT_EQ(c.left[176], 1.0f);
  EXPECT_NEAR(c.left[177], -0.439085071, 1e-6);
}

// ---------------------------------------------------------------------------

TEST(DelaySwitch, OffLeavesAudioAloneAndClearsTheLine) {
  Delay d(88200);
  makeSettled(d, 11025);
  runDry(d, impulse(5000));  // the impulse is in the line, due at 11025
  d.setActive(false);
  Samples wave(12000);
  for (size_t i = 0; i < wave.size(); ++i) wave[i] = std::sin(0.01f * static_cast<float>(i));
  Block b = runDry(d, wave);
  EXPECT_EQ(b.left, wave) << "an inactive delay leaves the channels untouched";
  EXPECT_EQ(b.right, wave);
  d.setActive(true);
  for (float v : runDry(d, zeros(20000)).left) ASSERT_EQ(v, 0.0f);
}

TEST(DelayPingPong, DryStaysCentredEchoAlternatesWithFade) {
  const int L = 2756;
  Delay d(88200);
  makeSettled(d, L);
  d.setVolume(0.5f);
  runDry(d, Samples(3 * L, 0.25f));  // the echo is now a steady 0.125
  d.setPingPong(true);
  const float echo = 0.125f;
  Block b = runDry(d, Samples(4 * L, 0.25f));

  // The dry 0.25 stays in both channels; the echo shares add up to the echo.
  // A flip is the last sample with the echo wholly on one side.
  std::vector<int> flips;
  for (size_t i = 0; i + 1 < b.left.size(); ++i) {
    const float l = b.left[i] - 0.25f, r = b.right[i] - 0.25f;
    ASSERT_NEAR(l + r, echo, 1e-6) << i;
    ASSERT_TRUE(l >= -1e-7f && r >= -1e-7f) << i;
    const float nextL = b.left[i + 1] - 0.25f, nextR = b.right[i + 1] - 0.25f;
    if ((l > echo - 1e-7f && nextL < echo - 1e-5f) || (r > echo - 1e-7f && nextR < echo - 1e-5f))
      flips.push_back(static_cast<int>(i));
  }
  ASSERT_GE(flips.size(), 3u);
  for (size_t k = 1; k < flips.size(); ++k) EXPECT_EQ(flips[k] - flips[k - 1], L);

  // Across a flip the echo moves to the other side over 882 samples (20 ms).
  const int f0 = flips[1];
  const bool wasLeft = b.left[f0] - 0.25f > echo / 2;
  EXPECT_NE(wasLeft, b.left[f0 + L] - 0.25f > echo / 2) << "sides alternate";
  const int ms[] = {0, 1, 441, 881, 882, 900};
  const double g[] = {1.0, 0.9988662, 0.499994397, 0.00112571486, 0.0, 0.0};
  for (int i = 0; i < 6; ++i)
    EXPECT_NEAR((wasLeft ? b.left : b.right)[f0 + ms[i]] - 0.25f, g[i] * echo, 1e-6) << ms[i];

  // With the side set the echo starts on the right, with it clear on the
  // left. The flip is where the write counter reaches a multiple of L.
  for (int flip = 0; flip < 2; ++flip) {
    const int now = d.getLine().getWriteCounter();
    const int toFlip = (now / L + 1) * L - now;
    const bool side = d.getPingSide();
    runDry(d, Samples(static_cast<size_t>(toFlip - 1), 0.25f));
    EXPECT_EQ(d.getPingSide(), side);
    runDry(d, Samples(1, 0.25f));
    EXPECT_NE(d.getPingSide(), side);
    Block a = runDry(d, Samples(100, 0.25f));  // fade now 0.886620045
    const float starting = (side ? a.left : a.right).back() - 0.25f;
    EXPECT_NEAR(starting, 0.886620045 * echo, 1e-6) << "side set: " << !side;
  }

  // Ping-pong off: left and right identical, dry plus echo.
  d.setPingPong(false);
  Block c = runDry(d, Samples(L, 0.25f));
  for (size_t i = 0; i < c.left.size(); ++i) {
    ASSERT_FLOAT_EQ(c.left[i], 0.25f + echo);
    ASSERT_EQ(c.left[i], c.right[i]);
  }
}

// ---------------------------------------------------------------------------

TEST(DelayRobustness, RandomChangesStayFiniteAndBounded) {
  Delay d(88200);
  d.setActive(true);
  d.setVolume(1.0f);
  d.setFeedback(0.5f);
  d.setPingPong(true);
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  Samples l(700), r(700);
  for (int block = 0; block < 1500; ++block) {
    switch (block % 5) {
      case 0: d.setTimeF(u(rng)); break;
      case 1: d.setSync(u(rng) < 0.5f); break;
      case 2: d.setTune(u(rng) * 0.5f); break;  // low-pass or none
      case 3: d.setTime(static_cast<int>(u(rng) * 300000.0f) - 100000); break;
      default: d.setSamplePerBeat(40.0 + 260.0 * u(rng), 44100.0); d.update(); break;
    }
    const int n = static_cast<int>(u(rng) * 700.0f);
    for (int i = 0; i < n; ++i) l[i] = r[i] = 2.0f * u(rng) - 1.0f;
    float* ch[2] = {l.data(), r.data()};
    d.process(ch, n);
    // Input within +-1 and feedback 0.5: the line holds about 2 at most
    // (a little more with low-pass overshoot), so outputs stay inside 4.
    for (int i = 0; i < n; ++i) {
      ASSERT_TRUE(std::isfinite(l[i]) && std::fabs(l[i]) < 4.0f) << block;
      ASSERT_TRUE(std::isfinite(r[i]) && std::fabs(r[i]) < 4.0f) << block;
    }
  }
  d.process(nullptr, 64);
  float* none[2] = {nullptr, nullptr};
  d.process(none, 64);
  float* ch[2] = {l.data(), r.data()};
  d.process(ch, 0);
  d.process(ch, -5);
}
