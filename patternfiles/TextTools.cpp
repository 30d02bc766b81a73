#include "patternfiles/TextTools.h"

#include <locale.h>
#include <stdlib.h>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

size_t skipSpace(const std::string& text) {
  size_t at = 0;
  while (at < text.size() && isCSpace(text[at])) ++at;
  return at;
}

}  // namespace

std::string trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool starts_with(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return lower(a) == lower(b); });
}

bool contains(const std::string& text, const std::string& part) {
  if (part.empty()) return true;
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

void split(const std::string& text, char delimiter, std::vector<std::string>& parts) {
  parts.clear();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(delimiter, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

std::string remove_char(const std::string& text, char character) {
  std::string out = text;
  out.erase(std::remove(out.begin(), out.end(), character), out.end());
  return out;
}

std::vector<std::string> textLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t lf = text.find('\n', start);
    const size_t end = lf == std::string::npos ? text.size() : lf + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

int parseLeadingInt(const std::string& text) {
  size_t at = skipSpace(text);
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  long long value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
    value = std::min(value * 10 + (text[at] - '0'), static_cast<long long>(INT_MAX) + 1);
  if (negative) value = -value;
  return static_cast<int>(
      std::clamp(value, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}

double parseLeadingDouble(const std::string& text) {
  // The "C" locale object is made once and never freed; strtod_l reads with
  // it without touching the process's or the thread's locale.
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return strtod_l(text.c_str(), nullptr, cLocale);
}

std::string formatFixed6(double value) {
  char buffer[400];  // the widest double in fixed notation fits
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, 6);
  return std::string(buffer, result.ptr);
}
