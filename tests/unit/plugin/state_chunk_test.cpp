// The chunk reader refuses every malformed chunk outright, so a restore
// never applies half a chunk.
#include <gtest/gtest.h>

#include <vector>

#include "plugin/StateChunk.h"

namespace {

std::vector<uint8_t> chunkOf(const Song& song) {
  std::array<float, StateChunk::kNumValues> values{};
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i) / 32.0f;
  std::vector<uint8_t> bytes;
  writeStateChunk(values, song, bytes);
  return bytes;
}

}  // namespace

TEST(StateChunk, RecordsFollowThePatternLengths) {
  Song song;
  song.getPattern(2)->setNBStep(64);
  song.getPattern(2)->setName(std::string(200, 'x'));  // cut to 127 in the chunk
  song.getPattern(2)->setStepSlide(true, 5);
  song.getPattern(3)->setNBStep(1);
  song.getPattern(3)->setStepNote(-1, 0);
  song.getPattern(3)->setStepAccent(true, 0);
  const std::vector<uint8_t> bytes = chunkOf(song);
  // 120 + 62 x 178 + (130 + 192) + (130 + 3)
  ASSERT_EQ(bytes.size(), 120u + 62u * 178u + 322u + 133u);

  StateChunk parsed;
  ASSERT_TRUE(readStateChunk(bytes.data(), bytes.size(), parsed));
  ASSERT_EQ(parsed.patterns.size(), 64u);
  EXPECT_EQ(parsed.patterns[2].nbStep, 64);
  EXPECT_EQ(parsed.patterns[2].name.size(), 127u);
  EXPECT_TRUE(parsed.patterns[2].steps[5].slide && !parsed.patterns[2].steps[5].accent);
  EXPECT_TRUE(parsed.patterns[3].steps[0].accent && !parsed.patterns[3].steps[0].slide);
  EXPECT_EQ(parsed.patterns[3].steps[0].note, -1);  // 0xFF read back as a signed byte
  EXPECT_FLOAT_EQ(parsed.values[28], 28.0f / 32.0f);
}

TEST(StateChunk, MalformedChunksAreRefused) {
  const std::vector<uint8_t> good = chunkOf(Song());
  StateChunk parsed;
  for (size_t cut = 0; cut < good.size(); cut += 7)
    EXPECT_FALSE(readStateChunk(good.data(), cut, parsed)) << cut;
  EXPECT_FALSE(readStateChunk(nullptr, good.size(), parsed));
  const std::pair<size_t, uint8_t> broken[] = {
      {0, 3},          {2, 28},  // tag and value count
      {120, 64},                 // pattern index out of the song
      {121, 0},                  // no steps
      {121, 65},                 // more than 64 steps
      {120 + 50, 128},           // name longer than its field
      {121, 17},                 // a longer first record shifts the rest past the end
  };
  for (auto [offset, value] : broken) {
    std::vector<uint8_t> bytes = good;
    bytes[offset] = value;
    EXPECT_FALSE(readStateChunk(bytes.data(), bytes.size(), parsed)) << offset;
  }
  // Fewer records than patterns is fine: only those are restored.
  std::vector<uint8_t> fewer(good.begin(), good.begin() + 120 + 178);
  fewer[119] = 1;
  ASSERT_TRUE(readStateChunk(fewer.data(), fewer.size(), parsed));
  EXPECT_EQ(parsed.patterns.size(), 1u);
}
