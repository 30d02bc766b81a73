// Parameter display texts: truncation (never rounding), the 8-character
// budget shared by sign, digits and point, and the special texts.
#include <gtest/gtest.h>

#include <string>

#include "plugin/DisplayFormat.h"

TEST(DisplayFormat, TextsForTheirValues) {
  enum Kind { kFloat, kInt, kDb, kMs };
  const struct {
    Kind kind;
    double value;
    const char* text;
  } cases[] = {
      {kFloat, 0.5, "0.500000"},
      {kFloat, 0.0, "0.000000"},
      {kFloat, 124.98866, "124.9886"},  // 5512 samples at 44.1 kHz in ms
      {kFloat, -0.5, "-0.50000"},
      {kFloat, -6.0206, "-6.02059"},  // truncated, not rounded to ...60
      {kFloat, 1234567.0, "1234567."},
      {kFloat, 99999999.0 + 16.0, "Huge!"},
      {kFloat, -10000000.0, "Huge!"},
      {kInt, 0, ""},  // zero shows as an empty text
      {kInt, 50, "50"},
      {kInt, -100, "-100"},
      {kInt, 100000000, "Huge!"},
      {kDb, 0.0, "-oo"},
      {kDb, 1.0, "0.000000"},
      {kDb, 0.3, "-10.4575"},      // 20 log10 0.3 = -10.457575
      {kMs, 11025.0, "250.0000"},  // at 44100 Hz
  };
  for (const auto& c : cases) {
    char text[32];
    switch (c.kind) {
      case kFloat:
        float2string(static_cast<float>(c.value), text, 8);
        break;
      case kInt:
        int2string(static_cast<long long>(c.value), text, 8);
        break;
      case kDb:
        dB2string(static_cast<float>(c.value), text, 8);
        break;
      case kMs:
        ms2string(static_cast<float>(c.value), 44100.0f, text, 8);
        break;
    }
    EXPECT_EQ(std::string(text), c.text) << c.kind << " " << c.value;
  }
}
