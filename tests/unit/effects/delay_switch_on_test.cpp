// Switching the delay on: its line is empty (cleared when it went off, or
// never written), so the first echo must come exactly one length after the
// sound, at the pitch it went in, and not at the end of a tape glide from
// whatever length the line had before. Time changes while the delay runs
// still glide.
#include <gtest/gtest.h>

#include <vector>

#include "effects/Delay.h"

namespace {

// Feeds an impulse and returns the index of the first non-zero sample of
// the left output after it (-1 for none within `frames`).
int firstEcho(Delay& d, int frames) {
  std::vector<float> left(static_cast<size_t>(frames), 0.0f), right(left);
  left[0] = right[0] = 1.0f;
  for (int start = 0; start < frames; start += 512) {
    float* channels[2] = {left.data() + start, right.data() + start};
    d.process(channels, std::min(512, frames - start));
  }
  for (int i = 1; i < frames; ++i)
    if (left[static_cast<size_t>(i)] != 0.0f) return i;
  return -1;
}

TEST(DelaySwitchOn, FirstEchoComesAtTheCurrentLength) {
  // At the construction tempo (22050 samples per beat), synced: time 0.5 is
  // an eighth (11025 samples), 1.0 a half note (44100), 0.0 a 32nd (2756).
  struct Case {
    const char* name;
    float timeBefore;  // set and played while on, then off (< 0: never on)
    float timeAtSwitchOn;
    int echoAt;
  };
  const Case cases[] = {
      {"fresh instrument, line at 22050", -1.0f, 0.5f, 11025},
      {"shorter while off", 1.0f, 0.0f, 2756},
      {"longer while off", 0.0f, 1.0f, 44100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Delay d(88200);
    d.setVolume(1.0f);
    d.setFeedback(0.0f);
    d.setSync(true);
    if (c.timeBefore >= 0.0f) {
      d.setTimeF(c.timeBefore);
      d.setActive(true);
      firstEcho(d, 50000);
      d.setActive(false);
    }
    d.setTimeF(c.timeAtSwitchOn);
    d.setActive(true);
    EXPECT_EQ(firstEcho(d, 50000), c.echoAt);
    EXPECT_FALSE(d.getLine().isGliding());
  }
}

TEST(DelaySwitchOn, ChangesWhileOnStillGlide) {
  Delay d(88200);
  d.setSync(true);
  d.setTimeF(0.5f);
  d.setActive(true);
  d.setActive(true);  // a host repeating the value is no new switch-on
  firstEcho(d, 2048);
  d.setTimeF(0.0f);
  firstEcho(d, 1);
  EXPECT_TRUE(d.getLine().isGliding());
  EXPECT_EQ(d.getLine().getReadSpeed(), 1.5);
}

}  // namespace
