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
  song.getPattern(3)->setNBStep(1);
  song.getPattern(3)->setStepNote(-1, 0);
  const std::vector<uint8_t> bytes = chunkOf(song);
  // 120 + 62 x 178 + (130 + 192) + (130 + 3)
  ASSERT_EQ(bytes.size(), 120u + 62u * 178u + 322u + 133u);

  StateChunk parsed;
  ASSERT_TRUE(readStateChunk(bytes.data(), bytes.size(), parsed));
  ASSERT_EQ(parsed.patterns.size(), 64u);
  EXPECT_EQ(parsed.patterns[2].nbStep, 64);
  EXPECT_EQ(parsed.patterns[2].name.size(), 127u);
  EXPECT_EQ(parsed.patterns[3].steps[0].note, -1);  // 0xFF read back as a signed byte
  EXPECT_FLOAT_EQ(parsed.values[28], 28.0f / 32.0f);
}

TEST(StateChunk, MalformedChunksAreRefused) {
  Song song;
  const std::vector<uint8_t> good = chunkOf(song);
  StateChunk parsed;
  for (size_t cut = 0; cut < good.size(); cut += 7)
    EXPECT_FALSE(readStateChunk(good.data(), cut, parsed)) << cut;

  auto broken = [&](size_t offset, uint8_t value) {
    std::vector<uint8_t> bytes = good;
    bytes[offset] = value;
    return !readStateChunk(bytes.data(), bytes.size(), parsed);
  };
  EXPECT_TRUE(broken(0, 3));
  EXPECT_TRUE(broken(2, 28));
  EXPECT_TRUE(broken(120, 64));        // pattern index out of the song
  EXPECT_TRUE(broken(121, 0));         // no steps
  EXPECT_TRUE(broken(121, 65));        // more than 64 steps
  EXPECT_TRUE(broken(120 + 50, 128));  // name longer than its field
  EXPECT_TRUE(broken(121, 17));        // a longer first record shifts the rest past the end
  EXPECT_FALSE(readStateChunk(nullptr, 11512, parsed));

  // Fewer records than patterns is fine: only those are restored.
  std::vector<uint8_t> fewer(good.begin(), good.begin() + 120 + 178);
  fewer[119] = 1;
  ASSERT_TRUE(readStateChunk(fewer.data(), fewer.size(), parsed));
  EXPECT_EQ(parsed.patterns.size(), 1u);
}
