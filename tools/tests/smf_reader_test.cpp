// The MIDI file reader on hand-written files: running status, variable-length
// quantities, tempo changes, two tracks, and files that must be refused.
// Seconds and frames come from expected_values.py.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "MidiFeed.h"
#include "SmfReader.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A header chunk and the given chunks, each with its 4-byte length in front.
Bytes smfFile(int format, int tracks, int division, std::initializer_list<Bytes> trackBodies,
              const char* id = "MTrk") {
  // clang-format off
  Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<uint8_t>(format),
               static_cast<uint8_t>(tracks >> 8), static_cast<uint8_t>(tracks),
               static_cast<uint8_t>(division >> 8), static_cast<uint8_t>(division)};
  // clang-format on
  for (const Bytes& body : trackBodies) {
    out.insert(out.end(), id, id + 4);
    const auto n = static_cast<uint32_t>(body.size());
    out.insert(out.end(), {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                           static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    out.insert(out.end(), body.begin(), body.end());
  }
  return out;
}

struct Expected {
  uint64_t tick;
  uint8_t status, data1, data2;
  uint16_t track;
};

void expectEvents(const vxtools::SmfData& smf, const std::vector<Expected>& expected) {
  ASSERT_EQ(smf.events.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(smf.events[i].tick, expected[i].tick);
    EXPECT_EQ(smf.events[i].status, expected[i].status);
    EXPECT_EQ(smf.events[i].data1, expected[i].data1);
    EXPECT_EQ(smf.events[i].data2, expected[i].data2);
    EXPECT_EQ(smf.events[i].track, expected[i].track);
  }
}

// Expects the file to be refused with a message containing `why`.
void expectRefused(const Bytes& file, const std::string& why) {
  vxtools::SmfData smf;
  std::string error;
  EXPECT_FALSE(vxtools::parseSmf(file.data(), file.size(), smf, error)) << why;
  EXPECT_NE(error.find(why), std::string::npos) << "message: " << error;
}

TEST(SmfReader, RunningStatusAndVariableLengthDeltas) {
  // clang-format off
  const Bytes file = smfFile(0, 1, 480, {{
      0x00, 0xFF, 0x03, 0x04, 'b', 'a', 's', 's',  // track name: skipped
      0x00, 0x90, 0x3C, 0x64,                      // tick 0: note on 60
      0x83, 0x60, 0x3E, 0x50,                      // +480 (two-byte delta), running status: note on 62
      0x81, 0x00, 0x3C, 0x00,                      // +128: note on 60 velocity 0 (a note off)
      0x00, 0xB0, 0x07, 0x64,                      // controller: not kept
      0x00, 0x07, 0x50,                            // again by running status
      0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7,          // SysEx: skipped
      0x82, 0x80, 0x00, 0xE0, 0x00, 0x50,          // +32768 (three bytes): pitch bend
      0x00, 0x80, 0x3E, 0x40,                      // note off 62
      0x00, 0xC0, 0x05,                            // program change, one data byte: not kept
      0x00, 0xFF, 0x2F, 0x00}});
  // clang-format on
  vxtools::SmfData smf;
  std::string error;
  ASSERT_TRUE(vxtools::parseSmf(file.data(), file.size(), smf, error)) << error;
  EXPECT_EQ(smf.format, 0);
  EXPECT_EQ(smf.trackCount, 1);
  EXPECT_EQ(smf.ticksPerBeat, 480);
  expectEvents(smf, {{0, 0x90, 60, 100, 0},
                     {480, 0x90, 62, 80, 0},
                     {608, 0x90, 60, 0, 0},
                     {33376, 0xE0, 0x00, 0x50, 0},
                     {33376, 0x80, 62, 64, 0}});
  EXPECT_EQ(smf.ignoredEvents, 3u);
  // No tempo event: 120 BPM throughout, 33376 ticks = 69.5333 beats = 34.7667 s.
  ASSERT_EQ(smf.tempos.size(), 1u);
  EXPECT_NEAR(smf.secondsAt(33376), 34.766666666666667, 1e-12);

  // SysEx ends running status: a data byte right after it has no status.
  expectRefused(smfFile(0, 1, 480, {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3C, 0x00}}),
                "without a status byte");
}

TEST(SmfReader, TempoChangeMidFileMovesLaterEvents) {
  // 96 ticks per beat, 120 BPM, 60 BPM from tick 192 (the file of the
  // keyboard render test).
  // clang-format off
  const Bytes file = smfFile(0, 1, 96, {{
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 500000 us
      0x60, 0x90, 0x30, 0x64,                    // tick 96
      0x60, 0x30, 0x00,                          // tick 192, running status, velocity 0
      0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,  // 1000000 us from tick 192
      0x30, 0x90, 0x37, 0x64,                    // tick 240
      0x18, 0x80, 0x37, 0x00,                    // tick 264
      0x00, 0xFF, 0x2F, 0x00}});
  // clang-format on
  vxtools::SmfData smf;
  std::string error;
  ASSERT_TRUE(vxtools::parseSmf(file.data(), file.size(), smf, error)) << error;
  ASSERT_EQ(smf.tempos.size(), 2u);
  EXPECT_EQ(smf.tempos[0].microsecondsPerBeat, 500000u);  // the file's own replaces the default
  EXPECT_EQ(smf.tempos[1].tick, 192u);
  EXPECT_DOUBLE_EQ(smf.tempos[1].seconds, 1.0);
  EXPECT_DOUBLE_EQ(smf.secondsAt(96), 0.5);
  EXPECT_DOUBLE_EQ(smf.secondsAt(240), 1.5);  // 1.25 if the change were ignored
  EXPECT_DOUBLE_EQ(smf.secondsAt(264), 1.75);

  const vxtools::MidiFeed feed(smf, 44100.0);
  ASSERT_EQ(feed.events().size(), 4u);
  const int64_t frames[] = {22050, 44100, 66150, 77175};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(feed.events()[static_cast<size_t>(i)].frame, frames[i]);
  EXPECT_EQ(feed.events()[1].data[0], 0x90);  // kept as sent: velocity 0 is the instrument's note off
}

// Format 1: a tempo track with a note of its own, an unknown chunk, a note track.
// clang-format off
const Bytes kTwoTracks = [] {
  Bytes file = smfFile(1, 2, 480, {{0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0,  // 100 BPM
                                    0x87, 0x40, 0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80,  // 150 BPM at 960
                                    0x00, 0x90, 0x24, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
  const Bytes alien = {'X', 'f', 'I', 'H', 0, 0, 0, 2, 0xAB, 0xCD};
  file.insert(file.end(), alien.begin(), alien.end());
  const Bytes notes = smfFile(1, 2, 480, {{0x00, 0x90, 0x30, 0x64,      // tick 0
                                           0x83, 0x60, 0x80, 0x30, 0x00,  // 480
                                           0x83, 0x60, 0x90, 0x34, 0x64,  // 960
                                           0x83, 0x60, 0x34, 0x00,        // 1440
                                           0x00, 0xFF, 0x2F, 0x00}});
  file.insert(file.end(), notes.begin() + 14, notes.end());  // its track chunk only
  return file;
}();
// clang-format on

TEST(SmfReader, FormatOneTracksMergeUnderOneTempoMap) {
  vxtools::SmfData smf;
  std::string error;
  ASSERT_TRUE(vxtools::parseSmf(kTwoTracks.data(), kTwoTracks.size(), smf, error)) << error;
  EXPECT_EQ(smf.format, 1);
  EXPECT_EQ(smf.trackCount, 2);
  // At tick 960 the tempo track's note comes before the note track's.
  expectEvents(smf, {{0, 0x90, 0x30, 0x64, 1},
                     {480, 0x80, 0x30, 0x00, 1},
                     {960, 0x90, 0x24, 0x64, 0},
                     {960, 0x90, 0x34, 0x64, 1},
                     {1440, 0x90, 0x34, 0x00, 1}});
  // The tempo of track 0 times track 1: 0.6 s per beat, then 0.4 s.
  const vxtools::MidiFeed feed(smf, 48000.0);
  const int64_t frames[] = {0, 28800, 57600, 57600, 76800};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(feed.events()[static_cast<size_t>(i)].frame, frames[i]);
  EXPECT_DOUBLE_EQ(smf.secondsAt(1920), 2.0);
}

TEST(SmfReader, TruncatedAndMalformedFilesAreRefused) {
  // Every proper prefix of a valid file is refused, whatever the cut.
  for (size_t n = 0; n < kTwoTracks.size(); ++n) {
    vxtools::SmfData smf;
    std::string error;
    EXPECT_FALSE(vxtools::parseSmf(kTwoTracks.data(), n, smf, error)) << "prefix of " << n << " bytes";
    EXPECT_FALSE(error.empty());
  }
  expectRefused({}, "not a Standard MIDI File");
  expectRefused(smfFile(1, 3, 480, {{0x00, 0xFF, 0x2F, 0x00}}), "3 tracks announced, 1 found");
  expectRefused(smfFile(2, 1, 480, {{0x00, 0xFF, 0x2F, 0x00}}), "format 2");
  expectRefused(smfFile(0, 2, 480, {{}, {}}), "format 0 with 2 tracks");
  expectRefused(smfFile(0, 1, 0xE728, {{}}), "SMPTE");
  expectRefused(smfFile(0, 1, 0, {{}}), "0 ticks");
  // A track claiming 4 GiB: the length is checked against the file.
  Bytes huge = smfFile(0, 1, 480, {{0x00, 0xFF, 0x2F, 0x00}});
  huge[18] = huge[19] = huge[20] = huge[21] = 0xFF;
  expectRefused(huge, "runs past the end of the file");
  expectRefused(smfFile(0, 1, 480, {{0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64}}),
                "longer than four bytes");
  expectRefused(smfFile(0, 1, 480, {{0x00, 0x3C, 0x64}}), "without a status byte");
  expectRefused(smfFile(0, 1, 480, {{0x00, 0xFF, 0x01, 0x10, 'a'}}), "runs past the end of the track");
  expectRefused(smfFile(0, 1, 480, {{0x00, 0xF0, 0x05, 0x01}}), "runs past the end of the track");
  expectRefused(smfFile(0, 1, 480, {{0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}}), "instead of 3");
  expectRefused(smfFile(0, 1, 480, {{0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}}), "tempo of 0");
  expectRefused(smfFile(0, 1, 480, {{0x00, 0xF8}}), "not allowed");
  expectRefused(smfFile(0, 1, 480, {{0x00, 0x90, 0x3C, 0x90}}), "top bit");
  expectRefused(smfFile(0, 1, 480, {{0x00, 0x90, 0x3C}}), "cut short at byte 23");
  expectRefused(smfFile(0, 1, 480, {{0x00}}), "delta time without an event");

  // A track without its end-of-track event ends with its chunk; the chunk
  // after a track's end-of-track event is not read as events.
  vxtools::SmfData smf;
  std::string error;
  const Bytes open = smfFile(0, 1, 480, {{0x00, 0x90, 0x3C, 0x64}});
  EXPECT_TRUE(vxtools::parseSmf(open.data(), open.size(), smf, error)) << error;
  EXPECT_EQ(smf.events.size(), 1u);
  const Bytes trailing = smfFile(0, 1, 480, {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00, 0x99}});
  EXPECT_TRUE(vxtools::parseSmf(trailing.data(), trailing.size(), smf, error)) << error;
  EXPECT_EQ(smf.events.size(), 1u);

  EXPECT_FALSE(vxtools::readSmfFile("/nonexistent/keys.mid", smf, error));
  EXPECT_NE(error.find("/nonexistent/keys.mid"), std::string::npos);
}

}  // namespace
