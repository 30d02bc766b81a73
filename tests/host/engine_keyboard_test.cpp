// Keyboard mode (sync type 0.9): the voice played from MIDI keys through
// processEvents. Pitches are checked as periods of the left channel (the
// voice sounds a quarter of the table frequency; engine_expected.py lists
// the periods at 44100 Hz); the release fades over 441 samples.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/ScriptedHost.h"

namespace vornix::test {
namespace {

constexpr double kPeriod40 = 1070.3, kPeriod43 = 900.0, kPeriod45 = 801.8;
constexpr double kPeriod48 = 674.2, kPeriod60 = 337.1;

// A keyboard instance with the output stage settled.
void enterKeyboardMode(ScriptedHost& host) {
  host.setParameter(26, 0.9f);
  host.resume();
}

void expectSilent(const ScriptedHost& host, int64_t from, const std::string& what) {
  for (int64_t i = from; i < host.recordedFrames(); ++i) {
    ASSERT_EQ(host.recordedLeft()[i], 0.0f) << what << ", sample " << i - from;
    ASSERT_EQ(host.recordedRight()[i], 0.0f) << what << ", sample " << i - from;
  }
}

TEST(KeyboardMode, LegatoGlidesAndReturnsToTheLatestHeldKey) {
  ScriptedHost host;
  enterKeyboardMode(host);
  auto periodAt = [&](int64_t from, int64_t length) {
    return host.period(from, length, 700, 1300);
  };

  host.sendMidi({noteOn(40, 100)});
  host.render(512, 16);
  EXPECT_NEAR(periodAt(4096, 4096), kPeriod40, kPeriod40 * 0.01);

  // A second key glides over 5512 samples (Slide Time 0): early on the pitch
  // is still well below the new key's, afterwards it is there.
  int64_t at = host.recordedFrames();
  host.sendMidi({noteOn(45, 100)});
  host.render(512, 24);
  EXPECT_GT(periodAt(at, 2400), kPeriod45 * 1.08);
  EXPECT_NEAR(periodAt(at + 6000, 6000), kPeriod45, kPeriod45 * 0.01);

  at = host.recordedFrames();
  host.sendMidi({noteOn(43, 100)});
  host.render(512, 24);
  EXPECT_NEAR(periodAt(at + 6000, 6000), kPeriod43, kPeriod43 * 0.01);

  // 40, 45, 43 held: releasing 43 returns to 45, the most recent, not 40.
  at = host.recordedFrames();
  host.sendMidi({noteOff(43)});
  host.render(512, 24);
  EXPECT_NEAR(periodAt(at + 6000, 6000), kPeriod45, kPeriod45 * 0.01);

  // A note-on with velocity 0 is a release: back to 40.
  at = host.recordedFrames();
  host.sendMidi({noteOn(45, 0)});
  host.render(512, 24);
  EXPECT_NEAR(periodAt(at + 6000, 6000), kPeriod40, kPeriod40 * 0.01);

  // The last key released: a 441-sample fade to exact silence.
  at = host.recordedFrames();
  const double level = host.peak(at - 2048, 2048);
  host.sendMidi({noteOff(40)});
  host.render(512, 4);
  // The fade starts smoothly from the sounding note ...
  EXPECT_LT(std::fabs(host.recordedLeft()[at] - host.recordedLeft()[at - 1]), 0.05 * level);
  EXPECT_GT(host.peak(at, 300), 0.05 * level);
  // ... and ends in exact silence.
  for (int64_t i = at + 440; i < host.recordedFrames(); ++i) {
    ASSERT_EQ(host.recordedLeft()[i], 0.0f) << "sample " << i - at << " after the release";
    ASSERT_EQ(host.recordedRight()[i], 0.0f) << "sample " << i - at << " after the release";
  }
  // The keyboard voice sends nothing to the host.
  EXPECT_TRUE(host.sentMidi().empty());
}

TEST(KeyboardMode, RepressDuringTheFadeStartsWithoutAClick) {
  ScriptedHost host;
  enterKeyboardMode(host);
  host.sendMidi({noteOn(48, 100)});
  host.render(512, 20);
  const double level = host.peak(host.recordedFrames() - 4096, 4096);
  ASSERT_GT(level, 1e-3);

  // Release and walk the fade one sample at a time to a moment where the
  // output is far from zero (so a restart from zero would be a jump).
  host.sendMidi({noteOff(48)});
  float last = 0.0f;
  int walked = 0;
  for (; walked < 300; ++walked) {
    host.render(1);
    last = host.recordedLeft().back();
    if (walked >= 20 && std::fabs(last) > 0.3 * level) break;
  }
  ASSERT_LT(walked, 300) << "no loud sample during the fade";

  const int64_t at = host.recordedFrames();
  host.sendMidi({noteOn(52, 100)});
  host.render(512, 16);
  // The fresh note starts from a cleared filter; the de-click ramp adds the
  // last output and takes it away over 110 samples, so the first sample sits
  // next to the last one instead of jumping to zero.
  EXPECT_LT(std::fabs(host.recordedLeft()[at] - last), 0.1 * std::fabs(last));
  EXPECT_GT(host.peak(at + 2048, 4096), 0.3 * level) << "the fade was not cancelled";
}

TEST(KeyboardMode, KeysOutOfRangeAndFloodsAreHarmless) {
  ScriptedHost host;
  enterKeyboardMode(host);
  // Keys outside 36..95 sound nothing.
  host.sendMidi({noteOn(35, 100), noteOn(96, 100), noteOn(0, 100), noteOn(127, 100)});
  host.render(512, 4);
  expectSilent(host, 0, "keys outside 36..95");

  // 48 sounds; 100 pressed and released over it changes nothing.
  host.sendMidi({noteOff(35), noteOff(96), noteOff(0), noteOff(127), noteOn(48, 100)});
  host.render(512, 8);
  int64_t at = host.recordedFrames();
  host.sendMidi({noteOn(100, 100)});
  host.render(512, 16);
  host.sendMidi({noteOff(100)});
  host.render(512, 16);
  EXPECT_NEAR(host.period(at + 2048, 6000, 500, 900), kPeriod48, kPeriod48 * 0.01);
  EXPECT_NEAR(host.period(at + 10240, 6000, 500, 900), kPeriod48, kPeriod48 * 0.01);
  host.sendMidi({noteOff(48)});
  host.render(512, 2);

  // A flood of 76 events in one block: key 48, 70 releases of key 30 (never
  // held) and five presses of key 60 at the end, beyond the 64 the block
  // keeps. Key 48 must sound, not 60.
  std::vector<MidiIn> flood{noteOn(48, 100)};
  for (int i = 0; i < 70; ++i) flood.push_back(noteOff(30));
  for (int i = 0; i < 5; ++i) flood.push_back(noteOn(60, 100));
  at = host.recordedFrames();
  host.sendMidi(flood);
  host.render(512, 16);
  EXPECT_NEAR(host.period(at + 2048, 6000, 500, 900), kPeriod48, kPeriod48 * 0.01);
  for (float s : host.recordedLeft()) ASSERT_TRUE(std::isfinite(s));

  // Afterwards the event list works normally: 60 pressed over 48 is reached.
  host.sendMidi({noteOn(60, 100)});
  at = host.recordedFrames();
  host.render(512, 24);
  EXPECT_NEAR(host.period(at + 6000, 6000, 250, 450), kPeriod60, kPeriod60 * 0.01);
  host.sendMidi({noteOff(60), noteOff(48)});
  at = host.recordedFrames();
  host.render(512, 2);
  for (int64_t i = at + 440; i < host.recordedFrames(); ++i) {
    ASSERT_EQ(host.recordedLeft()[i], 0.0f);
  }
}

TEST(KeyboardMode, SequencerFadesOutBeforeTheKeyboardTakesOver) {
  ScriptedHost host;
  host.resume();
  host.playTransport(120.0);
  host.render(512, 12);  // step 1's tied key 50 is on at the host
  ASSERT_EQ(host.keysStillOn(), std::vector<int>{50});
  const double level = host.peak(11 * 512, 512);

  host.setParameter(26, 0.9f);
  const int64_t at = host.recordedFrames();
  host.render(512);
  EXPECT_GT(host.peak(at, 64), 0.3 * level);
  for (int64_t i = at + 440; i < host.recordedFrames(); ++i) {
    ASSERT_EQ(host.recordedLeft()[i], 0.0f) << "sample " << i - at << " of the switch block";
  }
  host.render(512, 2);
  expectSilent(host, at + 512, "after the sequencer's fade");
  EXPECT_TRUE(host.keysStillOn().empty());
  const size_t sequencerNotes = host.noteOns().size();

  // The host keeps playing; keys now play the voice.
  const int64_t keyAt = host.recordedFrames();
  host.sendMidi({noteOn(48, 100)});
  host.render(512, 20);
  EXPECT_NEAR(host.period(keyAt + 2048, 6000, 500, 900), kPeriod48, kPeriod48 * 0.01);
  EXPECT_EQ(host.noteOns().size(), sequencerNotes) << "the sequencer kept playing";
}

}  // namespace
}  // namespace vornix::test
