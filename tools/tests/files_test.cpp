// The MIDI file reader of vornix-render on hand-written files, against
// ticks and frames worked out by hand or by expected_values.py. (The files
// the tool writes are checked by the Render test.)
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "MidiFeed.h"
#include "SmfReader.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A header chunk and the given chunks, each with its 4-byte length in front.
Bytes smfFile(int format, int tracks, int division, std::initializer_list<Bytes> bodies,
              const char* id = "MTrk") {
  Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(format), 0, uint8_t(tracks)};
  out.insert(out.end(), {uint8_t(division >> 8), uint8_t(division)});
  for (const Bytes& body : bodies) {
    const auto n = static_cast<uint32_t>(body.size());
    out.insert(out.end(), id, id + 4);
    out.insert(out.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    out.insert(out.end(), body.begin(), body.end());
  }
  return out;
}

// Parses the file, checks the kept events (tick, status, data1, data2,
// track) and the frames the feed gives them.
vxtools::SmfData expectEvents(const Bytes& file, const std::vector<vxtools::SmfEvent>& events,
                              double rate = 0.0, const std::vector<int64_t>& frames = {}) {
  vxtools::SmfData smf;
  std::string error;
  EXPECT_TRUE(vxtools::parseSmf(file.data(), file.size(), smf, error)) << error;
  EXPECT_EQ(smf.events.size(), events.size());
  for (size_t i = 0; i < events.size() && i < smf.events.size(); ++i) {
    const auto &a = smf.events[i], &e = events[i];
    EXPECT_TRUE(a.tick == e.tick && a.status == e.status && a.data1 == e.data1 && a.data2 == e.data2 &&
                a.track == e.track)
        << "event " << i;
  }
  const vxtools::MidiFeed feed(smf, rate);
  for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(feed.events().at(i).frame, frames[i]) << "event " << i;
  return smf;
}

// Format 1: a tempo track with a note of its own, an unknown chunk, and a
// note track with what the reader skips (meta text, controllers, SysEx, a
// program change) between what it keeps, in running status and with deltas
// of one to three bytes.
// clang-format off
const Bytes kTwoTracks = [] {
  Bytes file = smfFile(1, 2, 480, {{0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0,        // 100 BPM
                                    0x87, 0x40, 0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80,  // 150 BPM at tick 960
                                    0x00, 0x90, 0x24, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
  for (const Bytes& chunk : {smfFile(0, 0, 0, {{0xAB, 0xCD}}, "XfIH"), smfFile(0, 0, 0, {{
           0x00, 0xFF, 0x03, 0x04, 'b', 'a', 's', 's',  // track name
           0x00, 0x90, 0x30, 0x64, 0x83, 0x60, 0x80, 0x30, 0x00,  // tick 0 note on 48, 480 note off
           0x00, 0xB0, 0x07, 0x64, 0x00, 0x07, 0x50,    // controllers, the second in running status
           0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7,          // SysEx
           0x83, 0x60, 0x90, 0x34, 0x64, 0x83, 0x60, 0x34, 0x00,  // 960 note on 52, 1440 velocity 0
           0x00, 0xE0, 0x00, 0x50, 0x00, 0xC0, 0x05,    // pitch bend, program change
           0x82, 0x80, 0x00, 0x80, 0x34, 0x40,          // +32768: note off
           0x00, 0xFF, 0x2F, 0x00}})}) {
    file.insert(file.end(), chunk.begin() + 14, chunk.end());  // the chunk without its header
  }
  return file;
}();
// clang-format on

TEST(SmfReader, TracksMergeUnderOneTempoMap) {
  // At tick 960 the tempo track's note comes before the note track's; the
  // tempo of track 0 (0.6 s per beat, then 0.4 s) times track 1.
  // clang-format off
  const vxtools::SmfData smf = expectEvents(kTwoTracks,
      {{0, 0x90, 48, 100, 1}, {480, 0x80, 48, 0, 1}, {960, 0x90, 0x24, 0x64, 0}, {960, 0x90, 52, 100, 1},
       {1440, 0x90, 52, 0, 1}, {1440, 0xE0, 0x00, 0x50, 1}, {34208, 0x80, 52, 64, 1}},
      48000.0, {0, 28800, 57600, 57600, 76800, 76800, 1387520});
  // clang-format on
  EXPECT_EQ(smf.ignoredEvents, 3u);
}

TEST(SmfReader, TruncatedAndMalformedFilesAreRefused) {
  std::string error;
  vxtools::SmfData smf;
  for (size_t n = 0; n < kTwoTracks.size(); ++n) {
    EXPECT_FALSE(vxtools::parseSmf(kTwoTracks.data(), n, smf, error)) << "prefix of " << n << " bytes";
  }
  Bytes huge = smfFile(0, 1, 480, {{0x00, 0xFF, 0x2F, 0x00}});
  huge[18] = huge[19] = huge[20] = huge[21] = 0xFF;  // a track of 4 GiB
  // clang-format off
  const std::pair<Bytes, const char*> refused[] = {
      {{}, "not a Standard MIDI File"}, {huge, "runs past the end of the file"},
      {smfFile(1, 3, 480, {{0x00, 0xFF, 0x2F, 0x00}}), "3 tracks announced, 1 found"},
      {smfFile(2, 1, 480, {{0x00, 0xFF, 0x2F, 0x00}}), "format 2"},
      {smfFile(0, 2, 480, {{}, {}}), "format 0 with 2 tracks"},
      {smfFile(0, 1, 0xE728, {{}}), "SMPTE"}, {smfFile(0, 1, 0, {{}}), "0 ticks"},
      {smfFile(0, 1, 480, {{0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64}}), "longer than four bytes"},
      {smfFile(0, 1, 480, {{0x00, 0x3C, 0x64}}), "without a status byte"},
      // SysEx ends running status: a data byte right after it has no status.
      {smfFile(0, 1, 480, {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3C, 0x00}}), "status"},
      {smfFile(0, 1, 480, {{0x00, 0xF0, 0x05, 0x01}}), "runs past the end of the track"},
      {smfFile(0, 1, 480, {{0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}}), "instead of 3"},
      {smfFile(0, 1, 480, {{0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}}), "tempo of 0"},
      {smfFile(0, 1, 480, {{0x00, 0xF8}}), "not allowed"},
      {smfFile(0, 1, 480, {{0x00, 0x90, 0x3C, 0x90}}), "top bit"},
      {smfFile(0, 1, 480, {{0x00}}), "delta time without an event"}};
  // clang-format on
  for (const auto& [file, why] : refused) {
    EXPECT_FALSE(vxtools::parseSmf(file.data(), file.size(), smf, error)) << why;
    EXPECT_NE(error.find(why), std::string::npos) << why << ": " << error;
  }
  // A track without its end-of-track event ends with its chunk; bytes after
  // a track's end-of-track event are not read as events.
  expectEvents(smfFile(0, 1, 480, {{0x00, 0x90, 0x3C, 0x64}}), {{0, 0x90, 0x3C, 0x64, 0}});
  expectEvents(smfFile(0, 1, 480, {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00, 0x99}}),
               {{0, 0x90, 0x3C, 0x64, 0}});
  EXPECT_FALSE(vxtools::readSmfFile("/nonexistent/keys.mid", smf, error));
  EXPECT_NE(error.find("/nonexistent/keys.mid"), std::string::npos);
}

}  // namespace
