// The MIDI file writer and the sample-to-tick conversion, against bytes and
// numbers worked out by expected_values.py.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "SmfWriter.h"

namespace {

std::vector<uint8_t> varLen(uint32_t v) {
  std::vector<uint8_t> out;
  vxtools::appendVarLen(out, v);
  return out;
}

TEST(SmfWriter, VariableLengthQuantities) {
  EXPECT_EQ(varLen(0), (std::vector<uint8_t>{0x00}));
  EXPECT_EQ(varLen(127), (std::vector<uint8_t>{0x7F}));
  EXPECT_EQ(varLen(128), (std::vector<uint8_t>{0x81, 0x00}));
  EXPECT_EQ(varLen(16383), (std::vector<uint8_t>{0xFF, 0x7F}));
  EXPECT_EQ(varLen(16384), (std::vector<uint8_t>{0x81, 0x80, 0x00}));
  EXPECT_EQ(varLen(0x0FFFFFFF), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F}));
  // Beyond the format's range the value is clamped, never five bytes long.
  EXPECT_EQ(varLen(0xFFFFFFFF), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(SmfWriter, TinyFileBytes) {
  vxtools::SmfWriter smf(480);
  smf.setTempo(120.0);
  // Added out of time order; the two events at tick 33022 must keep their order.
  EXPECT_TRUE(smf.addEvent(16638, 0x90, 0x3E, 0x7F));
  EXPECT_TRUE(smf.addEvent(0, 0x90, 0x3C, 0x64));
  EXPECT_TRUE(smf.addEvent(33022, 0x80, 0x3E, 0x00));
  EXPECT_TRUE(smf.addEvent(127, 0x80, 0x3C, 0x00));
  EXPECT_TRUE(smf.addEvent(255, 0xC0, 0x05, 0x00));  // two-byte message
  EXPECT_TRUE(smf.addEvent(33022, 0x90, 0x40, 0x50));
  // Neither a system message nor a data byte is a channel message.
  EXPECT_FALSE(smf.addEvent(300, 0xF8, 0, 0));
  EXPECT_FALSE(smf.addEvent(300, 0x3C, 0, 0));
  EXPECT_EQ(smf.eventCount(), 6);

  const std::vector<uint8_t> expected = {
      0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01,  // MThd, 6, format 0, 1 track
      0x01, 0xE0, 0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x2E, 0x00, 0xFF,  // 480 tpb, MTrk, 46 bytes
      0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18,  // tempo 500000, 4/4
      0x08, 0x00, 0x90, 0x3C, 0x64, 0x7F, 0x80, 0x3C, 0x00, 0x81, 0x00, 0xC0,
      0x05, 0xFF, 0x7F, 0x90, 0x3E, 0x7F, 0x81, 0x80, 0x00, 0x80, 0x3E, 0x00,
      0x00, 0x90, 0x40, 0x50, 0x00, 0xFF, 0x2F, 0x00,
  };
  EXPECT_EQ(smf.bytes(), expected);

  // The same image on disk.
  const std::string path = ::testing::TempDir() + "tools_test_tiny.mid";
  std::string error;
  ASSERT_TRUE(smf.write(path, error)) << error;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> onDisk(200);
  onDisk.resize(std::fread(onDisk.data(), 1, onDisk.size(), f));
  std::fclose(f);
  std::remove(path.c_str());
  EXPECT_EQ(onDisk, expected);
  EXPECT_FALSE(smf.write("/nonexistent-dir/x.mid", error));
  EXPECT_NE(error.find("/nonexistent-dir/x.mid"), std::string::npos);
}

TEST(SmfWriter, EmptyFileAndOtherMeta) {
  vxtools::SmfWriter smf(96);
  smf.setTempo(140.0);            // 428571 us = 0x068A1B
  smf.setTimeSignature(3, 8);     // 3/8: denominator power 3
  smf.setTimeSignature(5, 6);     // not a power of two: ignored
  const std::vector<uint8_t> expected = {
      0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x60,
      0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x13,
      0x00, 0xFF, 0x51, 0x03, 0x06, 0x8A, 0x1B,
      0x00, 0xFF, 0x58, 0x04, 0x03, 0x03, 0x18, 0x08,
      0x00, 0xFF, 0x2F, 0x00,
  };
  EXPECT_EQ(smf.bytes(), expected);
}

TEST(SmfWriter, TempoMicroseconds) {
  EXPECT_EQ(vxtools::tempoMicroseconds(120.0), 500000u);
  EXPECT_EQ(vxtools::tempoMicroseconds(140.0), 428571u);
  EXPECT_EQ(vxtools::tempoMicroseconds(90.0), 666667u);
  EXPECT_EQ(vxtools::tempoMicroseconds(1.0), 0xFFFFFFu);  // 60 s per beat does not fit 24 bits
  EXPECT_EQ(vxtools::tempoMicroseconds(0.0), 500000u);
}

TEST(SmfWriter, FramesToTicks) {
  // 120 BPM at 44100 Hz: 22050 frames per beat, 45.9375 frames per tick.
  EXPECT_EQ(vxtools::framesToTicks(0, 44100, 120, 480), 0u);
  EXPECT_EQ(vxtools::framesToTicks(22, 44100, 120, 480), 0u);   // 0.479 ticks
  EXPECT_EQ(vxtools::framesToTicks(23, 44100, 120, 480), 1u);   // 0.501 ticks
  EXPECT_EQ(vxtools::framesToTicks(5512, 44100, 120, 480), 120u);  // a sixteenth, truncated start
  EXPECT_EQ(vxtools::framesToTicks(22050, 44100, 120, 480), 480u);
  EXPECT_EQ(vxtools::framesToTicks(352800, 44100, 120, 480), 7680u);  // 4 bars
  EXPECT_EQ(vxtools::framesToTicks(44100LL * 3600, 44100, 120, 480), 3456000u);  // an hour
  // 140 BPM at 48000 Hz: one second is 2 1/3 beats.
  EXPECT_EQ(vxtools::framesToTicks(48000, 48000, 140, 480), 1120u);
  EXPECT_EQ(vxtools::framesToTicks(1, 48000, 140, 480), 0u);
  // Nonsense in, 0 out.
  EXPECT_EQ(vxtools::framesToTicks(-5, 44100, 120, 480), 0u);
  EXPECT_EQ(vxtools::framesToTicks(100, 0, 120, 480), 0u);
}

}  // namespace
