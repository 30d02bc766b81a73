// The sequencer in host sync as the host hears it: where notes fall when the
// host starts, relocates and stops, when a triggered pattern takes over, the
// notes, rests, gates and ties it sends, and recording from held keys.
// Times come from the step clock's rules worked out in engine_expected.py
// (120 BPM at 44100 Hz: step k starts at the first sample at or past
// k × 5512.5; the note is the step's + 35, velocity 127 accented, else 64).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

// The note-on heard at a sample, if any. Step start times carry the running
// sum of 1/22050 beat per sample, so a start that falls exactly on a sample
// may land one sample either side.
const HeardMidi* noteAt(const std::vector<HeardMidi>& ons, double at) {
  for (const HeardMidi& n : ons) {
    if (std::fabs(n.at - at) <= 1.0) return &n;
  }
  return nullptr;
}

void expectStep(const std::vector<HeardMidi>& ons, int step, double at) {
  const HeardMidi* n = noteAt(ons, at);
  EXPECT_TRUE(n && n->key == kFactoryNotes[step] + 35 && n->velocity == (kFactoryAccent[step] ? 127 : 64))
      << "step " << step << " at " << at;
}

TEST(HostTransport, StartRelocateAndStop) {
  // ppq 5.0 of a 16-step pattern is step 4 at once; ppq 17.4 of a 12-step
  // (3-beat) pattern is late in step 9 (2.25..2.5), which sounds at once,
  // step 10 follows 0.1 beat later, 11 at 0.35 and the wrap to step 0 at 0.6.
  const struct {
    float nbStep;
    double ppq;
    std::vector<std::pair<int, double>> steps;  // step, beats after the start
  } starts[] = {{15.0f / 63.0f, 5.0, {{4, 0.0}, {5, 0.25}, {6, 0.5}}},
                {11.0f / 63.0f, 17.4, {{9, 0.0}, {10, 0.1}, {11, 0.35}, {0, 0.6}}}};
  for (const auto& c : starts) {
    FakeHost host;
    host.setParameter(10, c.nbStep);
    host.start(120.0, c.ppq);
    host.render(512, 40);
    for (const auto& [step, beats] : c.steps) expectStep(host.noteOns(), step, beats * 22050);
  }

  // A jump to beat 2.0 while playing steps 0 and 1 (tied to step 2, key 50
  // on): step 8 sounds at the block's first sample, step 2 never does, and
  // the tied note is released half a block into the next block.
  FakeHost host;
  host.start(120.0);
  host.render(512, 20);
  host.relocate(2.0);
  host.render(512, 18);
  expectStep(host.noteOns(), 8, 10240);
  expectStep(host.noteOns(), 9, 10240 + 5512.5);
  EXPECT_EQ(host.noteOns().size(), 4u);
  const auto off50 = host.firstOffAfter(50, 5512);
  EXPECT_TRUE(off50 && off50->block == 21 && off50->deltaFrames == 256);
  // A block flagged as changed that simply continues the last one is no
  // jump: the sounding step (9, tied into 10) does not start again.
  const int64_t stopAt = host.frames() + 512;
  host.timeInfo().flags |= kVstTransportChanged;
  host.render(512);
  EXPECT_EQ(host.noteOns().size(), 4u) << "retriggered";

  // Stop: the fade falls by 1/441 per sample from the block's first sample,
  // then exact silence; no note starts and every key is released.
  const double loud = host.rms(stopAt - 441, 441);
  host.stop();
  host.render(512, 20);
  EXPECT_GT(host.rms(stopAt, 220), 0.3 * loud);
  EXPECT_LT(host.rms(stopAt + 400, 40), 0.15 * loud);
  EXPECT_EQ(host.peakFrom(stopAt + 440), 0.0);
  EXPECT_TRUE(host.allKeysReleased() && host.noteOns().size() == 4u);
  // Starting again plays step 0 from the host position at full gain.
  host.play(120.0);
  const int64_t restart = host.frames();
  host.render(512, 4);
  expectStep(host.noteOns(), 0, restart);
  EXPECT_GT(host.rms(restart, 2048), 0.3 * loud);
}

// Pattern 2 (all default notes: key 60, which the factory line never plays)
// triggered before the block at sample 10240, pattern 0 cut to 12 steps so
// that AUTO (the pattern's length, 66150 samples) differs from "16 step".
TEST(HostTransport, TriggeredPatternStartsOnTheSyncGrid) {
  // Free: the next sample; 1 step: multiples of trunc(5512.5); 4 and 16
  // steps: multiples of 22050 and 88200; AUTO: trunc(12 × 5512.5), where the
  // pattern wraps.
  const std::pair<float, int64_t> cases[] = {
      {0.0f, 10240}, {0.25f, 11024}, {0.5f, 22050}, {0.75f, 88200}, {1.0f, 66150}};
  for (const auto& [sync, expected] : cases) {
    FakeHost host;
    host.setParameter(10, 11.0f / 63.0f);
    host.setParameter(11, sync);
    host.start(120.0);
    host.render(512, 20);
    host.setParameter(14, 2 * 0.03125f);
    EXPECT_EQ(host.getParameter(14), 0.0625f);
    host.render(512, 180);
    // Pattern 0 plays up to the point, pattern 2 from its step 0 after it.
    const auto ons = host.noteOns();
    const auto first = std::find_if(ons.begin(), ons.end(), [](const HeardMidi& n) { return n.key == 60; });
    ASSERT_TRUE(first != ons.end() && first + 1 != ons.end()) << "sync " << sync;
    EXPECT_TRUE(first->at == expected && noteAt(ons, expected + 5512.5)) << "sync " << sync;
    EXPECT_TRUE(std::all_of(ons.begin(), first, [&](const HeardMidi& n) { return n.at < expected; }));
    EXPECT_TRUE(std::all_of(first, ons.end(), [](const HeardMidi& n) { return n.key == 60; }));
  }
}

// One pass of the factory line with step 7 a rest, step 12 note 70 and step
// 13 the byte 0xFF (none of them plays or sends anything; the voice is
// released at the step's start), at a tempo, gate and block size. The gate
// closes `plain` or `accented` samples after the note-on (engine_expected.py);
// a note whose gate stays open (0) or that slides into the next step is
// released half a block into the block after the next note-on.
TEST(SequencerMidi, NotesRestsGatesAndTies) {
  // clang-format off
  const struct {
    double bpm;
    float gate;
    int frames, plain, accented;
  } cases[] = {{120.0, 0.5f, 512, 2611, 3337}, {120.0, 0.5f, 300, 2611, 3337}, {120.0, 0.5f, 999, 2611, 3337},
               {120.0, 0.0f, 512, 407, 1133}, {120.0, 0.25f, 512, 1509, 2235}, {120.0, 1.0f, 512, 4815, 0},
               {133.0, 0.0f, 512, 367, 1021}, {133.0, 0.25f, 512, 1362, 2016}, {133.0, 1.0f, 512, 4345, 0}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bpm) + " BPM, gate " + std::to_string(c.gate) + ", blocks of " +
                 std::to_string(c.frames));
    FakeHost host;
    ChunkImage image = ChunkImage::factory();
    image.patterns[0].steps[7] = {0, 0, 0};
    image.patterns[0].steps[12] = {70, 0, 0};
    image.patterns[0].steps[13] = {0xFF, 0, 1};
    ASSERT_EQ(host.setChunk(image.bytes()), 1);
    host.setParameter(8, c.gate);
    host.start(c.bpm);
    const double step = 44100.0 * 60.0 / c.bpm / 4.0;
    host.renderFrames(static_cast<int64_t>(17 * step) + 4 * c.frames, c.frames);
    const auto ons = host.noteOns();
    for (int k = 0; k < 16; ++k) {
      const int64_t start = static_cast<int64_t>(std::ceil(k * step));
      if (k == 7 || k == 12 || k == 13) {
        EXPECT_FALSE(noteAt(ons, start)) << "step " << k;
        EXPECT_LT(host.rms(start + 2400, 2400), 0.05 * host.rms(start - 2400, 2400)) << "step " << k;
      } else {
        expectStep(ons, k, start);
      }
    }
    // Steps that do not sit next to a rest or share the key of the step
    // before, and the slides (1 into 2 on the same key 50).
    for (int k : {0, 1, 3, 4, 5, 8, 9, 10, 14, 15}) {
      const HeardMidi* on = noteAt(ons, std::ceil(k * step));
      const HeardMidi* next = noteAt(ons, std::ceil((k + 1) * step));
      ASSERT_TRUE(on && next) << "step " << k;
      const auto off = host.firstOffAfter(on->key, on->at + 1);
      const int release = kFactorySlide[k] ? 0 : kFactoryAccent[k] ? c.accented : c.plain;
      ASSERT_TRUE(off.has_value()) << "step " << k;
      EXPECT_TRUE(release > 0 ? off->at - on->at == release
                              : off->block == next->block + 1 && off->deltaFrames == c.frames / 2)
          << "step " << k << " released after " << off->at - on->at;
    }
    host.stop();
    host.render(512, 3);
    EXPECT_TRUE(host.allKeysReleased());
  }
}

TEST(SequencerMidi, PatternKeysAndRecording) {
  // Host stopped: a key 0..31 selects its pattern at once, whatever the
  // channel; 32 is no pattern key and changes nothing.
  FakeHost keys;
  keys.sendMidi({noteOn(31, 100, 9), noteOff(31), noteOn(32, 100), noteOff(32)});
  ChunkImage expected = ChunkImage::factory();
  expected.params[14] = 31 * 0.03125f;
  EXPECT_EQ(keys.getChunk(), expected.bytes());

  // The pitch wheel is read only while recording: pushed up before, it sets
  // nothing; pushed up while recording, it slides the steps that start
  // (steps 2 and 3 from sample 10240 on).
  keys.sendMidi({pitchBend(0, 127)});
  keys.setParameter(28, 1.0f);
  keys.start(120.0);
  keys.render(512, 20);
  keys.sendMidi({pitchBend(0, 127)});
  keys.render(512, 20);
  expected.params[28] = 1.0f;
  expected.patterns[31].steps[2].slide = expected.patterns[31].steps[3].slide = 1;
  EXPECT_EQ(keys.getChunk(), expected.bytes());

  // Recording from keys held from the start through steps 0..7 (86 blocks):
  // a chord records an arpeggio in press order, accented when the most
  // recent press was harder than 82; key 95 records rests (60 is no note);
  // key 30 selects pattern 30 and is not recorded; nothing is recorded (and
  // nothing randomised) with recording off.
  const struct {
    float record;
    std::vector<MidiIn> keys;
    std::vector<int> notes;  // steps 0..7, repeating; empty: unchanged
    int accent, playing;     // accent of the recorded steps; the pattern that plays
  } cases[] = {{1.0f, {noteOn(48, 10), noteOn(52, 10), noteOn(55, 83)}, {13, 17, 20}, 1, 0},
               {1.0f, {noteOn(48, 127), noteOn(52, 127), noteOn(55, 82)}, {13, 17, 20}, 0, 0},
               {1.0f, {noteOn(95, 100)}, {0}, 1, 0},
               {1.0f, {noteOn(30, 100)}, {}, 0, 30},
               {0.0f, {noteOn(48, 100)}, {}, 0, 0}};
  for (const auto& c : cases) {
    FakeHost host;
    host.setParameter(28, c.record);
    host.sendMidi(c.keys);
    host.start(120.0);
    host.render(512, 86);
    host.sendMidi({noteOff(48), noteOff(52), noteOff(55), noteOff(95)});
    host.render(512, 90);
    expected = ChunkImage::factory();
    expected.params[28] = c.record;
    expected.params[14] = c.playing * 0.03125f;
    for (int k = 0; k < 8 && !c.notes.empty(); ++k) {
      expected.patterns[0].steps[k].note = c.notes[k % c.notes.size()];
      expected.patterns[0].steps[k].accent = c.accent;
    }
    EXPECT_EQ(host.getChunk(), expected.bytes()) << "first key " << int(c.keys[0].data1);
    // The recorded note is the one the step plays.
    const auto ons = host.noteOns();
    for (int k = 0; k < 16; ++k) {
      const ChunkStep& s = expected.patterns[c.playing].steps[k];
      const HeardMidi* heard = noteAt(ons, std::ceil(k * 5512.5));
      EXPECT_TRUE(s.note == 0
                      ? !heard
                      : heard && heard->key == s.note + 35 && heard->velocity == (s.accent ? 127 : 64))
          << "step " << k << ", first key " << int(c.keys[0].data1);
    }
  }
}

}  // namespace
}  // namespace vornix::test
