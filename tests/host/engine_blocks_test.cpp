// How the engine copes with what hosts do to block sizes, time information
// and sample rates: the same render cut into blocks of 1, 512 and 8192
// frames, a host without time information or with a meaningless tempo, and
// the 16000 Hz path that renders at 44100 Hz into a side buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/ScriptedHost.h"

namespace vornix::test {
namespace {

const int kFactoryNotes[16] = {13, 15, 15, 14, 12, 16, 15, 14, 16, 13, 8, 16, 12, 16, 18, 12};
const bool kFactoryAccent[16] = {0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1};

bool allFinite(const std::vector<float>& samples) {
  for (float s : samples) {
    if (!std::isfinite(s)) return false;
  }
  return true;
}

// One render of pattern 0 with every note set to 13 (slides and accents as
// in the factory line) in blocks of the given size, at a tempo of exactly
// 16384 samples per beat. Two things in the voice are sampled on a grid
// counted from each block's start and would otherwise tie the sound to the
// block size: the note frequency for key tracking (once per block: one note
// throughout keeps it constant) and the band-limited oscillator, rendered in
// chunks of 32 samples, whose restart at a new note shows from the next
// chunk (steps of exactly 4096 samples start on that grid for every block
// size). A warm-up in 512-frame blocks (play, stop, fade) leaves the voice
// with the note.
constexpr double kGridTempo = 161.4990234375;  // 44100 × 60 / 16384, exact

void renderOneNoteLine(ScriptedHost& host, int blockFrames) {
  std::vector<uint8_t> chunk = host.getChunk();
  for (int k = 0; k < 16; ++k) {
    ChunkStep s = chunkStep(chunk, 0, k);
    s.note = 13;
    setChunkStep(chunk, 0, k, s);
  }
  ASSERT_EQ(host.setChunk(chunk), 1);
  host.resume();
  host.playTransport(kGridTempo);
  host.render(512, 4);
  host.stopTransport(kGridTempo);
  host.render(512, 4);
  host.playTransport(kGridTempo);
  host.renderFrames(6 * 8192, blockFrames);
}

TEST(BlockSizes, RenderDoesNotDependOnWhereBlocksAreCut) {
  ScriptedHost reference;  // announces and plays 512-frame blocks
  renderOneNoteLine(reference, 512);
  ASSERT_GT(reference.peak(4096, 6 * 8192), 1e-3);
  for (int frames : {1, 8192}) {
    SCOPED_TRACE("blocks of " + std::to_string(frames));
    ScriptedHost host;  // also announces 512
    renderOneNoteLine(host, frames);
    ASSERT_EQ(host.recordedFrames(), reference.recordedFrames());
    for (int64_t i = 0; i < host.recordedFrames(); ++i) {
      ASSERT_NEAR(host.recordedLeft()[i], reference.recordedLeft()[i], 1e-6f) << "sample " << i;
      ASSERT_NEAR(host.recordedRight()[i], reference.recordedRight()[i], 1e-6f)
          << "sample " << i;
    }
    const auto ons = host.noteOns();
    const auto expected = reference.noteOns();
    ASSERT_EQ(ons.size(), expected.size());
    for (size_t n = 0; n < ons.size(); ++n) {
      EXPECT_EQ(ons[n].at, expected[n].at) << "note " << n;
      EXPECT_EQ(ons[n].key, expected[n].key) << "note " << n;
      EXPECT_EQ(ons[n].velocity, expected[n].velocity) << "note " << n;
    }
    for (const SentMidi& m : host.sentMidi()) {
      if (m.block < 8) continue;  // the warm-up's 512-frame blocks
      EXPECT_GE(m.deltaFrames, 0);
      EXPECT_LT(m.deltaFrames, frames);
    }
  }
}

TEST(HostQuirks, MissingTimeInfoAndMeaninglessTempos) {
  {
    // Time information disappears while playing: the blocks stay finite and
    // either silent or on at the last good tempo (a step every 5512.5).
    ScriptedHost host;
    host.resume();
    host.playTransport(120.0);
    host.render(512, 20);
    host.noTimeInfo();
    const int64_t from = host.recordedFrames();
    host.render(512, 40);
    EXPECT_TRUE(allFinite(host.recordedLeft()));
    EXPECT_TRUE(allFinite(host.recordedRight()));
    EXPECT_LT(host.peak(0, host.recordedFrames()), 4.0);
    const auto ons = host.noteOns();
    for (size_t n = 1; n < ons.size(); ++n) {
      if (ons[n].at < from) continue;
      EXPECT_NEAR(static_cast<double>(ons[n].at - ons[n - 1].at), 5512.5, 1.0) << "note " << n;
    }
    host.playTransport(120.0);  // the host answers again
    host.render(512, 20);
    EXPECT_TRUE(allFinite(host.recordedLeft()));
    EXPECT_GT(host.peak(host.recordedFrames() - 8192, 8192), 1e-3);
  }
  {
    // No time information from the very first block, in every sync type.
    ScriptedHost host;
    host.noTimeInfo();
    host.resume();
    host.render(512, 10);
    host.setParameter(26, 0.9f);
    host.sendMidi({noteOn(48, 100)});
    host.render(512, 10);
    host.setParameter(26, 0.5f);
    host.render(512, 10);
    EXPECT_TRUE(allFinite(host.recordedLeft()));
    EXPECT_TRUE(allFinite(host.recordedRight()));
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double tempo : {0.0, -120.0, nan, inf}) {
    SCOPED_TRACE("tempo " + std::to_string(tempo));
    {
      // From the start.
      ScriptedHost host;
      host.resume();
      host.playTransport(tempo);
      host.render(512, 40);
      EXPECT_TRUE(allFinite(host.recordedLeft()));
      EXPECT_LT(host.peak(0, host.recordedFrames()), 4.0);
      for (const SentMidi& m : host.sentMidi()) {
        EXPECT_GE(m.deltaFrames, 0);
        EXPECT_LT(m.deltaFrames, 512);
      }
    }
    {
      // After playing at 120: silence or the last good tempo.
      ScriptedHost host;
      host.resume();
      host.playTransport(120.0);
      host.render(512, 20);
      host.timeInfo().tempo = tempo;
      const int64_t from = host.recordedFrames();
      host.render(512, 40);
      EXPECT_TRUE(allFinite(host.recordedLeft()));
      EXPECT_LT(host.peak(0, host.recordedFrames()), 4.0);
      const auto ons = host.noteOns();
      for (size_t n = 1; n < ons.size(); ++n) {
        if (ons[n].at < from) continue;
        EXPECT_NEAR(static_cast<double>(ons[n].at - ons[n - 1].at), 5512.5, 1.0)
            << "note " << n;
      }
      for (const SentMidi& m : host.sentMidi()) {
        EXPECT_GE(m.deltaFrames, 0);
        EXPECT_LT(m.deltaFrames, 512);
      }
      host.timeInfo().tempo = 120.0;
      host.render(512, 20);
      EXPECT_TRUE(allFinite(host.recordedLeft()));
    }
  }
}

TEST(LowRate, SixteenKilohertzRendersAt44100AndResamples) {
  ScriptedHost::Options options;
  options.sampleRate = 16000.0f;
  ScriptedHost host(options);
  host.resume();
  host.playTransport(120.0);
  host.render(512, 63);  // 63 × ceil(512 × 2.75625) = 63 × 1412 engine samples
  EXPECT_TRUE(allFinite(host.recordedLeft()));
  EXPECT_GT(host.peak(0, host.recordedFrames()), 1e-3);
  // The same value goes to both outputs; the volume smoother runs once per
  // channel and has settled after a second.
  for (int64_t i = 16000; i < host.recordedFrames(); ++i) {
    ASSERT_NEAR(host.recordedLeft()[i], host.recordedRight()[i], 1e-6f) << "sample " << i;
  }

  // The step clock runs on the 44100 Hz render: step k starts at engine
  // sample ceil(k × 5512.5), in block (that sample) / 1412, and its event
  // is placed inside the 512-frame host block in proportion.
  const int expectedBlock[16] = {0, 3, 7, 11, 15, 19, 23, 27, 31, 35, 39, 42, 46, 50, 54, 58};
  const double expectedOffset[16] = {0.0,   463.3, 414.0, 365.0, 315.6, 266.7, 217.3, 168.3,
                                     119.0, 70.0,  20.7,  484.0, 434.6, 385.7, 336.3, 287.3};
  const auto ons = host.noteOns();
  ASSERT_GE(ons.size(), 16u);
  for (int k = 0; k < 16; ++k) {
    SCOPED_TRACE("step " + std::to_string(k));
    EXPECT_EQ(ons[k].key, kFactoryNotes[k] + 35);
    EXPECT_EQ(ons[k].velocity, kFactoryAccent[k] ? 127 : 64);
    EXPECT_EQ(ons[k].block, expectedBlock[k]);
    EXPECT_NEAR(ons[k].deltaFrames, expectedOffset[k], 2.0);
  }
  for (const SentMidi& m : host.sentMidi()) {
    EXPECT_GE(m.deltaFrames, 0);
    EXPECT_LT(m.deltaFrames, 512);
  }
}

}  // namespace
}  // namespace vornix::test
