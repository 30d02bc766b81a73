// Parameter display texts: truncation (never rounding), the 8-character
// budget shared by sign, digits and point, and the special texts.
#include <gtest/gtest.h>

#include <string>

#include "plugin/DisplayFormat.h"

TEST(DisplayFormat, TextsForTheirValues) {
  // {value, float2string, int2string, dB2string}; 5512 samples at 44.1 kHz
  // are 124.98866 ms; 20 log10 0.3 = -10.457575; zero is an empty integer
  // and every text is cut, never rounded, to 8 characters.
  const struct {
    double value;
    const char *asFloat, *asInt, *asDb;
  } cases[] = {{0.0, "0.000000", "", "-oo"},
               {0.3, "0.300000", "", "-10.4575"},
               {1.0, "1.000000", "1", "0.000000"},
               {124.98866, "124.9886", "124", "41.93741"},
               {-6.0206, "-6.02059", "-6", "-oo"},
               {1234567.0, "1234567.", "1234567", "121.8302"},
               {1e8 + 16, "Huge!", "Huge!", "160.0000"},
               {-1e7, "Huge!", "-1000000", "-oo"}};
  for (const auto& c : cases) {
    char text[32];
    float2string(float(c.value), text, 8);
    EXPECT_EQ(std::string(text), c.asFloat) << c.value;
    int2string(static_cast<long long>(c.value), text, 8);
    EXPECT_EQ(std::string(text), c.asInt) << c.value;
    dB2string(float(c.value), text, 8);
    EXPECT_EQ(std::string(text), c.asDb) << c.value;
  }
  char text[32];
  ms2string(11025.0f, 44100.0f, text, 8);
  EXPECT_EQ(std::string(text), "250.0000");
}
