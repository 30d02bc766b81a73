// What the editor sends for its controls must land on the intended value
// after the instrument's own truncations, and what it shows must be readable.
#include <gtest/gtest.h>

#include <cmath>

#include "editor/core/Gestures.h"
#include "editor/core/KeyboardLayout.h"
#include "editor/core/Notes.h"
#include "editor/core/ParamControls.h"
#include "editor/core/Presets.h"
#include "plugin/ParameterTable.h"

namespace {

// The instrument's mappings from the parameter table, written out here
// independently of the editor's inverse functions.
int instrumentLength(float v) { return static_cast<int>(63.0f * v) + 1; }
int instrumentTempo(float v) { return static_cast<int>(std::roundf(260.0f * v + 40.0f)); }

TEST(EditorControls, EveryLengthAndTempoSurvivesTheInstrumentsTruncation) {
  for (int n = 1; n <= 64; ++n) {
    EXPECT_EQ(instrumentLength(lengthToValue(n)), n) << n;
    EXPECT_EQ(valueToLength(lengthToValue(n)), n) << n;
  }
  for (int bpm = 40; bpm <= 300; ++bpm) EXPECT_EQ(instrumentTempo(tempoToValue(bpm)), bpm) << bpm;
  EXPECT_EQ(valueToLength(15.0f / 63.0f), 16);  // what the instrument reports for 16 steps
}

TEST(EditorControls, ChoicesSelectWhatTheInstrumentDecodes) {
  struct Case {
    int index, choice;
    float low, high;  // the instrument's interval for that choice
  } cases[] = {
      {kWaveform, 0, 0.0f, 0.5f},      {kWaveform, 1, 0.5f, 1.01f},     {kPattSync, 3, 0.75f, 1.0f},
      {kPattSync, 4, 1.0f, 1.01f},     {kDistSel, 0, 0.0f, 0.25f},      {kDistSel, 3, 0.75f, 1.01f},
      {kTriggerPattern, 0, 0.0f, 1.0f / 32}, {kTriggerPattern, 31, 31.0f / 32, 1.0f},
      {kSyncTypeParam, 0, 0.0f, 0.33f}, {kSyncTypeParam, 1, 0.33f, 0.66f}, {kSyncTypeParam, 2, 0.66f, 1.01f},
  };
  for (const Case& c : cases) {
    float v = choiceToValue(c.index, c.choice);
    EXPECT_TRUE(v >= c.low && v < c.high) << c.index << "/" << c.choice << " -> " << v;
    EXPECT_EQ(valueToChoice(c.index, v), c.choice) << c.index << "/" << c.choice;
  }
  EXPECT_EQ(valueToChoice(kDistSel, NAN), 0);
  EXPECT_EQ(valueToChoice(kTriggerPattern, 1.0f), 31);  // 1.0 triggers nothing; show the last reachable
}

TEST(EditorControls, DisplayTextsAreShortenedNotRounded) {
  struct Case {
    int index;
    const char* instrument;
    const char* shown;
  } cases[] = {
      {kSlideTime, "124.9886", "124.9 ms"}, {kVolume, "-3.521825", "-3.52 dB"}, {kCutOff, "", "0 %"},
      {kTuning, "0.500000", "0.50"},        {kVolume, "-oo", "-oo dB"},         {kDelayTime, "12345.67", "12345 ms"},
      {kResonance, "0.919375", "0.91"},     {kDelayFilter, "-37", "-37"},
  };
  for (const Case& c : cases) EXPECT_EQ(displayText(c.index, c.instrument), c.shown) << c.instrument;
}

TEST(EditorGestures, KnobsAndNoteDrags) {
  EXPECT_FLOAT_EQ(knobDrag(0.5f, kKnobTravel / 2, false), 1.0f);
  EXPECT_FLOAT_EQ(knobDrag(0.5f, kKnobTravel / 2, true), 0.55f);
  EXPECT_FLOAT_EQ(knobDrag(0.2f, -3 * kKnobTravel, false), 0.0f);
  EXPECT_FLOAT_EQ(knobWheel(0.995f, 3, false), 1.0f);
  EXPECT_FLOAT_EQ(knobWheel(0.5f, -2, true), 0.498f);
  struct Case {
    int from, pixels;
    bool octaves;
    int note;
  } cases[] = {{25, 6, false, 26},  {25, 5, false, 25},  {25, -6, false, 24}, {0, 12, false, 27},
               {60, 30, false, 60}, {1, -30, false, 1},  {25, 6, true, 37},   {55, 6, true, 55},
               {99, 0, false, 25}};
  for (const Case& c : cases) EXPECT_EQ(noteDrag(c.from, c.pixels, c.octaves), c.note) << c.from << " " << c.pixels;
}

TEST(EditorNotes, NamesAndComputerKeys) {
  struct Name {
    int step;
    const char* name;
  } names[] = {{0, "-"}, {1, "C2"}, {2, "C#2"}, {25, "C4"}, {60, "B6"}, {61, "?"}, {-1, "?"}};
  for (const Name& n : names) EXPECT_EQ(stepNoteName(n.step), n.name) << n.step;
  struct Key {
    int key, base, note;
  } keys[] = {{'z', 48, 48}, {'Z', 48, 48}, {'s', 48, 49}, {'q', 48, 60}, {'/', 48, 64}, {'p', 48, 76},
              {'a', 48, -1}, {'p', 84, -1}, {'z', 24, -1}, {0, 48, -1},   {300, 48, -1}};
  for (const Key& k : keys) EXPECT_EQ(computerKeyNote(k.key, k.base), k.note) << k.key << " " << k.base;
}

TEST(EditorKeyboard, DrawnKeysAndHitsAgree) {
  // 350 px: white keys exactly 10 px wide, black keys 6 px over the joins.
  KeyboardLayout even(350, 80);
  EXPECT_EQ(even.noteAt(0, 79), 36);
  EXPECT_EQ(even.noteAt(349, 79), 95);
  EXPECT_EQ(even.noteAt(10, 10), 37);  // over the C#2 key
  EXPECT_EQ(even.noteAt(10, 60), 38);  // below it: D2
  EXPECT_EQ(even.noteAt(350, 10), -1);
  for (int width : {350, 561, 613}) {
    KeyboardLayout layout(width, 82);
    int right = 0;
    for (int n = 36; n <= 95; ++n) {
      KeyRect r = layout.keyRect(n);
      EXPECT_EQ(layout.noteAt(r.x + r.w / 2, r.h - 1), n) << width << " " << n;
      if (!KeyboardLayout::isBlack(n)) {
        EXPECT_EQ(r.x, right) << "white keys leave no gap";
        right = r.x + r.w;
      }
    }
    EXPECT_EQ(right, width);
  }
}

TEST(EditorPresets, SetSoundOnlyAndInRange) {
  const int sequencerParams[] = {kNbStep, kPattSync, kAntialias, kTriggerPattern, kSyncTypeParam, kInternalTempo,
                                 kRecord, kGroove};
  ASSERT_GE(factoryPresets().size(), 3u);
  for (const Preset& p : factoryPresets()) {
    EXPECT_EQ(p.values.size(), factoryPresets()[0].values.size()) << p.name;
    for (const auto& v : p.values) {
      EXPECT_TRUE(v.second >= 0.0f && v.second <= 1.0f) << p.name << " " << v.first;
      for (int s : sequencerParams) EXPECT_NE(v.first, s) << p.name;
    }
  }
}

}  // namespace
