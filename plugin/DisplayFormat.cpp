#include "plugin/DisplayFormat.h"

#include <cmath>
#include <cstring>

namespace {

void writeHuge(char* text, int maxLen) {
  std::strncpy(text, "Huge!", static_cast<size_t>(maxLen));
  text[maxLen < 5 ? maxLen : 5] = 0;
}

}  // namespace

void float2string(float value, char* text, int maxLen) {
  double v = value;
  if (std::isnan(v)) v = 0.0;
  if (v > 99999999.0 || v < -9999999.0) {
    writeHuge(text, maxLen);
    return;
  }
  char digits[16];
  int pos = 0;
  if (v < 0.0) {
    text[pos++] = '-';
    v = -v;
  }
  // Integer digits, most significant first, as many as fit before the point.
  double integral = std::floor(v);
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + static_cast<int>(std::fmod(integral, 10.0)));
    integral = std::floor(integral / 10.0);
  } while (integral >= 1.0 && count < 15);
  for (int i = count - 1; i >= 0 && pos < maxLen; --i) text[pos++] = digits[i];
  if (pos < maxLen) text[pos++] = '.';
  // Fraction digits, truncated, until the text is full.
  double fraction = v - std::floor(v);
  while (pos < maxLen) {
    fraction *= 10.0;
    const int digit = static_cast<int>(fraction);
    text[pos++] = static_cast<char>('0' + (digit > 9 ? 9 : digit));
    fraction -= digit;
  }
  text[pos] = 0;
}

void int2string(long long value, char* text, int maxLen) {
  if (value > 99999999LL) {
    writeHuge(text, maxLen);
    return;
  }
  char digits[24];
  int count = 0;
  const bool negative = value < 0;
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                          : static_cast<unsigned long long>(value);
  while (magnitude > 0) {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  int pos = 0;
  if (negative && pos < maxLen) text[pos++] = '-';
  for (int i = count - 1; i >= 0 && pos < maxLen; --i) text[pos++] = digits[i];
  text[pos] = 0;
}

void dB2string(float value, char* text, int maxLen) {
  if (!(value > 0.0f)) {
    std::strncpy(text, "-oo", static_cast<size_t>(maxLen));
    text[maxLen < 3 ? maxLen : 3] = 0;
    return;
  }
  float2string(static_cast<float>(20.0 * std::log10(value)), text, maxLen);
}

void ms2string(float samples, float sampleRate, char* text, int maxLen) {
  float2string(samples * 1000.0f / sampleRate, text, maxLen);
}
