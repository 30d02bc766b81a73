// Pattern recording from held MIDI keys in host sync (parameter 28), read
// back from the state chunk and from the notes the host receives; and the
// song staying untouched when nobody asks for a change.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/ScriptedHost.h"

namespace vornix::test {
namespace {

const int kFactoryNotes[16] = {13, 15, 15, 14, 12, 16, 15, 14, 16, 13, 8, 16, 12, 16, 18, 12};
const bool kFactorySlide[16] = {0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
const bool kFactoryAccent[16] = {0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1};

// Steps 0..7 of pattern 0 start in the first 80 blocks of 512 (step 8 is
// due at 44100 = block 86).
constexpr int kEightStepsBlocks = 80;

void expectFactoryStep(const std::vector<uint8_t>& chunk, int pattern, int k) {
  const ChunkStep s = chunkStep(chunk, pattern, k);
  EXPECT_EQ(s.note, kFactoryNotes[k]) << "step " << k;
  EXPECT_EQ(s.slide, kFactorySlide[k]) << "step " << k;
  EXPECT_EQ(s.accent, kFactoryAccent[k]) << "step " << k;
}

TEST(Recording, HeldChordRecordsAnArpeggio) {
  // The accent follows the velocity of the most recent press: 83 accents,
  // 82 does not, whatever the earlier keys had.
  for (int lastVelocity : {83, 82}) {
    SCOPED_TRACE("last velocity " + std::to_string(lastVelocity));
    const int earlier = lastVelocity > 82 ? 10 : 127;
    ScriptedHost host;
    host.setParameter(28, 1.0f);
    host.sendMidi({noteOn(48, earlier), noteOn(52, earlier), noteOn(55, lastVelocity)});
    host.resume();
    host.playTransport(120.0);
    host.render(512, kEightStepsBlocks);
    host.sendMidi({noteOff(48), noteOff(52), noteOff(55)});
    host.render(512, 110);  // the rest of the pattern and its wrap: no keys

    const int arpeggio[3] = {13, 17, 20};
    const std::vector<uint8_t> chunk = host.getChunk();
    const auto ons = host.noteOns();
    ASSERT_GE(ons.size(), 8u);
    for (int k = 0; k < 8; ++k) {
      const ChunkStep s = chunkStep(chunk, 0, k);
      EXPECT_EQ(s.note, arpeggio[k % 3]) << "step " << k;
      EXPECT_EQ(s.accent, lastVelocity > 82 ? 1 : 0) << "step " << k;
      EXPECT_EQ(s.slide, kFactorySlide[k]) << "step " << k;
      // The recorded note is the one the step plays.
      EXPECT_EQ(ons[k].key, arpeggio[k % 3] + 35) << "step " << k;
      EXPECT_EQ(ons[k].velocity, lastVelocity > 82 ? 127 : 64) << "step " << k;
    }
    for (int k = 8; k < 16; ++k) expectFactoryStep(chunk, 0, k);
    EXPECT_EQ(patternLength(chunk, 0), 16);
  }
}

TEST(Recording, WheelRestsAndKeysThatAreNotRecorded) {
  {
    // Wheel up while no key is held: starting steps get their slide set and
    // keep their notes; centred: untouched; down: slides cleared.
    ScriptedHost host;
    host.setParameter(28, 1.0f);
    host.sendMidi({pitchBend(0, 127)});
    host.resume();
    host.playTransport(120.0);
    host.render(512, 43);  // steps 0..3
    host.sendMidi({pitchBend(0, 64)});
    host.render(512, 43);  // steps 4..7
    host.sendMidi({pitchBend(0, 0)});
    host.render(512, 43);  // steps 8..11
    host.stopTransport(120.0);
    host.render(512, 2);
    const std::vector<uint8_t> chunk = host.getChunk();
    for (int k = 0; k < 16; ++k) {
      const ChunkStep s = chunkStep(chunk, 0, k);
      EXPECT_EQ(s.note, kFactoryNotes[k]) << "step " << k;
      EXPECT_EQ(s.accent, kFactoryAccent[k]) << "step " << k;
      const int slide = k < 4 ? 1 : k < 8 ? kFactorySlide[k] : k < 12 ? 0 : kFactorySlide[k];
      EXPECT_EQ(s.slide, slide) << "step " << k;
    }
  }
  {
    // The wheel is only read while recording: pushed before recording is
    // switched on, it sets nothing.
    ScriptedHost host;
    const std::vector<uint8_t> before = host.getChunk();
    host.sendMidi({pitchBend(0, 127)});
    host.setParameter(28, 1.0f);
    host.resume();
    host.playTransport(120.0);
    host.render(512, kEightStepsBlocks);
    const std::vector<uint8_t> after = host.getChunk();
    EXPECT_TRUE(std::equal(after.begin() + 120, after.end(), before.begin() + 120));
  }
  {
    // Key 95 records rests (95 - 35 = 60 is outside 0..59): the steps play
    // nothing.
    ScriptedHost host;
    host.setParameter(28, 1.0f);
    host.sendMidi({noteOn(95, 100)});
    host.resume();
    host.playTransport(120.0);
    host.render(512, 20);  // steps 0 and 1
    EXPECT_TRUE(host.noteOns().empty());
    host.sendMidi({noteOff(95)});
    host.render(512, 2);
    const std::vector<uint8_t> chunk = host.getChunk();
    EXPECT_EQ(chunkStep(chunk, 0, 0).note, 0);
    EXPECT_EQ(chunkStep(chunk, 0, 1).note, 0);
    expectFactoryStep(chunk, 0, 2);
  }
  {
    // Key 30 selects pattern 30 and is never recorded; recording off leaves
    // held keys unrecorded too.
    for (bool recording : {true, false}) {
      SCOPED_TRACE(recording ? "key 30, recording" : "key 48, recording off");
      ScriptedHost host;
      const std::vector<uint8_t> before = host.getChunk();
      host.setParameter(28, recording ? 1.0f : 0.0f);
      host.sendMidi({noteOn(recording ? 30 : 48, 100)});
      host.resume();
      host.playTransport(120.0);
      host.render(512, kEightStepsBlocks);
      const std::vector<uint8_t> after = host.getChunk();
      EXPECT_TRUE(std::equal(after.begin() + 120, after.end(), before.begin() + 120));
      const auto ons = host.noteOns();
      ASSERT_EQ(ons.size(), 8u);
      for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(ons[k].key, recording ? 60 : kFactoryNotes[k] + 35) << "step " << k;
      }
      if (recording) {
        EXPECT_EQ(host.getParameter(14), 30 * 0.03125f);
      }
    }
  }
}

TEST(Randomisation, NeverHappensWithoutARequest) {
  // Long renders in every sync type with keys and wheel moving (recording
  // off): the song and the sound parameters stay exactly as they were.
  ScriptedHost host;
  const std::vector<uint8_t> before = host.getChunk();
  host.resume();
  host.playTransport(120.0);
  for (int block = 0; block < 400; ++block) {
    if (block % 50 == 10) host.sendMidi({noteOn(40 + block % 30, 100), pitchBend(0, 127)});
    if (block % 50 == 30) host.sendMidi({noteOff(40 + (block - 20) % 30), pitchBend(0, 0)});
    if (block == 150) host.setParameter(26, 0.5f);  // internal clock, stopped
    if (block == 250) host.setParameter(26, 0.9f);  // keyboard
    if (block == 350) host.setParameter(26, 0.0f);  // back to host sync
    host.render(512);
  }
  const std::vector<uint8_t> after = host.getChunk();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(after.begin() + 120, after.end(), before.begin() + 120));
  for (int index : {1, 3, 4, 5, 6, 7}) {
    EXPECT_EQ(chunkFloat(after, 3 + 4 * index), chunkFloat(before, 3 + 4 * index))
        << "parameter " << index;
  }
}

}  // namespace
}  // namespace vornix::test
