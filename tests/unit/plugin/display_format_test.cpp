// Parameter display texts: truncation (never rounding), the 8-character
// budget shared by sign, digits and point, and the special texts.
#include <gtest/gtest.h>

#include "plugin/DisplayFormat.h"

namespace {

std::string floatText(float v) {
  char text[32];
  float2string(v, text, 8);
  return text;
}

std::string intText(long long v) {
  char text[32];
  int2string(v, text, 8);
  return text;
}

}  // namespace

TEST(DisplayFormat, FloatTruncatesToEightCharacters) {
  EXPECT_EQ(floatText(0.5f), "0.500000");
  EXPECT_EQ(floatText(0.0f), "0.000000");
  EXPECT_EQ(floatText(124.98866f), "124.9886");  // 5512 samples at 44.1 kHz in ms
  EXPECT_EQ(floatText(-0.5f), "-0.50000");
  EXPECT_EQ(floatText(0.919375f), "0.919375");
  EXPECT_EQ(floatText(-6.0206f), "-6.02059");  // truncated, not rounded to ...60
  EXPECT_EQ(floatText(1234567.0f), "1234567.");
  EXPECT_EQ(floatText(99999999.0f + 16.0f), "Huge!");
  EXPECT_EQ(floatText(-10000000.0f), "Huge!");
}

TEST(DisplayFormat, IntegersDecibelsAndMilliseconds) {
  EXPECT_EQ(intText(0), "");  // zero shows as an empty text
  EXPECT_EQ(intText(50), "50");
  EXPECT_EQ(intText(-100), "-100");
  EXPECT_EQ(intText(100000000), "Huge!");

  char text[32];
  dB2string(0.0f, text, 8);
  EXPECT_STREQ(text, "-oo");
  dB2string(1.0f, text, 8);
  EXPECT_STREQ(text, "0.000000");
  dB2string(0.3f, text, 8);  // 20 log10 0.3 = -10.457575
  EXPECT_STREQ(text, "-10.4575");
  ms2string(11025.0f, 44100.0f, text, 8);
  EXPECT_STREQ(text, "250.0000");
}
