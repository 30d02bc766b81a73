// The oscillator's source waveforms against the values they are defined by.
#include "resampler/WaveSources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

TEST(WaveSources, SteadySawAndSquare) {
  std::vector<float> saw(3000);
  rspl::generate_steady_saw(saw.data(), 3000, 1024);
  EXPECT_EQ(saw[0], -1.0f);
  EXPECT_EQ(saw[1023], 1.0f);  // each cycle ends on +1 exactly
  EXPECT_EQ(saw[1024], -1.0f);
  EXPECT_FLOAT_EQ(saw[1], float(-1.0 + 2.0 / 1023.0));
  EXPECT_FLOAT_EQ(saw[2048 + 511], float(-1.0 + 511.0 * 2.0 / 1023.0));
  EXPECT_EQ(saw[2999], saw[2999 - 2048]);

  std::vector<float> sq(2048);
  rspl::generate_steady_square(sq.data(), 2048, 1024);
  EXPECT_EQ(std::count(sq.begin(), sq.begin() + 512, -1.0f), 512);
  EXPECT_EQ(std::count(sq.begin() + 512, sq.begin() + 1024, 1.0f), 512);
  EXPECT_EQ(sq[1024], -1.0f);
  EXPECT_EQ(sq[2047], 1.0f);
}

TEST(WaveSources, SquareVirusFollowsItsShape) {
  const float* v = rspl::squarevirus;
  // Samples that define the shape (to three decimals).
  const struct {
    int i;
    float value;
  } points[] = {
      {0, -0.437f},   {1, -0.323f},   {2, 0.218f},    {3, 0.773f},    {4, 0.710f},    {5, 0.656f},
      {32, 0.884f},   {64, 0.938f},   {96, 0.915f},   {128, 0.871f},  {160, 0.822f},  {192, 0.774f},
      {224, 0.728f},  {256, 0.684f},  {288, 0.643f},  {320, 0.605f},  {352, 0.568f},  {384, 0.534f},
      {416, 0.502f},  {448, 0.472f},  {480, 0.444f},  {512, 0.417f},  {524, 0.410f},  {525, 0.353f},
      {526, -0.126f}, {527, -0.774f}, {528, -0.764f}, {544, -0.849f}, {576, -0.960f}, {608, -0.955f},
      {640, -0.914f}, {672, -0.864f}, {704, -0.814f}, {736, -0.766f}, {768, -0.720f}, {800, -0.677f},
      {832, -0.636f}, {864, -0.598f}, {896, -0.562f}, {928, -0.529f}, {960, -0.497f}, {992, -0.467f},
  };
  for (const auto& p : points) {
    EXPECT_NEAR(v[p.i], p.value, 0.0005f) << p.i;
  }
  const auto [mn, mx] = std::minmax_element(v, v + rspl::kSquareVirusLen);
  EXPECT_NEAR(*mn, -0.96605f, 1e-5f);
  EXPECT_NEAR(*mx, 0.93803f, 1e-5f);
  EXPECT_NEAR(mx - v, 64, 4);
  EXPECT_NEAR(mn - v, 580, 6);
  const double mean = std::accumulate(v, v + rspl::kSquareVirusLen, 0.0) / rspl::kSquareVirusLen;
  EXPECT_NEAR(mean, 0.00004, 0.00002);
  // Positive from the rising edge to the falling edge, negative elsewhere.
  EXPECT_EQ(std::count_if(v + 2, v + 526, [](float x) { return x > 0.0f; }), 524);
  EXPECT_EQ(std::count_if(v + 526, v + 1024, [](float x) { return x < 0.0f; }), 498);

  std::vector<float> src(2048);
  rspl::generate_squarevirus(src.data(), 2048);
  EXPECT_FLOAT_EQ(src[1024 + 64], float(v[64] / 1.5 * 1.5979444));
  EXPECT_FLOAT_EQ(src[580], float(v[580] / 1.5 * 1.5979444));
}

}  // namespace
