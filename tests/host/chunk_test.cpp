// The state chunk through effGetChunk / effSetChunk. The expected bytes are
// built here from the layout (header, 29 little-endian floats, pattern
// count, one record per pattern) and the factory content, not taken from
// the plug-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A state that differs from the defaults everywhere a restore could go
// wrong: parameter values, step contents, lengths (1, 40 and 64 steps),
// names (empty, changed, 127 bytes), note bytes with the top bit set, and
// a current pattern other than 0.
ChunkImage editedImage() {
  ChunkImage image = ChunkImage::factory();
  // clang-format off
  image.params = {0.8f, 1.0f, 0.25f, 0.6f, 0.4f, 0.7f, 0.2f, 0.9f, 0.3f, 0.5f,
                  39.0f / 63.0f, 0.6f, 0.7f, 1.0f,  // 40 steps in the current pattern; antialias fixed
                  0.15625f,  // trigger pt: pattern 5
                  1.0f, 0.0f, 1.0f, 0.8f, 0.45f, 0.55f, 0.65f, 1.0f, 0.6f, 0.35f, 0.15f,
                  0.4f, 100.0f / 260.0f, 1.0f};  // internal sync at 140 BPM, recording
  // clang-format on
  for (int s = 0; s < 16; ++s) image.patterns[0].steps[s] = {kFactoryNotes[15 - s], s & 1, 0};
  image.patterns[0].name = "reversed";
  image.patterns[5].steps.clear();
  for (int s = 0; s < 40; ++s) image.patterns[5].steps.push_back({1 + s, s % 3 == 0, s % 5 == 0});
  image.patterns[5].name = "acid line";
  image.patterns[17] = {17, {{0, 0, 1}}, ""};
  image.patterns[31] = {31, std::vector<ChunkStep>(64, {60, 1, 1}), std::string(127, 'n')};
  image.patterns[63] = {
      63, {{0xFF, 0, 0}, {0x80, 1, 0}, {60, 0, 1}, {1, 0, 0}, {0, 0, 0}, {0x7F, 1, 1}}, "last"};
  return image;
}

TEST(StateChunk, FreshInstanceAndCurrentPatternLength) {
  FakeHost host;
  ChunkImage expected = ChunkImage::factory();
  EXPECT_EQ(host.getChunk().size(), 11512u);  // 120 + 64 * (130 + 3 * 16)
  EXPECT_EQ(host.getChunk(), expected.bytes());
  EXPECT_EQ(host.getChunk(true), expected.bytes());

  // The current pattern's record carries NB STEP; the hidden steps of a
  // lengthened pattern are defaults, those of a shortened one come back.
  host.setParameter(10, 1.0f);
  expected.params[10] = 1.0f;
  expected.patterns[0].steps.resize(64, {25, 0, 0});
  EXPECT_EQ(host.getChunk(), expected.bytes());
  host.setParameter(10, 0.0f);
  expected.params[10] = 0.0f;
  expected.patterns[0].steps.resize(1);
  EXPECT_EQ(host.getChunk(), expected.bytes());
  host.setParameter(10, 15.0f / 63.0f);
  EXPECT_EQ(host.getChunk(), ChunkImage::factory().bytes());
}

TEST(StateChunk, RestoresIntoAnotherInstance) {
  const Bytes edited = editedImage().bytes();
  FakeHost source, target;
  EXPECT_EQ(target.setChunk(edited), 1);
  EXPECT_EQ(target.getChunk(), edited);
  EXPECT_EQ(target.display(14), "6");
  EXPECT_EQ(target.display(10), "40");
  EXPECT_EQ(source.getChunk(), ChunkImage::factory().bytes());
  EXPECT_EQ(source.setChunk(target.getChunk(), true), 1);
  EXPECT_EQ(source.getChunk(), edited);

  // A chunk with only some records restores those and the parameters; the
  // current pattern is trunc(32 v) of trigger pt.
  ChunkImage partial = ChunkImage::factory();
  partial.params[3] = 0.75f;
  partial.params[14] = 0.18f;
  partial.patterns = {{7, std::vector<ChunkStep>(9, {40, 1, 0}), "seven"},
                      {3, {{0, 0, 1}, {0, 0, 1}}, "three"}};
  ChunkImage expected = ChunkImage::factory();
  expected.params[3] = 0.75f;
  expected.params[14] = 5 * 0.03125f;
  expected.patterns[7] = partial.patterns[0];
  expected.patterns[3] = partial.patterns[1];
  FakeHost fresh;
  EXPECT_EQ(fresh.setChunk(partial.bytes()), 1);
  EXPECT_EQ(fresh.getChunk(), expected.bytes());
}

TEST(StateChunk, DamagedChunksChangeNothing) {
  FakeHost host;
  const Bytes before = host.getChunk();
  const Bytes good = editedImage().bytes();
  const size_t lastRecord = good.size() - (130 + 3 * 6);
  // The header's version, tag and value count; pattern indices 64 and 255;
  // step counts 0 and 65; name lengths 128 and 255; 65 records announced;
  // the last record one step longer than it carries.
  // clang-format off
  const std::pair<size_t, uint8_t> damages[] = {
      {0, 3}, {1, 1}, {2, 28}, {2, 30}, {120, 64}, {lastRecord, 255}, {121, 0}, {121, 65},
      {120 + 2 + 3 * 16, 128}, {120 + 2 + 3 * 16, 255}, {119, 65}, {lastRecord + 1, 7}};
  // clang-format on
  for (const auto& [at, value] : damages) {
    Bytes bad = good;
    bad[at] = value;
    EXPECT_EQ(host.setChunk(bad), 0) << "byte " << at << " = " << int(value);
  }
  // Every truncation, down to nothing, and sizes that do not describe the buffer.
  for (size_t size = 0; size < good.size(); ++size) {
    ASSERT_EQ(host.setChunk(Bytes(good.begin(), good.begin() + size)), 0) << "truncated to " << size;
  }
  Bytes copy = good;
  EXPECT_EQ(host.dispatch(effSetChunk, 0, -1, copy.data()), 0);
  EXPECT_EQ(host.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(good.size()), nullptr), 0);
  EXPECT_EQ(host.getChunk(), before);
  EXPECT_EQ(host.setChunk(good), 1);
}

}  // namespace
}  // namespace vornix::test
