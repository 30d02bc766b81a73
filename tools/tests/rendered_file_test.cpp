// Checks the files written by vornix-render. The end-to-end render tests run
// this with the files and the expected figures in the environment; run on its
// own it has nothing to check and skips.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "WavWriter.h"

namespace {

const char* env(const char* name) { return std::getenv(name); }

// A deliberately simple reader for the files the tool writes: one track, no
// running status, channel messages and meta events only.
struct ReadSmf {
  bool ok = false;
  int format = -1, tracks = 0, division = 0;
  uint32_t tempo = 0;
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> events;  // absolute tick, message
  uint32_t endTick = 0;
};

uint32_t be(const std::vector<uint8_t>& d, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | d[at + static_cast<size_t>(i)];
  return v;
}

ReadSmf readSmf(const std::string& path) {
  ReadSmf smf;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return smf;
  std::vector<uint8_t> d;
  for (int c; (c = std::fgetc(f)) != EOF;) d.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  if (d.size() < 22 || std::string(d.begin(), d.begin() + 4) != "MThd" || be(d, 4, 4) != 6 ||
      std::string(d.begin() + 14, d.begin() + 18) != "MTrk" || be(d, 18, 4) != d.size() - 22)
    return smf;
  smf.format = static_cast<int>(be(d, 8, 2));
  smf.tracks = static_cast<int>(be(d, 10, 2));
  smf.division = static_cast<int>(be(d, 12, 2));
  size_t p = 22;
  uint32_t tick = 0;
  while (p < d.size()) {
    uint32_t delta = 0;
    while (p < d.size() && (d[p] & 0x80)) delta = (delta << 7) | (d[p++] & 0x7F);
    if (p >= d.size()) return smf;
    delta = (delta << 7) | d[p++];
    tick += delta;
    if (p >= d.size()) return smf;
    const uint8_t status = d[p];
    if (status == 0xFF) {
      if (p + 2 >= d.size()) return smf;
      const uint8_t type = d[p + 1], len = d[p + 2];
      if (type == 0x51 && len == 3) smf.tempo = be(d, p + 3, 3);
      if (type == 0x2F) {
        smf.endTick = tick;
        smf.ok = p + 3 == d.size();
        return smf;
      }
      p += 3 + len;
    } else {
      const size_t n = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
      if (status < 0x80 || p + n > d.size()) return smf;
      smf.events.push_back({tick, std::vector<uint8_t>(d.begin() + static_cast<long>(p),
                                                       d.begin() + static_cast<long>(p + n))});
      p += n;
    }
  }
  return smf;
}

TEST(RenderedFile, WavHasExpectedLengthRateAndFormat) {
  if (!env("VORNIX_CHECK_WAV") || !env("VORNIX_CHECK_FRAMES") || !env("VORNIX_CHECK_RATE") ||
      !env("VORNIX_CHECK_BITS"))
    GTEST_SKIP() << "no rendered WAV file named";
  vxtools::WavInfo info;
  std::string error;
  ASSERT_TRUE(vxtools::readWavInfo(env("VORNIX_CHECK_WAV"), info, error)) << error;
  EXPECT_EQ(info.frames, std::atoll(env("VORNIX_CHECK_FRAMES")));
  EXPECT_EQ(info.sampleRate, std::atoi(env("VORNIX_CHECK_RATE")));
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.bitsPerSample, std::atoi(env("VORNIX_CHECK_BITS")));
}

TEST(RenderedFile, MidiIsWellFormed) {
  if (!env("VORNIX_CHECK_MID") || !env("VORNIX_CHECK_TEMPO_US")) GTEST_SKIP() << "no MIDI file named";
  const ReadSmf smf = readSmf(env("VORNIX_CHECK_MID"));
  ASSERT_TRUE(smf.ok);
  EXPECT_EQ(smf.format, 0);
  EXPECT_EQ(smf.tracks, 1);
  EXPECT_EQ(smf.division, 480);
  EXPECT_EQ(smf.tempo, static_cast<uint32_t>(std::atol(env("VORNIX_CHECK_TEMPO_US"))));
  // Optional fingerprint of the events: count, last tick, sum of ticks and of note numbers.
  if (const char* count = env("VORNIX_CHECK_MID_EVENTS")) {
    ASSERT_EQ(smf.events.size(), static_cast<size_t>(std::atol(count)));
    uint64_t tickSum = 0, noteSum = 0;
    for (const auto& [tick, message] : smf.events) {
      tickSum += tick;
      noteSum += message[1];
    }
    EXPECT_EQ(smf.events.back().first, static_cast<uint32_t>(std::atol(env("VORNIX_CHECK_MID_LAST"))));
    EXPECT_EQ(tickSum, static_cast<uint64_t>(std::atoll(env("VORNIX_CHECK_MID_TICK_SUM"))));
    EXPECT_EQ(noteSum, static_cast<uint64_t>(std::atoll(env("VORNIX_CHECK_MID_NOTE_SUM"))));
  }
}

}  // namespace
