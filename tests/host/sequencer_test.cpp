// The sequencer in host sync as the host hears it: where notes fall when the
// host starts, relocates and stops, when a triggered pattern takes over,
// the notes and note-offs it sends, glides, and recording from held keys.
// Times come from the step clock's rules worked out in engine_expected.py
// (120 BPM at 44100 Hz: step k starts at the first sample at or past
// k × 5512.5; the note is the step's + 35, velocity 127 accented, else 64).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Step start times carry the running sum of 1/22050 beat per sample, so a
// start that falls exactly on a sample may land one sample either side.
void expectStep(const HeardMidi& heard, int step, double at) {
  EXPECT_EQ(heard.key, kFactoryNotes[step] + 35) << "step " << step;
  EXPECT_EQ(heard.velocity, kFactoryAccent[step] ? 127 : 64) << "step " << step;
  EXPECT_NEAR(static_cast<double>(heard.at), at, 1.0) << "step " << step;
}

// The first note-on of each step of the first pass (none for a silent step).
std::vector<std::optional<HeardMidi>> notesByStep(const FakeHost& host, double stepLength, int steps) {
  std::vector<std::optional<HeardMidi>> out(steps);
  for (const HeardMidi& n : host.noteOns()) {
    const int k = static_cast<int>(std::floor((n.at + 1.5) / stepLength));
    if (k >= 0 && k < steps && !out[k]) out[k] = n;
  }
  return out;
}

bool songUnchanged(const Bytes& a, const Bytes& b) {
  return a.size() == b.size() && std::equal(a.begin() + 120, a.end(), b.begin() + 120);
}

TEST(HostTransport, StartRelocateAndStop) {
  // ppq 5.0 of a 16-step pattern is step 4 at once; ppq 17.3 of a 12-step
  // (3-beat) pattern is inside step 9 (2.25..2.5), which sounds at once, step
  // 10 follows 0.2 beat later, 11 at 0.45 and the wrap to step 0 at 0.7.
  const struct {
    float nbStep;
    double ppq;
    std::vector<std::pair<int, double>> steps;  // step, beats after the start
  } starts[] = {{15.0f / 63.0f, 5.0, {{4, 0.0}, {5, 0.25}, {6, 0.5}}},
                {11.0f / 63.0f, 17.3, {{9, 0.0}, {10, 0.2}, {11, 0.45}, {0, 0.7}}}};
  for (const auto& c : starts) {
    FakeHost host;
    host.setParameter(10, c.nbStep);
    host.resume();
    host.play(120.0, c.ppq);
    host.render(512, 40);
    const auto ons = host.noteOns();
    ASSERT_GE(ons.size(), c.steps.size());
    for (size_t n = 0; n < c.steps.size(); ++n) expectStep(ons[n], c.steps[n].first, c.steps[n].second * 22050);
  }

  FakeHost host;
  host.resume();
  host.play(120.0);
  host.render(512, 20);  // steps 0 and 1 (tied to step 2, key 50 still on)
  ASSERT_EQ(host.noteOns().size(), 2u);
  // A jump to beat 2.0 while playing: step 8 sounds at the block's first
  // sample, step 2 never does; the tied note is released half a block into
  // the next block.
  host.relocate(2.0);
  host.render(512, 18);
  auto ons = host.noteOns();
  ASSERT_GE(ons.size(), 4u);
  expectStep(ons[2], 8, 20 * 512);
  expectStep(ons[3], 9, 20 * 512 + 5512.5);
  const auto off50 = host.firstOffAfter(50, 5512);
  ASSERT_TRUE(off50.has_value());
  EXPECT_TRUE(off50->block == 21 && off50->deltaFrames == 256) << off50->block << " " << off50->deltaFrames;
  // A block flagged as changed that simply continues the last one is no
  // jump: the sounding step (9, tied into 10) does not start again.
  const int64_t stopAt = host.frames() + 512;
  host.timeInfo().flags |= kVstTransportChanged;
  host.render(512);
  for (const HeardMidi& n : host.noteOns()) EXPECT_NE(n.at, stopAt - 512) << "retriggered";

  // Stop: the fade falls by 1/441 per sample from the block's first sample,
  // then exact silence, and every key is released.
  const double loud = host.rms(stopAt - 441, 441);
  const size_t notesBefore = host.noteOns().size();
  host.stop();
  host.render(512, 20);
  EXPECT_GT(host.rms(stopAt, 220), 0.3 * loud);
  EXPECT_LT(host.rms(stopAt + 400, 40), 0.15 * loud);
  for (int64_t i = stopAt + 440; i < host.frames(); ++i) {
    ASSERT_TRUE(host.left()[i] == 0.0f && host.right()[i] == 0.0f) << "sample " << i - stopAt << " after the stop";
  }
  EXPECT_TRUE(host.keysStillOn().empty());
  EXPECT_EQ(host.noteOns().size(), notesBefore) << "a note started after the stop";
  // Starting again plays step 0 from the host position at full gain.
  host.play(120.0);
  const int64_t restart = host.frames();
  host.render(512, 4);
  ASSERT_EQ(host.noteOns().size(), notesBefore + 1);
  expectStep(host.noteOns().back(), 0, restart);
  EXPECT_GT(host.rms(restart, 2048), 0.3 * loud);
}

// Pattern 2 (all default notes: key 60, which the factory line never plays)
// triggered before the block at sample 10240, pattern 0 cut to 12 steps so
// that AUTO (the pattern's length, 66150 samples) differs from "16 step".
TEST(HostTransport, TriggeredPatternStartsOnTheSyncGrid) {
  const std::pair<float, int64_t> cases[] = {
      {0.0f, 10240},   // free: the next sample
      {0.25f, 11024},  // 1 step: multiples of trunc(5512.5)
      {0.5f, 22050},   // 4 step
      {0.75f, 88200},  // 16 step
      {1.0f, 66150},   // AUTO: trunc(12 × 5512.5), where the pattern wraps
  };
  for (const auto& [sync, expected] : cases) {
    SCOPED_TRACE("pattern sync " + std::to_string(sync));
    FakeHost host;
    host.setParameter(10, 11.0f / 63.0f);
    host.setParameter(11, sync);
    host.resume();
    host.play(120.0);
    host.render(512, 20);
    host.setParameter(14, 2 * 0.03125f);
    EXPECT_EQ(host.getParameter(14), 0.0625f);
    host.render(512, 180);
    const auto ons = host.noteOns();
    const auto first = std::find_if(ons.begin(), ons.end(), [](const HeardMidi& n) { return n.key == 60; });
    ASSERT_NE(first, ons.end()) << "pattern 2 never started";
    EXPECT_EQ(first->at, expected);
    ASSERT_NE(first + 1, ons.end());
    EXPECT_NEAR(static_cast<double>((first + 1)->at), expected + 5512.5, 1.0);
    EXPECT_TRUE(std::all_of(ons.begin(), first, [&](const HeardMidi& n) { return n.at < expected; }));
    EXPECT_TRUE(std::all_of(first, ons.end(), [](const HeardMidi& n) { return n.key == 60; }));
  }
}

TEST(SequencerMidi, NotesRestsTiesAndGlides) {
  // Step 7 a rest, step 12 note 70 and step 13 the byte 0xFF: none of them
  // plays or sends anything, and the voice is released at the step's start.
  for (int frames : {512, 300, 1000}) {
    SCOPED_TRACE("blocks of " + std::to_string(frames));
    FakeHost host;
    Bytes chunk = host.getChunk();
    setChunkStep(chunk, 0, 7, {0, 0, 0});
    setChunkStep(chunk, 0, 12, {70, 0, 0});
    setChunkStep(chunk, 0, 13, {0xFF, 0, 1});
    ASSERT_EQ(host.setChunk(chunk), 1);
    host.resume();
    host.play(120.0);
    host.renderFrames(88200 + 4 * frames, frames);
    const auto heard = notesByStep(host, 5512.5, 16);
    for (int k = 0; k < 16; ++k) {
      if (k == 7 || k == 12 || k == 13) {
        EXPECT_FALSE(heard[k].has_value()) << "step " << k;
        const int64_t start = static_cast<int64_t>(std::ceil(k * 5512.5));
        EXPECT_LT(host.rms(start + 2500, 2500), 0.05 * host.rms(start - 2500, 2500)) << "step " << k;
      } else {
        ASSERT_TRUE(heard[k].has_value()) << "step " << k;
        expectStep(*heard[k], k, std::ceil(k * 5512.5));
      }
    }
    for (const HeardMidi& m : host.sentMidi()) {
      EXPECT_TRUE(m.key >= 36 && m.key <= 95 && m.deltaFrames >= 0 && m.deltaFrames < frames) << m.key;
    }
    // A tied note is released half a block into the block after the next
    // note-on: step 4 (key 47) into step 5, 14 into 15, and step 1 into step
    // 2 on the same key 50 (one note-off after step 2's note-on).
    for (const auto& [tied, next] : {std::pair{4, 5}, {14, 15}, {1, 2}}) {
      const auto off = host.firstOffAfter(heard[tied]->key, heard[next]->at);
      ASSERT_TRUE(off.has_value()) << "step " << tied;
      EXPECT_EQ(off->block, heard[next]->block + 1) << "step " << tied;
      EXPECT_EQ(off->deltaFrames, frames / 2) << "step " << tied;
    }
    host.stop();
    host.render(512, 3);
    EXPECT_TRUE(host.keysStillOn().empty());

    // Step 4 (note 12, period 714.3 samples) glides into step 5 (note 16,
    // period 567.0) over one step from 27563: halfway it is near note 14.
    // No new attack at a glide (steps 2 and 5): level and brightness carry
    // on across the step start, while a fresh note after a released one
    // (step 6) jumps and has its own pitch (note 15, period 600.7) at once.
    if (frames != 512) continue;
    EXPECT_NEAR(host.period(27563 - 3000, 3000, 450, 850), 714.3, 7.0);
    const double middle = host.period(27563 + 2000, 1500, 450, 850);
    EXPECT_TRUE(middle > 567.0 * 1.04 && middle < 714.3 * 0.96) << middle;
    auto slope = [&](int64_t from) {
      double sum = 0.0;
      for (int64_t i = from; i < from + 1428; ++i) sum += std::pow(host.left()[i] - host.left()[i - 1], 2);
      return sum;
    };
    for (int64_t at : {int64_t{11025}, int64_t{27563}}) {
      const double level = host.rms(at, 1428) / host.rms(at - 1428, 1428);
      const double bright = std::sqrt(slope(at) / slope(at - 1428));
      EXPECT_TRUE(level > 0.8 && level < 1.25 && bright > 0.8 && bright < 1.25) << at << ": " << level << " " << bright;
    }
    EXPECT_GT(host.rms(33075, 1428) / host.rms(33075 - 1428, 1428), 2.0);
    EXPECT_NEAR(host.period(33075 + 200, 2400, 450, 850), 600.7, 6.0);
  }
}

TEST(SequencerMidi, GateReleasePoints) {
  // Samples from note-on to note-off for plain and accented steps
  // (engine_expected.py); 0: the gate stays open through the step, and the
  // note-off comes half a block into the block after the next note-on.
  const struct {
    double bpm;
    float gate;
    int plain, accented;
  } cases[] = {{120.0, 0.0f, 407, 1133}, {120.0, 0.25f, 1509, 2235}, {120.0, 0.5f, 2611, 3337}, {120.0, 1.0f, 4815, 0},
               {133.0, 0.0f, 367, 1021}, {133.0, 0.25f, 1362, 2016}, {133.0, 1.0f, 4345, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bpm) + " BPM, gate " + std::to_string(c.gate));
    FakeHost host;
    host.setParameter(8, c.gate);
    host.resume();
    host.play(c.bpm);
    const double stepLength = 44100.0 * 60.0 / c.bpm / 4.0;
    host.renderFrames(static_cast<int64_t>(17 * stepLength) + 2048, 512);
    const auto heard = notesByStep(host, stepLength, 17);
    // Steps that neither slide into the next nor share the key of the one before.
    for (int k : {0, 3, 5, 6, 7, 8, 10, 11, 12, 13, 15}) {
      ASSERT_TRUE(heard[k] && heard[k + 1]) << "step " << k;
      const auto off = host.firstOffAfter(heard[k]->key, heard[k]->at);
      ASSERT_TRUE(off.has_value()) << "step " << k;
      const int expected = kFactoryAccent[k] ? c.accented : c.plain;
      if (expected > 0) {
        EXPECT_EQ(off->at - heard[k]->at, expected) << "step " << k;
      } else {
        EXPECT_TRUE(off->block == heard[k + 1]->block + 1 && off->deltaFrames == 256) << "step " << k;
      }
    }
  }
}

TEST(SequencerMidi, PatternKeysSelectPatterns) {
  // Patterns 2 and 31 get recognisable first notes (keys 75 and 76).
  FakeHost host;
  Bytes chunk = host.getChunk();
  setChunkStep(chunk, 2, 0, {40, 0, 0});
  setChunkStep(chunk, 31, 0, {41, 0, 1});
  ASSERT_EQ(host.setChunk(chunk), 1);
  // Host stopped: a key 0..31 switches at once, whatever the channel; 32 is
  // no pattern key and changes nothing.
  host.sendMidi({noteOn(31, 100, 9), noteOff(31), noteOn(32, 100), noteOff(32)});
  EXPECT_EQ(host.getParameter(14), 31 * 0.03125f);
  EXPECT_TRUE(songUnchanged(host.getChunk(), chunk));
  host.resume();
  host.play(120.0);
  host.render(512, 4);
  ASSERT_FALSE(host.noteOns().empty());
  EXPECT_TRUE(host.noteOns()[0].key == 76 && host.noteOns()[0].velocity == 127 && host.noteOns()[0].at == 0);
  // While playing, key 2 on channel 3 waits for the pattern-sync point
  // (AUTO: pattern 31 wraps after 16 steps, 88200 samples).
  host.sendMidi({noteOn(2, 64, 3)});
  EXPECT_EQ(host.getParameter(14), 0.0625f);
  host.render(512, 4);
  host.sendMidi({noteOff(2)});
  host.render(512, 170);
  const auto ons = host.noteOns();
  const auto first = std::find_if(ons.begin(), ons.end(), [](const HeardMidi& n) { return n.key == 75; });
  ASSERT_NE(first, ons.end());
  EXPECT_EQ(first->at, 88200);
}

// Recording from held keys in host sync (parameter 28). A case sends MIDI
// before recording is switched on, before the transport starts, and after
// steps 0..3, 4..7 and 8..11 (43 blocks of 512 each); the steps show in the
// chunk and in the notes the host receives.
struct RecordCase {
  const char* what;
  float record;
  std::vector<MidiIn> early, midi[3];
  std::vector<int> notes;  // steps 0..7 (repeating); empty: unchanged
  int accent;              // of steps 0..7 when notes are recorded
  std::vector<int> slide;  // steps 0..11; empty: unchanged
  int playing = 0;         // the pattern that plays
};

TEST(Recording, HeldKeysWheelAndKeysThatAreNotRecorded) {
  const std::vector<MidiIn> chordOff = {noteOff(48), noteOff(52), noteOff(55)};
  const RecordCase cases[] = {
      // A chord records an arpeggio in press order; the accent follows the
      // velocity of the most recent press: above 82 accents.
      {"chord, last press 83", 1.0f, {}, {{noteOn(48, 10), noteOn(52, 10), noteOn(55, 83)}, {}, chordOff},
       {13, 17, 20}, 1, {}},
      {"chord, last press 82", 1.0f, {}, {{noteOn(48, 127), noteOn(52, 127), noteOn(55, 82)}, {}, chordOff},
       {13, 17, 20}, 0, {}},
      // Key 95 records rests (95 - 35 = 60 is outside 1..59).
      {"key 95", 1.0f, {}, {{noteOn(95, 100)}, {}, {noteOff(95)}}, {0}, 1, {}},
      // The wheel with no key held: up sets the slide of the steps that
      // start, centred leaves them, down clears them; notes stay.
      {"wheel", 1.0f, {}, {{pitchBend(0, 127)}, {pitchBend(0, 64)}, {pitchBend(0, 0)}}, {}, 0,
       {1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}},
      // The wheel is only read while recording; key 30 selects pattern 30 and
      // is never recorded; recording off leaves held keys unrecorded.
      {"wheel before recording", 1.0f, {pitchBend(0, 127)}, {}, {}, 0, {}},
      {"key 30", 1.0f, {}, {{noteOn(30, 100)}}, {}, 0, {}, 30},
      {"recording off", 0.0f, {}, {{noteOn(48, 100)}}, {}, 0, {}},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    const Bytes before = host.getChunk();
    host.sendMidi(c.early);
    host.setParameter(28, c.record);
    host.sendMidi(c.midi[0]);
    host.resume();
    host.play(120.0);
    for (int part = 1; part < 3; ++part) {
      host.render(512, 43);
      host.sendMidi(c.midi[part]);
    }
    host.render(512, 43);
    host.sendMidi({pitchBend(0, 64)});
    host.render(512, 50);
    const Bytes chunk = host.getChunk();
    EXPECT_TRUE(songUnchanged(chunk, before) || !c.notes.empty() || !c.slide.empty());
    const auto ons = host.noteOns();
    for (int k = 0; k < 16; ++k) {
      const bool recorded = !c.notes.empty() && k < 8;
      const int note = recorded ? c.notes[k % c.notes.size()] : kFactoryNotes[k];
      const int accent = recorded ? c.accent : kFactoryAccent[k];
      const int slide = k < int(c.slide.size()) ? c.slide[k] : kFactorySlide[k];
      const ChunkStep s = chunkStep(chunk, 0, k);
      EXPECT_TRUE(s.note == note && s.accent == accent && s.slide == slide) << "step " << k;
      // The recorded note is the one the step plays.
      const auto heard = std::find_if(ons.begin(), ons.end(), [&](const HeardMidi& n) {
        return std::abs(n.at - int64_t(std::ceil(k * 5512.5))) <= 1;
      });
      if (note == 0) {
        EXPECT_EQ(heard, ons.end()) << "step " << k;
        continue;
      }
      ASSERT_NE(heard, ons.end()) << "step " << k;
      EXPECT_EQ(heard->key, c.playing ? 60 : note + 35) << "step " << k;
      EXPECT_EQ(heard->velocity, accent && !c.playing ? 127 : 64) << "step " << k;
    }
  }
}

TEST(Randomisation, NeverHappensWithoutARequest) {
  // A long render in every sync type with keys and wheel moving (recording
  // off): the song and the sound parameters stay exactly as they were.
  FakeHost host;
  const Bytes before = host.getChunk();
  host.resume();
  host.play(120.0);
  for (int block = 0; block < 400; ++block) {
    if (block % 50 == 10) host.sendMidi({noteOn(40 + block % 30, 100), pitchBend(0, 127)});
    if (block % 50 == 30) host.sendMidi({noteOff(40 + (block - 20) % 30), pitchBend(0, 0)});
    if (block % 100 == 50) host.setParameter(26, block == 150 ? 0.5f : block == 250 ? 0.9f : 0.0f);
    host.render(512);
  }
  EXPECT_EQ(host.getChunk(), before);
}

}  // namespace
}  // namespace vornix::test
