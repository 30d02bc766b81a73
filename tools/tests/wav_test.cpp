// WAV output: float keeps values exactly, 24-bit PCM quantises and clips.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <vector>

#include "WavWriter.h"

namespace {

std::vector<float> readBack(const std::string& path, SF_INFO& info) {
  info = SF_INFO{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<float> data(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(f, data.data(), info.frames);
  sf_close(f);
  return data;
}

TEST(WavWriter, FloatAndPcm24) {
  // Interleaved stereo: in-range values, a value that is not a 24-bit step,
  // and overs in both directions.
  const std::vector<float> samples = {0.5f, -0.25f, 0.1f, -1.0f, 1.5f, -2.0f};
  std::string error;
  const std::string floatPath = ::testing::TempDir() + "tools_test_float.wav";
  {
    vxtools::WavWriter w;
    ASSERT_TRUE(w.open(floatPath, 48000, 2, vxtools::WavFormat::Float32, error)) << error;
    ASSERT_TRUE(w.write(samples.data(), 2, error));
    ASSERT_TRUE(w.write(samples.data() + 4, 1, error));
    ASSERT_TRUE(w.close(error)) << error;
  }
  SF_INFO info;
  std::vector<float> back = readBack(floatPath, info);
  EXPECT_EQ(info.frames, 3);
  EXPECT_EQ(info.samplerate, 48000);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_EQ(back, samples);  // float stores the overs as they are
  vxtools::WavInfo wi;
  ASSERT_TRUE(vxtools::readWavInfo(floatPath, wi, error));
  EXPECT_EQ(wi.frames, 3);
  EXPECT_EQ(wi.bitsPerSample, 32);
  EXPECT_TRUE(wi.isFloat);
  std::remove(floatPath.c_str());

  const std::string pcmPath = ::testing::TempDir() + "tools_test_pcm24.wav";
  {
    vxtools::WavWriter w;
    ASSERT_TRUE(w.open(pcmPath, 44100, 2, vxtools::WavFormat::Pcm24, error)) << error;
    ASSERT_TRUE(w.write(samples.data(), 3, error));
  }  // the destructor closes the file
  back = readBack(pcmPath, info);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  ASSERT_EQ(back.size(), 6u);
  EXPECT_EQ(back[0], 0.5f);
  EXPECT_EQ(back[1], -0.25f);
  EXPECT_NEAR(back[2], 0.1f, 1.0 / 8388608);  // within one 24-bit step
  EXPECT_EQ(back[3], -1.0f);
  // Overs clip to full scale with their sign kept (the largest positive code is 1 - 2^-23).
  EXPECT_NEAR(back[4], 1.0f, 2.0 / 8388608);
  EXPECT_GT(back[4], 0.99f);
  EXPECT_EQ(back[5], -1.0f);
  ASSERT_TRUE(vxtools::readWavInfo(pcmPath, wi, error));
  EXPECT_EQ(wi.bitsPerSample, 24);
  EXPECT_FALSE(wi.isFloat);
  std::remove(pcmPath.c_str());

  vxtools::WavWriter w;
  EXPECT_FALSE(w.open("/nonexistent-dir/out.wav", 44100, 2, vxtools::WavFormat::Float32, error));
  EXPECT_NE(error.find("/nonexistent-dir/out.wav"), std::string::npos);
  EXPECT_FALSE(w.write(samples.data(), 1, error));
  EXPECT_FALSE(vxtools::readWavInfo("/nonexistent-dir/out.wav", wi, error));
}

}  // namespace
