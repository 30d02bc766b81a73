// The pattern file codecs against the file layouts worked out by hand: every
// format round-trips the patterns a user makes, the native and ABL exports
// are byte for byte what the layouts say, the formats' quirks are read as
// laid out, and native files shorter than their own fields are refused.
#include <gtest/gtest.h>

#include <cstring>

#include "patternfiles/AblPatternFile.h"
#include "patternfiles/NativePatternFile.h"
#include "patternfiles/PhoscyonPatternFile.h"

namespace {

using F = PatternFormat;

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

// n steps of notes from `first` on (wrapping in 1..60), rests on odd steps
// when asked, slides and accents scattered over notes and rests alike.
std::vector<S> run(int n, int first, bool rests) {
  std::vector<S> steps;
  for (int i = 0; i < n; ++i)
    steps.push_back({rests && i % 2 ? 0 : (first + i - 1) % 60 + 1, i % 3 == 0, i % 5 == 0});
  return steps;
}

FileError decode(F format, const std::string& text, PatternFile& out) {
  if (format == F::Native)
    return decodeNativePattern(reinterpret_cast<const uint8_t*>(text.data()), text.size(), true, out);
  return format == F::Phoscyon ? decodePhoscyonPattern(text, out) : decodeABLPattern(text, out);
}

std::string encode(F format, const PatternSnapshot& s) {
  if (format == F::ABL2) return encodeABL2Pattern(s);
  if (format == F::ABL3) return encodeABL3Pattern(s);
  if (format == F::Phoscyon) return encodePhoscyonPattern(s);
  const std::vector<uint8_t> bytes = encodeNativePattern(s);
  return std::string(bytes.begin(), bytes.end());
}

TEST(PatternCodecs, EveryFormatRoundTrips) {
  const std::string longName(200, 'n');
  const struct {
    std::vector<S> steps;
    std::string name;
  } patterns[] = {
      {kFactory, "pattern 1"},      {run(16, 20, true), "rests"},       {{{60, 1, 1}}, "x"},
      {run(40, 5, false), "forty"}, {run(64, 1, false), "notes 1..60"}, {run(16, 30, true), longName}};
  // Name bytes each format keeps (ABL files carry none: they are named after the file).
  const std::pair<F, size_t> formats[] = {{F::Native, 127}, {F::ABL2, 0}, {F::ABL3, 0}, {F::Phoscyon, 24}};
  for (const auto& [format, nameBytes] : formats) {
    for (const auto& p : patterns) {
      SCOPED_TRACE(p.name.substr(0, 12) + " in format " + std::to_string(static_cast<int>(format)));
      PatternFile back;
      ASSERT_EQ(decode(format, encode(format, snapshotOf(p.steps, p.name)), back), FileError::None);
      EXPECT_EQ(back.format, format);
      EXPECT_EQ(back.pattern.getName(), nameBytes ? p.name.substr(0, nameBytes) : "Default");
      ASSERT_EQ(back.pattern.getNBStep(), static_cast<int>(p.steps.size()));
      for (int i = 0; i < back.pattern.getNBStep(); ++i) {
        const Step* step = back.pattern.getStep(i);
        EXPECT_TRUE(step->note == p.steps[i].note && step->slide == p.steps[i].slide &&
                    step->accent == p.steps[i].accent && step->timeStart == 0.25 * i)
            << "step " << i;
      }
    }
  }
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

  // Read back: the settings in file order, Cutoff / 2.4, Volume by ABL3
  // only, then Gate 0.5 and Groove 0.
  std::vector<std::pair<int, float>> abl2 = {{2, 0.5f}, {3, 0.25f}, {4, 0.75f}, {5, 0.125f}, {6, 1.0f},
                                             {7, 0.0f}, {1, 1.0f},  {8, 0.5f},  {9, 0.0f}};
  std::vector<std::pair<int, float>> abl3 = abl2;
  abl3.insert(abl3.begin() + 7, {0, 0.5f});
  for (const auto& [text, expected] :
       {std::pair{encodeABL2Pattern(s), abl2}, std::pair{encodeABL3Pattern(s), abl3}}) {
    PatternFile back;
    ASSERT_EQ(decodeABLPattern(text, back), FileError::None);
    std::vector<std::pair<int, float>> read;
    for (const ParameterChange& change : back.parameters) read.emplace_back(change.index, change.value);
    EXPECT_EQ(read, expected);
  }
}

TEST(PatternCodecs, QuirksOfTheFormatsAreRead) {
  const std::string xml = "<Pattern length='8' name='abcdefghijklmnopqrstuvwxyz1234'>";
  auto one = [](const std::string& step) { return "<Pattern length='1'>" + step + "</Pattern>"; };
  // A step of a file that must be read; `disabled`: made a rest because its
  // note lies outside the playable range. One step is a pattern too; without
  // a meta tag there are 16; a blank line is skipped in ABL3; 40 0 1 is note 77.
  const struct {
    F format;
    std::string text;
    int steps, step, note;
    bool slide, accent, disabled;
  } cases[] = {
      {F::ABL2, "; ABL2 Meta tag: 1\r\nc#3 1 1 0\r\n", 1, 0, 14, 1, 0, 0},
      {F::ABL2, "C-2 0 0 1", 16, 0, 0, 0, 1, 0},
      {F::ABL2, "c-9 1 0 0\r\n", 16, 0, 0, 0, 0, 1},
      {F::ABL3, "; ABL3 Meta tag: 2\r\n-3 0 0 1 0 1\r\n", 2, 0, 22, 0, 1, 0},
      {F::ABL3, "; ABL3 Meta tag: 2\r\n\r\n-3 1 0 0 0 1\r\n", 2, 0, 10, 0, 0, 0},
      {F::ABL3, "; abl3 meta tag: -1\r\n40 0 1 0 0 1\r\n", 64, 0, 0, 0, 0, 1},
      {F::Phoscyon, one("<Step note='3' octaveUp='1' gate='1'/>"), 1, 0, 40, 0, 0, 0},
      {F::Phoscyon, one("<X note='3' octaveDown='1' gate='1' slide='7'/>"), 1, 0, 16, 1, 0, 0},
      {F::Phoscyon, xml + "<Step/><Step/><Step/><Step/><Step/></Pattern>", 8, 7, 25, 0, 0, 0},
      {F::Phoscyon, one("<Step note='2147483647' octaveUp='2147483647' gate='1'/>"), 1, 0, 0, 0, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    PatternFile file;
    ASSERT_EQ(decode(c.format, c.text, file), FileError::None);
    EXPECT_EQ(file.format, c.format);
    ASSERT_EQ(file.pattern.getNBStep(), c.steps);
    const Step* step = file.pattern.getStep(c.step);
    EXPECT_TRUE(step->note == c.note && step->slide == c.slide && step->accent == c.accent);
    EXPECT_EQ(file.disabledSteps, c.disabled ? std::vector<int>{c.step} : std::vector<int>{});
  }
  PatternFile file;
  ASSERT_EQ(decodePhoscyonPattern(xml + "</Pattern>", file), FileError::None);
  EXPECT_EQ(file.pattern.getName(), "abcdefghijklmnopqrstuvwx");
  // Cutoff 1.5 is clamped to 1 before the division by 2.4.
  ASSERT_EQ(decodeABLPattern(" ; Tune: 0 Cutoff: 1.5\r\nc-2 1 0 0", file), FileError::None);
  EXPECT_FLOAT_EQ(file.parameters[1].value, 1.0f / 2.4f);
  EXPECT_EQ(ablPatternName("/a/b/my.bass.txt"), "my.bass");
  EXPECT_EQ(ablPatternName("C:\\a.b\\bass"), "Default");
  // 24 bytes at most, without cutting a character in two
  EXPECT_EQ(ablPatternName("/x/" + std::string(22, 'a') + "\xC3\xA9\xC3\xA9.pat"),
            std::string(22, 'a') + "\xC3\xA9");
}

TEST(PatternCodecs, NativeFileBytesAreReadWithinTheFile) {
  PatternSnapshot s = snapshotOf(kFactory, "pattern 1");
  s.values[0] = 1.0f;
  const std::vector<uint8_t> good = encodeNativePattern(s);
  ASSERT_EQ(good.size(), 185u);  // 12 + 3 x 16 + 9 + 4 x 29
  // tag, version, N, steps 0 and 1, ..., step 15, L, name, P, 1.0f, 1/32, ..., 28/32 = 0x3F600000
  const uint8_t head[] = {'k', 'n', 't', '3', 'p', 'a', 't', 't', 1, 16, 13, 0, 0, 15, 1, 1};
  EXPECT_EQ(std::memcmp(&good[0], head, sizeof(head)), 0);
  const uint8_t tail[] = {12,  0,   1,  9, 'p', 'a',  't',  't', 'e', 'r', 'n',
                          ' ', '1', 29, 0, 0,   0x80, 0x3F, 0,   0,   0,   0x3D};
  EXPECT_EQ(std::memcmp(&good[55], tail, sizeof(tail)), 0);
  EXPECT_EQ(good[184], 0x3F);
  const struct {
    size_t size, at;
    uint8_t value;
    bool withParameters;
    FileError expected;
  } cases[] = {
      {57, 0, 'k', true, FileError::Truncated},      {60, 0, 'k', false, FileError::Truncated},
      {68, 0, 'k', true, FileError::Truncated},      {184, 0, 'k', true, FileError::Truncated},
      {185, 58, 128, false, FileError::NameTooLong}, {185, 68, 30, true, FileError::TooManyValues},
      {185, 68, 30, false, FileError::None},         {68, 0, 'k', false, FileError::None},
      {185, 9, 65, true, FileError::BadStepCount},   {185, 3, 'T', true, FileError::BadTag},
      {185, 10, 200, true, FileError::None},         {185, 68, 0xFF, true, FileError::None},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = good;
    bytes[c.at] = c.value;
    PatternFile file;
    EXPECT_EQ(decodeNativePattern(bytes.data(), c.size, c.withParameters, file), c.expected)
        << c.size << " bytes, byte " << c.at << " = " << int(c.value);
    EXPECT_TRUE(c.at != 10 || file.pattern.getStep(0)->note == -56);  // a signed byte
    EXPECT_TRUE(c.value != 0xFF || file.parameters.empty());          // P = -1: no values
  }
}

}  // namespace
