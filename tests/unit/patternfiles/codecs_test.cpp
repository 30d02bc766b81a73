// The pattern file codecs against the file layouts worked out by hand: every
// format round-trips the patterns a user makes, the native and ABL exports
// are byte for byte what the layouts say, and the inputs that once read past
// a file's end (or overflowed) are refused or read safely.
#include <gtest/gtest.h>

#include <cstring>

#include "patternfiles/AblPatternFile.h"
#include "patternfiles/NativePatternFile.h"
#include "patternfiles/PhoscyonPatternFile.h"

namespace {

struct S {
  int note;
  bool slide, accent;
};

PatternSnapshot snapshotOf(const std::vector<S>& steps, const std::string& name) {
  PatternSnapshot s;
  s.pattern = Pattern(static_cast<int>(steps.size()));
  for (int i = 0; i < static_cast<int>(steps.size()); ++i) {
    s.pattern.setStepNote(steps[i].note, i);
    s.pattern.setStepSlide(steps[i].slide, i);
    s.pattern.setStepAccent(steps[i].accent, i);
  }
  s.pattern.setName(name);
  for (int i = 0; i < kFileParameterCount; ++i) s.values[i] = static_cast<float>(i) / 32.0f;
  return s;
}

const std::vector<S> kFactory = {{13, 0, 0}, {15, 1, 1}, {15, 0, 0}, {14, 0, 1}, {12, 1, 0}, {16, 0, 0},
                                 {15, 0, 0}, {14, 0, 0}, {16, 0, 0}, {13, 1, 0}, {8, 0, 1},  {16, 0, 1},
                                 {12, 0, 0}, {16, 0, 0}, {18, 1, 0}, {12, 0, 1}};

std::vector<S> run(int n, int first, bool rests) {
  std::vector<S> steps;
  for (int i = 0; i < n; ++i)
    steps.push_back({rests && i % 2 ? 0 : (first + i - 1) % 60 + 1, i % 3 == 0, i % 5 == 0});
  return steps;
}

FileError decode(PatternFormat format, const std::string& text, PatternFile& out) {
  switch (format) {
    case PatternFormat::Native:
      return decodeNativePattern(reinterpret_cast<const uint8_t*>(text.data()), text.size(), true, out);
    case PatternFormat::Phoscyon: return decodePhoscyonPattern(text, out);
    default: return decodeABLPattern(text, out);
  }
}

std::string encode(PatternFormat format, const PatternSnapshot& s) {
  switch (format) {
    case PatternFormat::Native: {
      const std::vector<uint8_t> bytes = encodeNativePattern(s);
      return std::string(bytes.begin(), bytes.end());
    }
    case PatternFormat::ABL2: return encodeABL2Pattern(s);
    case PatternFormat::ABL3: return encodeABL3Pattern(s);
    default: return encodePhoscyonPattern(s);
  }
}

TEST(PatternCodecs, EveryFormatRoundTrips) {
  const std::string longName(200, 'n');
  const struct {
    const char* what;
    std::vector<S> steps;
    std::string name;
  } patterns[] = {
      {"factory", kFactory, "pattern 1"},         {"rests", run(16, 20, true), "rests"},
      {"one step", {{60, 1, 1}}, "x"},            {"40 steps", run(40, 5, false), "forty"},
      {"notes 1..60", run(64, 1, false), "all"},  {"long name", run(16, 30, true), longName},
  };
  const struct {
    PatternFormat format;
    size_t nameBytes;  // 0: the codec carries no name
  } formats[] = {{PatternFormat::Native, 127}, {PatternFormat::ABL2, 0}, {PatternFormat::ABL3, 0},
                 {PatternFormat::Phoscyon, 24}};
  for (const auto& f : formats) {
    for (const auto& p : patterns) {
      SCOPED_TRACE(std::string(p.what) + " in format " + std::to_string(static_cast<int>(f.format)));
      PatternFile back;
      ASSERT_EQ(decode(f.format, encode(f.format, snapshotOf(p.steps, p.name)), back), FileError::None);
      EXPECT_EQ(back.format, f.format);
      EXPECT_TRUE(back.disabledSteps.empty());
      EXPECT_EQ(back.pattern.getName(), f.nameBytes ? p.name.substr(0, f.nameBytes) : "Default");
      ASSERT_EQ(back.pattern.getNBStep(), static_cast<int>(p.steps.size()));
      for (int i = 0; i < back.pattern.getNBStep(); ++i) {
        const Step* step = back.pattern.getStep(i);
        EXPECT_EQ(step->note, p.steps[i].note) << i;
        EXPECT_EQ(step->slide, p.steps[i].slide) << i;
        EXPECT_EQ(step->accent, p.steps[i].accent) << i;
        EXPECT_EQ(step->timeStart, 0.25 * i);
      }
    }
  }
}

TEST(PatternCodecs, NativeFileBytes) {
  PatternSnapshot s = snapshotOf(kFactory, "pattern 1");
  s.values[0] = 1.0f;
  const std::vector<uint8_t> bytes = encodeNativePattern(s);
  // 12 + 3 x 16 + 9 + 4 x 29
  ASSERT_EQ(bytes.size(), 185u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "knt3patt");
  const uint8_t head[] = {1, 16, 13, 0, 0, 15, 1, 1};  // version, N, steps 0 and 1
  EXPECT_EQ(std::memcmp(&bytes[8], head, sizeof(head)), 0);
  const uint8_t tail[] = {12, 0, 1, 9, 'p'};  // step 15, L, the name's first byte
  EXPECT_EQ(std::memcmp(&bytes[55], tail, sizeof(tail)), 0);
  const uint8_t values[] = {29, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x3D};  // P, 1.0f, 1/32
  EXPECT_EQ(std::memcmp(&bytes[68], values, sizeof(values)), 0);
  EXPECT_EQ(bytes[184], 0x3F);  // 28/32 = 0.875f = 0x3F600000, last byte
}

TEST(PatternCodecs, AblExportsAreExactlyTheLayout) {
  PatternSnapshot s = snapshotOf({{16, 0, 1}, {0, 1, 0}, {1, 1, 1}, {60, 0, 0}}, "p");
  const float values[8] = {0.5f, 1.0f, 0.5f, 0.25f, 0.75f, 0.125f, 1.0f, 0.0f};  // parameters 0..7
  std::copy(values, values + 8, s.values.begin());
  const char* settings =
      " Tune: 0.500000 Cutoff: 0.600000 Resonance: 0.750000 Envmod: 0.125000 Decay: 1.000000"
      " Accent: 0.000000 Waveform: 1.000000 Volume: 0.500000\r\n";
  EXPECT_EQ(encodeABL2Pattern(s), std::string("; ABL2 Meta tag: 4\r\n ;") + settings +
                                      "d#3 1 0 1 \r\nc-2 0 1 0 \r\nc-2 1 1 1 \r\nb-6 1 0 0 \r\n");
  EXPECT_EQ(encodeABL3Pattern(s), std::string("; ABL3 Meta tag: 4\r\n;") + settings +
                                      "-9 0 0 1 0 1 \r\n0 0 0 0 1 0 \r\n-24 0 0 1 1 1 \r\n35 0 0 0 0 1 \r\n");

  // Read back: the settings in file order, Cutoff / 2.4, Volume by ABL3 only,
  // then Gate 0.5 and Groove 0.
  const std::vector<std::pair<int, float>> abl2 = {{2, 0.5f},   {3, 0.25f}, {4, 0.75f}, {5, 0.125f}, {6, 1.0f},
                                                   {7, 0.0f},   {1, 1.0f},  {8, 0.5f},  {9, 0.0f}};
  std::vector<std::pair<int, float>> abl3 = abl2;
  abl3.insert(abl3.begin() + 7, {0, 0.5f});
  for (const auto& [text, expected] : {std::pair{encodeABL2Pattern(s), abl2}, std::pair{encodeABL3Pattern(s), abl3}}) {
    PatternFile back;
    ASSERT_EQ(decodeABLPattern(text, back), FileError::None);
    ASSERT_EQ(back.parameters.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(back.parameters[i].index, expected[i].first) << i;
      EXPECT_FLOAT_EQ(back.parameters[i].value, expected[i].second) << i;
    }
  }
}

// One step of a file that must be read: its note, slide and accent, or a
// disabled step (a rest because the note is outside the playable range).
struct Accepted {
  const char* what;
  PatternFormat format;
  std::string text;
  int steps, step, note;
  bool slide, accent, disabled;
};

TEST(PatternCodecs, QuirksOfTheFormatsAreRead) {
  const std::string xml = "<Pattern length=\"8\" name=\"abcdefghijklmnopqrstuvwxyz1234\">";
  std::string untagged;
  for (int i = 0; i < 16; ++i) untagged += "a#2 1 0 1\r\n";
  const Accepted cases[] = {
      {"ABL2 c#3110", PatternFormat::ABL2, "; ABL2 Meta tag: 1\r\nc#3 1 1 0\r\n", 1, 0, 14, 1, 0, 0},
      {"ABL2 rest with accent, no tag", PatternFormat::ABL2, "C-2 0 0 1", 16, 0, 0, 0, 1, 0},
      {"ABL2 untagged file stops at 16", PatternFormat::ABL2, untagged + "h-2 1 0 0\r\n", 16, 15, 11, 0, 1, 0},
      {"ABL2 octave 9", PatternFormat::ABL2, "c-9 1 0 0\r\n", 16, 0, 0, 0, 0, 1},
      {"ABL3 -3 0 0 1 0 1", PatternFormat::ABL3, "; ABL3 Meta tag: 2\r\n-3 0 0 1 0 1\r\n", 2, 0, 22, 0, 1, 0},
      {"ABL3 octave down", PatternFormat::ABL3, "; ABL3 Meta tag: 2\r\n\r\n-3 1 0 0 0 1\r\n", 2, 0, 10, 0, 0, 0},
      {"ABL3 note 77", PatternFormat::ABL3, "; abl3 meta tag: -1\r\n40 0 1 0 0 1\r\n", 64, 0, 0, 0, 0, 1},
      {"Phoscyon octave up", PatternFormat::Phoscyon, "<Pattern length=\"1\"><Step note=\"3\" octaveUp=\"1\" gate=\"1\"/></Pattern>", 1, 0, 40, 0, 0, 0},
      {"Phoscyon octave down", PatternFormat::Phoscyon, "<Pattern length=\"1\"><X note=\"3\" octaveDown=\"1\" gate=\"1\" slide=\"7\"/></Pattern>", 1, 0, 16, 1, 0, 0},
      {"Phoscyon missing steps", PatternFormat::Phoscyon, xml + "<Step/><Step/><Step/><Step/><Step/></Pattern>", 8, 7, 25, 0, 0, 0},
      {"Phoscyon absurd note", PatternFormat::Phoscyon, "<Pattern length=\"1\"><Step note=\"2147483647\" octaveUp=\"2147483647\" gate=\"1\"/></Pattern>", 1, 0, 0, 0, 0, 1},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(c.what);
    PatternFile file;
    ASSERT_EQ(decode(c.format, c.text, file), FileError::None);
    EXPECT_EQ(file.format, c.format);
    ASSERT_EQ(file.pattern.getNBStep(), c.steps);
    const Step* step = file.pattern.getStep(c.step);
    EXPECT_EQ(step->note, c.note);
    EXPECT_EQ(step->slide, c.slide);
    EXPECT_EQ(step->accent, c.accent);
    EXPECT_EQ(file.disabledSteps, c.disabled ? std::vector<int>{c.step} : std::vector<int>{});
  }
  PatternFile file;
  ASSERT_EQ(decodePhoscyonPattern(xml + "</Pattern>", file), FileError::None);
  EXPECT_EQ(file.pattern.getName(), "abcdefghijklmnopqrstuvwx");
  const std::vector<uint8_t> native = encodeNativePattern(snapshotOf({{1, 0, 0}}, ""));
  std::vector<uint8_t> bytes = native;
  bytes[10] = 200;
  bytes[14] = 0xFF;  // P = -1: no values
  ASSERT_EQ(decodeNativePattern(bytes.data(), 15, true, file), FileError::None);
  EXPECT_EQ(file.pattern.getStep(0)->note, -56);
  EXPECT_TRUE(file.parameters.empty());
  for (const auto& [line, cutoff] : {std::pair{" ; Tune: 0 Cutoff: 0.96\r\nc-2 1 0 0", 0.4f},
                                     std::pair{" ; Tune: 0 Cutoff: 1.5\r\nc-2 1 0 0", 1.0f / 2.4f}}) {
    ASSERT_EQ(decodeABLPattern(line, file), FileError::None);
    EXPECT_FLOAT_EQ(file.parameters[1].value, cutoff);
  }
  EXPECT_EQ(ablPatternName("/a/b/my.bass.txt"), "my.bass");
  EXPECT_EQ(ablPatternName("C:\\a.b\\bass"), "Default");
  // 24 bytes at most, without cutting a character in two
  EXPECT_EQ(ablPatternName("/x/" + std::string(22, 'a') + "\xC3\xA9\xC3\xA9.pat"), std::string(22, 'a') + "\xC3\xA9");
}

TEST(PatternCodecs, BrokenFilesAreRefusedWhole) {
  const std::vector<uint8_t> good = encodeNativePattern(snapshotOf(kFactory, "pattern 1"));
  const struct {
    size_t size, at;
    uint8_t value;
    bool withParameters;
    FileError expected;
  } native[] = {
      {57, 0, 'k', true, FileError::Truncated},      {60, 0, 'k', false, FileError::Truncated},
      {68, 0, 'k', true, FileError::Truncated},      {184, 0, 'k', true, FileError::Truncated},
      {185, 58, 128, false, FileError::NameTooLong}, {185, 68, 30, false, FileError::None},
      {185, 68, 30, true, FileError::TooManyValues}, {185, 9, 0, true, FileError::BadStepCount},
      {185, 9, 65, true, FileError::BadStepCount},   {185, 3, 'T', true, FileError::BadTag},
      {68, 0, 'k', false, FileError::None},          {0, 0, 'k', true, FileError::Empty},
  };
  for (const auto& c : native) {
    std::vector<uint8_t> bytes = good;
    bytes[c.at] = c.value;
    PatternFile file;
    EXPECT_EQ(decodeNativePattern(bytes.data(), c.size, c.withParameters, file), c.expected)
        << c.size << " bytes, byte " << c.at << " = " << int(c.value);
  }
  const struct {
    std::string text;
    FileError expected;
  } text[] = {
      {"; ABL2 Meta tag: 0\r\nc-2 1 0 0\r\n", FileError::BadStepCount},
      {"; ABL2 Meta tag: 2\r\nc-3 1 1", FileError::BadStepLine},  // 5 characters left
      {"; ABL2 Meta tag: 2\r\nh-2 1 0 0\r\n", FileError::BadStepLine},
      {"; ABL2 Meta tag: 2\r\nc-2 1 0 0\r\n\r\nc-2 1 0 0\r\n", FileError::BadStepLine},
      {"; ABL2 Meta tag: 2\r\nc-x 1 0 0\r\n", FileError::BadStepLine},
      {"; only a comment\r\n", FileError::NoSteps},
      {"; ABL3 Meta tag: 2\r\n-3 0 0 1\r\n", FileError::BadStepLine},  // fewer than six fields
  };
  for (const auto& c : text) {
    PatternFile file;
    EXPECT_EQ(decodeABLPattern(c.text, file), c.expected) << c.text;
  }
  for (const char* xml : {"<Pattern length=\"0\"/>", "<Pattern name=\"x\"/>", "<Pattern length=\"65\"/>"}) {
    PatternFile file;
    EXPECT_EQ(decodePhoscyonPattern(xml, file), FileError::BadStepCount) << xml;
  }
  PatternFile file;
  EXPECT_EQ(decodePhoscyonPattern("<Pattern length=\"1\">", file), FileError::NotXml);
  EXPECT_EQ(decodePhoscyonPattern("<Patterns length=\"1\"/>", file), FileError::NoPatternElement);
}

}  // namespace
