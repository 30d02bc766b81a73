// The sequencer's notes as the host receives them: velocities, rests and
// note bytes out of range, tied notes released in the next block, the gate's
// release points, glides between slid steps, and the pattern keys of the
// MIDI input. Release offsets are those printed by engine_expected.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "support/ScriptedHost.h"

namespace vornix::test {
namespace {

const int kFactoryNotes[16] = {13, 15, 15, 14, 12, 16, 15, 14, 16, 13, 8, 16, 12, 16, 18, 12};
const bool kFactoryAccent[16] = {0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1};

double stepStart(int k) { return std::ceil(k * 5512.5); }

// Plays one pass of pattern 0 at 120 BPM from the host's beat 0.
void playOnePattern(ScriptedHost& host, int blockFrames = 512) {
  host.resume();
  host.playTransport(120.0);
  host.renderFrames(88200 + 4 * blockFrames, blockFrames);
}

// The note-on of each step of the first pass, or none for a silent step.
std::vector<std::optional<HeardNote>> notesByStep(const ScriptedHost& host, double stepLength,
                                                  int steps) {
  std::vector<std::optional<HeardNote>> out(steps);
  for (const HeardNote& n : host.noteOns()) {
    const int k = static_cast<int>(std::floor((n.at + 1.5) / stepLength));
    if (k >= 0 && k < steps && !out[k]) out[k] = n;
  }
  return out;
}

TEST(SequencerMidi, VelocitiesRestsAndNotesOutOfRange) {
  // Step 7 a rest, step 12 note 70 and step 13 the byte 0xFF: none of them
  // plays or sends anything.
  ScriptedHost host;
  std::vector<uint8_t> chunk = host.getChunk();
  setChunkStep(chunk, 0, 7, {0, 0, 0});
  setChunkStep(chunk, 0, 12, {70, 0, 0});
  setChunkStep(chunk, 0, 13, {0xFF, 0, 1});
  ASSERT_EQ(host.setChunk(chunk), 1);
  playOnePattern(host);

  ScriptedHost plain;
  playOnePattern(plain);

  const auto heard = notesByStep(host, 5512.5, 16);
  for (int k = 0; k < 16; ++k) {
    SCOPED_TRACE("step " + std::to_string(k));
    if (k == 7 || k == 12 || k == 13) {
      EXPECT_FALSE(heard[k].has_value());
      // The voice is released at the step's start: by its second half the
      // ring-out has died away next to the same step played as a note.
      const int64_t from = static_cast<int64_t>(stepStart(k)) + 2500;
      EXPECT_LT(host.rms(from, 2500), 0.05 * plain.rms(from, 2500));
      continue;
    }
    ASSERT_TRUE(heard[k].has_value());
    EXPECT_EQ(heard[k]->key, kFactoryNotes[k] + 35);
    EXPECT_EQ(heard[k]->velocity, kFactoryAccent[k] ? 127 : 64);
    EXPECT_NEAR(static_cast<double>(heard[k]->at), stepStart(k), 1.0);
  }
  for (const SentMidi& m : host.sentMidi()) {
    EXPECT_GE(m.data1, 36) << "status " << int(m.status);
    EXPECT_LE(m.data1, 95) << "status " << int(m.status);
    EXPECT_GE(m.deltaFrames, 0);
    EXPECT_LT(m.deltaFrames, 512);
  }
  host.stopTransport(120.0);
  host.render(512, 3);
  EXPECT_TRUE(host.keysStillOn().empty());
}

TEST(SequencerMidi, TiedNoteIsReleasedHalfwayIntoTheNextBlock) {
  for (int frames : {512, 300, 1000}) {
    SCOPED_TRACE("block of " + std::to_string(frames));
    ScriptedHost host;
    playOnePattern(host, frames);
    const auto heard = notesByStep(host, 5512.5, 16);
    // Step 4 (key 47) slides into step 5 (key 51); step 14 (53) into 15 (47).
    for (auto [tied, next] : {std::pair{4, 5}, std::pair{14, 15}}) {
      ASSERT_TRUE(heard[tied] && heard[next]);
      const auto off = host.firstOffAfter(heard[tied]->key, heard[tied]->at);
      ASSERT_TRUE(off.has_value()) << "step " << tied;
      EXPECT_EQ(off->block, heard[next]->block + 1) << "step " << tied;
      EXPECT_EQ(off->deltaFrames, frames / 2) << "step " << tied;
    }
    // Step 1 (key 50) slides into step 2 on the same key: the one note-off
    // follows step 2's note-on, half a block into the next block.
    const auto off50 = host.firstOffAfter(50, heard[1]->at);
    ASSERT_TRUE(off50.has_value());
    EXPECT_EQ(off50->block, heard[2]->block + 1);
    EXPECT_EQ(off50->deltaFrames, frames / 2);
  }
}

TEST(SequencerMidi, GateReleasePoints) {
  // Samples from note-on to note-off for plain and accented steps; 0 means
  // the gate stays open for the whole step (the note-off then comes with the
  // next block after the next note-on).
  struct Case {
    double bpm;
    float gate;
    int plain, accented;
  };
  const Case cases[] = {
      {120.0, 0.0f, 407, 1133}, {120.0, 0.25f, 1509, 2235}, {120.0, 0.5f, 2611, 3337},
      {120.0, 1.0f, 4815, 0},   {133.0, 0.0f, 367, 1021},   {133.0, 0.25f, 1362, 2016},
      {133.0, 1.0f, 4345, 0},
  };
  // Steps that neither slide into the next step nor share a key with the
  // step before (tied steps 1, 4, 9, 14 and step 2 excluded).
  const int steps[] = {0, 3, 5, 6, 7, 8, 10, 11, 12, 13, 15};
  for (const Case& c : cases) {
    SCOPED_TRACE("tempo " + std::to_string(c.bpm) + " gate " + std::to_string(c.gate));
    ScriptedHost host;
    host.setParameter(8, c.gate);
    host.resume();
    host.playTransport(c.bpm);
    const double stepLength = 44100.0 * 60.0 / c.bpm / 4.0;
    host.renderFrames(static_cast<int64_t>(17 * stepLength) + 2048, 512);
    const auto heard = notesByStep(host, stepLength, 17);
    for (int k : steps) {
      SCOPED_TRACE("step " + std::to_string(k));
      ASSERT_TRUE(heard[k].has_value());
      const auto off = host.firstOffAfter(heard[k]->key, heard[k]->at);
      ASSERT_TRUE(off.has_value());
      const int expected = kFactoryAccent[k] ? c.accented : c.plain;
      if (expected > 0) {
        EXPECT_EQ(off->at - heard[k]->at, expected);
      } else {
        ASSERT_TRUE(heard[k + 1].has_value());
        EXPECT_EQ(off->block, heard[k + 1]->block + 1);
        EXPECT_EQ(off->deltaFrames, 256);
      }
    }
  }
}

// Level of the first difference of the left channel over a window: rises
// with the brightness of the sound.
double slopeRms(const ScriptedHost& host, int64_t from, int64_t length) {
  const std::vector<float>& x = host.recordedLeft();
  double sum = 0.0;
  for (int64_t i = from; i < from + length; ++i) {
    const double d = double(x.at(i)) - x.at(i - 1);
    sum += d * d;
  }
  return std::sqrt(sum / static_cast<double>(length));
}

TEST(SequencerVoice, SlidStepsGlideWithoutRetrigger) {
  ScriptedHost host;
  playOnePattern(host);
  // Step 4 (note 12, period 714.3 samples) slides into step 5 (note 16,
  // period 567.0), which starts at 27563. The pitch moves exponentially over
  // one step: halfway it is near note 14 (period 636.4).
  const int64_t glide = 27563;
  EXPECT_NEAR(host.period(glide - 3000, 3000, 450, 850), 714.3, 714.3 * 0.01);
  const double middle = host.period(glide + 2000, 1500, 450, 850);
  EXPECT_GT(middle, 567.0 * 1.04);
  EXPECT_LT(middle, 714.3 * 0.96);
  // No new attack where the glide starts: level and brightness (the level
  // of the first difference) carry on across the step start over two
  // periods either side, while a fresh note after a released one jumps.
  for (int64_t at : {int64_t{11025}, glide}) {  // step 2 glides too (same key)
    SCOPED_TRACE("glide at " + std::to_string(at));
    const double level = host.rms(at, 1428) / host.rms(at - 1428, 1428);
    const double bright = slopeRms(host, at, 1428) / slopeRms(host, at - 1428, 1428);
    EXPECT_GT(level, 0.8);
    EXPECT_LT(level, 1.25);
    EXPECT_GT(bright, 0.8);
    EXPECT_LT(bright, 1.25);
  }
  const int64_t fresh = 33075;  // step 6 after step 5's gate closed
  EXPECT_GT(host.rms(fresh, 1428) / host.rms(fresh - 1428, 1428), 2.0);
  // Step 6 is a new note: note 15 (period 600.7) from its first samples.
  EXPECT_NEAR(host.period(fresh + 200, 2400, 450, 850), 600.7, 600.7 * 0.01);
}

TEST(SequencerMidi, PatternKeysSelectPatterns) {
  // Patterns 2 and 31 get recognisable first notes (keys 75 and 76).
  ScriptedHost host;
  std::vector<uint8_t> chunk = host.getChunk();
  setChunkStep(chunk, 2, 0, {40, 0, 0});
  setChunkStep(chunk, 31, 0, {41, 0, 1});
  ASSERT_EQ(host.setChunk(chunk), 1);

  // Host stopped: the key switches at once, whatever the channel.
  host.sendMidi({noteOn(31, 100, 9), noteOff(31)});
  EXPECT_EQ(host.getParameter(14), 31 * 0.03125f);
  host.sendMidi({noteOn(32, 100), noteOff(32)});  // not a pattern key
  EXPECT_EQ(host.getParameter(14), 31 * 0.03125f);
  const std::vector<uint8_t> after = host.getChunk();
  ASSERT_EQ(after.size(), chunk.size());
  EXPECT_TRUE(std::equal(after.begin() + 120, after.end(), chunk.begin() + 120))
      << "key 32 changed the song";

  host.resume();
  host.playTransport(120.0);
  host.render(512, 4);
  auto ons = host.noteOns();
  ASSERT_FALSE(ons.empty());
  EXPECT_EQ(ons[0].key, 76);
  EXPECT_EQ(ons[0].velocity, 127);
  EXPECT_EQ(ons[0].at, 0);

  // While playing, key 2 on channel 3 waits for the pattern-sync point
  // ("AUTO": pattern 31 wraps after 16 steps, 88200 samples).
  host.sendMidi({noteOn(2, 64, 3)});
  EXPECT_EQ(host.getParameter(14), 0.0625f);
  host.render(512, 4);
  host.sendMidi({noteOff(2)});
  host.render(512, 170);
  ons = host.noteOns();
  size_t first = 0;
  while (first < ons.size() && ons[first].key != 75) ++first;
  ASSERT_LT(first, ons.size());
  EXPECT_EQ(ons[first].at, 88200);
}

}  // namespace
}  // namespace vornix::test
