// Keyboard mode (sync type 0.9): the voice played from MIDI keys through
// processEvents. Pitches are checked as periods of the left channel (the
// voice sounds a quarter of the table frequency; engine_expected.py lists
// the periods at 44100 Hz); a release fades over 441 samples.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

constexpr double k40 = 1070.3, k43 = 900.0, k45 = 801.8, k48 = 674.2, k60 = 337.1;

// Plays a script of moves: the MIDI, the 512-frame blocks rendered after it,
// and the period heard from 6000 samples after the move (0: exact silence
// from 441 samples after it).
void play(FakeHost& host, const std::vector<std::tuple<std::vector<MidiIn>, int, double>>& script) {
  for (const auto& [midi, blocks, period] : script) {
    const int64_t at = host.frames();
    host.sendMidi(midi);
    host.render(512, blocks);
    const int minLag = static_cast<int>(period * 0.75);
    const double heard = period > 0.0 ? host.period(at + 6000, 6000, minLag, minLag * 3 / 2) : 0.0;
    EXPECT_NEAR(heard, period, period * 0.01);
    EXPECT_TRUE(period > 0.0 || host.peakFrom(at + 441) == 0.0) << "no silence after the release";
  }
}

TEST(KeyboardMode, KeysGlideReturnToTheLatestHeldAndFade) {
  FakeHost host;
  host.setParameter(26, 0.9f);
  host.resume();
  // Keys outside 36..95 sound nothing; a second key glides over 5512 samples
  // (Slide Time 0): early on the pitch is still well below the new key's.
  // With 40, 45, 43 held, releasing 43 returns to 45, the most recent, not
  // 40; a note-on with velocity 0 releases 45; a key above the range
  // changes nothing.
  play(host, {{{noteOn(35, 100), noteOn(96, 100), noteOn(0, 100), noteOn(127, 100)}, 4, 0.0},
              {{noteOff(35), noteOff(96), noteOff(0), noteOff(127), noteOn(40, 100)}, 24, k40},
              {{noteOn(45, 100)}, 24, k45}});
  EXPECT_GT(host.period(host.frames() - 24 * 512, 2400, 700, 1300), k45 * 1.08);
  play(host, {{{noteOn(43, 100)}, 24, k43},
              {{noteOff(43)}, 24, k45},
              {{noteOn(45, 0)}, 24, k40},
              {{noteOn(100, 100)}, 24, k40},
              {{noteOff(100)}, 24, k40}});
  // The last key released: the fade starts smoothly from the sounding note.
  int64_t at = host.frames();
  double level = host.peak(at - 2048, 2048);
  play(host, {{{noteOff(40)}, 4, 0.0}});
  EXPECT_LT(std::fabs(host.left()[at] - host.left()[at - 1]), 0.05 * level);
  EXPECT_GT(host.peak(at, 300), 0.05 * level);

  // A flood of 76 events in one block: key 48, 70 releases of key 30 (never
  // held) and five presses of key 55 beyond the 64 the block keeps. Key 48
  // sounds, not 55; afterwards the event list works normally.
  std::vector<MidiIn> flood{noteOn(48, 100)};
  flood.insert(flood.end(), 70, noteOff(30));
  flood.insert(flood.end(), 5, noteOn(55, 100));
  play(host, {{flood, 24, k48}, {{noteOn(60, 100)}, 24, k60}, {{noteOff(60)}, 24, k48}});

  // Release and walk the fade a sample at a time to a moment where the
  // output is far from zero: a fresh key starts from a cleared filter, and
  // the de-click ramp adds the last output and takes it away over 110
  // samples, so there is no jump.
  level = host.peak(host.frames() - 4096, 4096);
  host.sendMidi({noteOff(48)});
  int walked = 0;
  do {
    host.render(1);
  } while (++walked < 300 && (walked < 20 || std::fabs(host.left().back()) < 0.3 * level));
  ASSERT_LT(walked, 300) << "no loud sample during the fade";
  const float last = host.left().back();
  at = host.frames();
  host.sendMidi({noteOn(52, 100)});
  host.render(512, 16);
  EXPECT_LT(std::fabs(host.left()[at] - last), 0.1 * std::fabs(last));
  EXPECT_GT(host.peak(at + 2048, 4096), 0.3 * level) << "the fade was not cancelled";
  // The keyboard voice sends nothing to the host.
  EXPECT_TRUE(host.sentMidi().empty());
}

}  // namespace
}  // namespace vornix::test
