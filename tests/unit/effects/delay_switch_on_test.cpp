// Switching the delay on: its line is empty (cleared when it went off, or
// never written), so the first echo must come exactly one length after the
// sound, at the pitch it went in, and not at the end of a tape glide from
// whatever length the line had before. Time changes while it runs glide.
#include <gtest/gtest.h>

#include <vector>

#include "effects/Delay.h"

namespace {

// Feeds an impulse; the sample at which its echo comes out (-1: none).
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

TEST(DelaySwitchOn, FirstEchoComesAtTheCurrentLengthAndRunningChangesGlide) {
  // At the construction tempo (22050 samples per beat), synced: time 0.5 is
  // an eighth (11025 samples), 1.0 a half note (44100), 0.0 a 32nd (2756).
  // Before the fix the echoes came at 14700, 5512 and 29400.
  struct Case {
    float timeBefore;  // played while on, then off (< 0: a fresh delay)
    float timeAtSwitchOn;
    int echoAt;
  } const cases[] = {{-1.0f, 0.5f, 11025}, {0.0f, 1.0f, 44100}, {1.0f, 0.0f, 2756}};
  for (const Case& c : cases) {
    Delay d(88200);
    d.setVolume(1.0f);
    d.setSync(true);
    if (c.timeBefore >= 0.0f) {
      d.setTimeF(c.timeBefore);
      d.setActive(true);
      firstEcho(d, 50000);
      d.setActive(false);
    }
    d.setTimeF(c.timeAtSwitchOn);
    d.setActive(true);
    d.setActive(true);  // a host repeating the value is no new switch-on
    EXPECT_EQ(firstEcho(d, 50000), c.echoAt) << c.timeAtSwitchOn;
    EXPECT_FALSE(d.getLine().isGliding());
    d.setTimeF(c.timeBefore < 0.0f ? 0.0f : c.timeBefore);  // while on: a glide
    firstEcho(d, 1);
    EXPECT_TRUE(d.getLine().isGliding());
  }
}

}  // namespace
