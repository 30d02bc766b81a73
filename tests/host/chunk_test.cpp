// The state chunk through effGetChunk / effSetChunk. The expected bytes are
// built here from the layout (header, 29 little-endian floats, pattern
// count, one record per pattern) and the factory content, not taken from
// the plug-in.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct Step {
  uint8_t note, slide, accent;
};

struct PatternRecord {
  uint8_t index;
  std::vector<Step> steps;
  std::string name;
};

struct ChunkImage {
  std::array<float, 29> params{};
  std::vector<PatternRecord> patterns;
};

Bytes serialize(const ChunkImage& image) {
  Bytes out(120, 0);
  out[0] = 2;
  out[1] = 0;
  out[2] = 29;
  for (int i = 0; i < 29; ++i) putChunkFloat(out, 3 + 4 * i, image.params[i]);
  out[119] = static_cast<uint8_t>(image.patterns.size());
  for (const PatternRecord& p : image.patterns) {
    out.push_back(p.index);
    out.push_back(static_cast<uint8_t>(p.steps.size()));
    for (const Step& s : p.steps) {
      out.push_back(s.note);
      out.push_back(s.slide);
      out.push_back(s.accent);
    }
    out.push_back(static_cast<uint8_t>(p.name.size()));
    Bytes field(127, 0);
    std::memcpy(field.data(), p.name.data(), std::min<size_t>(p.name.size(), 127));
    out.insert(out.end(), field.begin(), field.end());
  }
  return out;
}

float bitsToFloat(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof(f));
  return f;
}

const std::array<float, 29> kDefaultParams = {
    1.0f, 0.0f, 0.5f, 0.09375f, bitsToFloat(0x3F6B5C29), bitsToFloat(0x3E2EB852),
    bitsToFloat(0x3F666666), bitsToFloat(0x3E9BD70A), 0.5f, 0.0f, 15.0f / 63.0f, 1.0f, 0.0f,
    1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.5f, 0.3f, 0.3f, 0.5f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f,
    80.0f / 260.0f, 0.0f};

// The factory bass line of pattern 0.
const uint8_t kFactoryNotes[16] = {13, 15, 15, 14, 12, 16, 15, 14, 16, 13, 8, 16, 12, 16, 18, 12};
const int kFactorySlides[] = {1, 4, 9, 14};
const int kFactoryAccents[] = {1, 3, 10, 11, 15};

ChunkImage defaultImage() {
  ChunkImage image;
  image.params = kDefaultParams;
  for (int i = 0; i < 64; ++i) {
    PatternRecord p{static_cast<uint8_t>(i), std::vector<Step>(16, Step{25, 0, 0}),
                    "pattern " + std::to_string(i + 1)};
    image.patterns.push_back(p);
  }
  for (int s = 0; s < 16; ++s) image.patterns[0].steps[s].note = kFactoryNotes[s];
  for (int s : kFactorySlides) image.patterns[0].steps[s].slide = 1;
  for (int s : kFactoryAccents) image.patterns[0].steps[s].accent = 1;
  return image;
}

// A state that differs from the defaults everywhere a restore could go
// wrong: parameter values, step contents, lengths (1, 7, 40 and 64 steps),
// names (empty, changed, 127 bytes), note bytes with the top bit set, and
// a current pattern other than 0.
ChunkImage editedImage() {
  ChunkImage image = defaultImage();
  image.params = {0.8f,  1.0f,  0.25f, 0.6f, 0.4f, 0.7f,  0.2f, 0.9f,  0.3f, 0.5f,
                  39.0f / 63.0f,  // NB STEP of the current pattern (40 steps)
                  0.6f,  0.7f,
                  1.0f,  // antialias cannot change
                  0.15625f,  // trigger pt: pattern 5
                  1.0f,  0.0f,  1.0f, 0.8f, 0.45f, 0.55f, 0.65f, 1.0f, 0.6f, 0.35f, 0.15f,
                  0.4f,  // sync type: internal
                  100.0f / 260.0f,  // 140 BPM
                  1.0f};  // recording
  PatternRecord& p0 = image.patterns[0];
  for (int s = 0; s < 16; ++s) p0.steps[s] = Step{kFactoryNotes[15 - s], uint8_t(s & 1), 0};
  p0.name = "reversed";

  PatternRecord& p5 = image.patterns[5];
  p5.steps.clear();
  for (int s = 0; s < 40; ++s) {
    p5.steps.push_back(Step{uint8_t(1 + s), uint8_t(s % 3 == 0), uint8_t(s % 5 == 0)});
  }
  p5.name = "acid line";

  PatternRecord& p17 = image.patterns[17];
  p17.steps = {Step{0, 0, 1}};
  p17.name = "";

  PatternRecord& p31 = image.patterns[31];
  p31.steps.assign(64, Step{60, 1, 1});
  p31.name = std::string(127, 'n');

  PatternRecord& p63 = image.patterns[63];
  p63.steps = {Step{0xFF, 0, 0}, Step{0x80, 1, 0}, Step{60, 0, 1}, Step{1, 0, 0},
               Step{0, 0, 0},    Step{61, 0, 0},   Step{0x7F, 1, 1}};
  p63.name = "last";
  return image;
}

TEST(StateChunk, FreshInstanceLayout) {
  FakeHost host;
  const Bytes chunk = host.getChunk();
  ASSERT_EQ(chunk.size(), 11512u);  // 120 + 64 * (130 + 3 * 16)
  EXPECT_EQ(chunk[0], 2);
  EXPECT_EQ(chunk[1], 0);
  EXPECT_EQ(chunk[2], 29);
  for (int i = 0; i < 29; ++i) {
    EXPECT_EQ(chunkFloat(chunk, 3 + 4 * i), host.getParameter(i)) << "parameter " << i;
    EXPECT_EQ(chunkFloat(chunk, 3 + 4 * i), kDefaultParams[i]) << "parameter " << i;
  }
  EXPECT_EQ(chunkFloat(chunk, 3 + 4 * 10), 15.0f / 63.0f);
  EXPECT_EQ(chunk[119], 64);
  // Record by record, so that a failure names the pattern.
  const Bytes expected = serialize(defaultImage());
  ASSERT_EQ(expected.size(), chunk.size());
  for (int p = 0; p < 64; ++p) {
    const size_t start = 120 + 178 * p;
    EXPECT_TRUE(std::equal(chunk.begin() + start, chunk.begin() + start + 178,
                           expected.begin() + start))
        << "pattern record " << p;
  }
  EXPECT_EQ(chunk, expected);
  // The preset flavour is the same bytes.
  EXPECT_EQ(host.getChunk(true), chunk);
}

TEST(StateChunk, CurrentPatternLengthShowsInItsRecord) {
  FakeHost host;
  ChunkImage expected = defaultImage();

  host.setParameter(10, 1.0f);  // 64 steps: the 48 hidden steps are defaults
  expected.params[10] = 1.0f;
  expected.patterns[0].steps.resize(64, Step{25, 0, 0});
  Bytes chunk = host.getChunk();
  EXPECT_EQ(chunk.size(), 11512u + 144u);
  EXPECT_EQ(chunk, serialize(expected));

  host.setParameter(10, 0.0f);  // one step
  expected.params[10] = 0.0f;
  expected.patterns[0].steps.resize(1);
  chunk = host.getChunk();
  EXPECT_EQ(chunk.size(), 11512u - 45u);
  EXPECT_EQ(chunk, serialize(expected));

  // Lengthening again shows the hidden steps as they were.
  host.setParameter(10, 15.0f / 63.0f);
  EXPECT_EQ(host.getChunk(), serialize(defaultImage()));
}

TEST(StateChunk, RestoresIntoASecondInstance) {
  const Bytes edited = serialize(editedImage());
  FakeHost source;
  FakeHost target;
  ASSERT_NE(source.getChunk(), edited);

  EXPECT_EQ(target.setChunk(edited), 1);
  EXPECT_EQ(target.getChunk(), edited);
  // The restored state as the host's parameter view sees it.
  EXPECT_EQ(target.getParameter(14), 0.15625f);
  EXPECT_EQ(target.parameterDisplay(14), "6");
  EXPECT_EQ(target.parameterDisplay(10), "40");
  EXPECT_EQ(target.getParameter(27), 100.0f / 260.0f);
  EXPECT_EQ(target.parameterDisplay(1), "square");
  // The first instance is untouched by the second one's restore.
  EXPECT_EQ(source.getChunk(), serialize(defaultImage()));

  // Round trip: what the second instance saves restores the first.
  EXPECT_EQ(source.setChunk(target.getChunk(), true), 1);
  EXPECT_EQ(source.getChunk(), edited);

  // And back to the factory state.
  EXPECT_EQ(target.setChunk(serialize(defaultImage())), 1);
  EXPECT_EQ(target.getChunk(), serialize(defaultImage()));
}

TEST(StateChunk, RestoresOnlyThePatternsItCarries) {
  ChunkImage partial = defaultImage();
  partial.params[3] = 0.75f;
  PatternRecord p7 = partial.patterns[7];
  PatternRecord p3 = partial.patterns[3];
  p7.steps.assign(9, Step{40, 1, 0});
  p7.name = "seven";
  p3.steps.assign(2, Step{0, 0, 1});
  p3.name = "three";
  partial.patterns = {p7, p3};

  FakeHost host;
  EXPECT_EQ(host.setChunk(serialize(partial)), 1);
  ChunkImage expected = defaultImage();
  expected.params[3] = 0.75f;
  expected.patterns[7] = p7;
  expected.patterns[3] = p3;
  EXPECT_EQ(host.getChunk(), serialize(expected));
}

TEST(StateChunk, NoteBytesKeepTheirLowByte) {
  ChunkImage image = defaultImage();
  image.patterns[0].steps[0].note = 0xFF;
  image.patterns[0].steps[1].note = 0x80;
  image.patterns[9].steps[15].note = 0xC8;
  FakeHost host;
  EXPECT_EQ(host.setChunk(serialize(image)), 1);
  const Bytes chunk = host.getChunk();
  EXPECT_EQ(chunk[120 + 2], 0xFF);
  EXPECT_EQ(chunk[120 + 5], 0x80);
  EXPECT_EQ(chunk, serialize(image));
}

TEST(StateChunk, RejectsDamagedChunksWithoutChangingAnything) {
  FakeHost host;
  const Bytes before = host.getChunk();
  const Bytes good = serialize(editedImage());

  auto expectRejected = [&](const Bytes& bad, VstIntPtr size, const std::string& what) {
    EXPECT_EQ(host.setChunk(bad.data(), size), 0) << what;
    EXPECT_EQ(host.getChunk(), before) << what;
  };

  // Every truncation, down to nothing: a record cut anywhere is refused.
  for (size_t size = 0; size < good.size(); ++size) {
    Bytes truncated(good.begin(), good.begin() + size);
    EXPECT_EQ(host.setChunk(truncated), 0) << "truncated to " << size;
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_EQ(host.getChunk(), before);

  for (int byte = 0; byte < 3; ++byte) {
    for (uint8_t wrong : {uint8_t(1), uint8_t(3), uint8_t(28), uint8_t(30), uint8_t(255)}) {
      Bytes bad = good;
      if (bad[byte] == wrong) continue;
      bad[byte] = wrong;
      expectRejected(bad, bad.size(), "header byte " + std::to_string(byte));
    }
  }

  ChunkImage image = editedImage();
  image.patterns[40].index = 64;
  expectRejected(serialize(image), serialize(image).size(), "pattern index 64");
  image = editedImage();
  image.patterns[63].index = 255;
  expectRejected(serialize(image), serialize(image).size(), "pattern index 255");

  image = editedImage();
  image.patterns[50].steps.clear();
  expectRejected(serialize(image), serialize(image).size(), "step count 0");
  image = editedImage();
  image.patterns[50].steps.assign(65, Step{25, 0, 0});
  expectRejected(serialize(image), serialize(image).size(), "step count 65");

  Bytes bad = good;
  // Name length byte of the first record (16 reversed steps).
  const size_t nameLength0 = 120 + 2 + 3 * 16;
  ASSERT_EQ(bad[nameLength0], 8);  // "reversed"
  bad[nameLength0] = 128;
  expectRejected(bad, bad.size(), "name length 128");
  bad[nameLength0] = 255;
  expectRejected(bad, bad.size(), "name length 255");

  // Records running past the end: one more record announced than present,
  // and the last record claiming one step more than it carries.
  bad = good;
  bad[119] = 65;
  expectRejected(bad, bad.size(), "65 records announced");
  bad = good;
  const size_t lastRecord = good.size() - (130 + 3 * 7);
  ASSERT_EQ(bad[lastRecord], 63);
  ASSERT_EQ(bad[lastRecord + 1], 7);
  bad[lastRecord + 1] = 8;
  expectRejected(bad, bad.size(), "last record one step too long");

  // A size that does not describe the buffer.
  expectRejected(good, -1, "negative size");
  EXPECT_EQ(host.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(good.size()), nullptr), 0);
  EXPECT_EQ(host.getChunk(), before);

  // The instance still takes a good chunk afterwards.
  EXPECT_EQ(host.setChunk(good), 1);
  EXPECT_EQ(host.getChunk(), good);
}

}  // namespace
}  // namespace vornix::test
