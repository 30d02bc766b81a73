#include "ParamMatcher.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace vxtools {

namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string listNames(const std::vector<std::string>& names) {
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) list += ", ";
    list += std::to_string(i) + " \"" + trimTrailingBlanks(names[i]) + "\"";
  }
  return list;
}

std::string listIndices(const std::vector<int>& hits) {
  std::string list;
  for (size_t i = 0; i < hits.size(); ++i) list += (i ? ", " : "") + std::to_string(hits[i]);
  return list;
}

}  // namespace

std::string trimTrailingBlanks(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(0, end);
}

bool splitAssignment(const std::string& text, std::string& name, float& value, std::string& error) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) {
    error = "expected NAME=VALUE, got \"" + text + "\"";
    return false;
  }
  name = text.substr(0, eq);
  const std::string number = text.substr(eq + 1);
  double parsed = 0.0;
  const char* first = number.data();
  const char* last = first + number.size();
  const auto result = std::from_chars(first, last, parsed);
  if (number.empty() || result.ec != std::errc() || result.ptr != last || !std::isfinite(parsed)) {
    error = "\"" + number + "\" is not a number (in \"" + text + "\")";
    return false;
  }
  if (parsed < 0.0 || parsed > 1.0) {
    error = "value " + number + " of \"" + name + "\" is outside 0..1";
    return false;
  }
  value = static_cast<float>(parsed);
  return true;
}

int matchParameter(const std::vector<std::string>& names, const std::string& query,
                   std::string& error) {
  const std::string wanted = trimTrailingBlanks(query);
  std::vector<int> exact, folded;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string name = trimTrailingBlanks(names[i]);
    if (name.empty()) continue;
    if (name == wanted) exact.push_back(static_cast<int>(i));
    if (equalsIgnoringCase(name, wanted)) folded.push_back(static_cast<int>(i));
  }
  const std::vector<int>& hits = !exact.empty() ? exact : folded;
  if (hits.size() == 1) return hits[0];
  if (hits.size() > 1) {
    error = "parameter name \"" + wanted + "\" is ambiguous (indices " + listIndices(hits) +
            "); give the index instead";
    return -1;
  }
  if (!wanted.empty() && wanted.size() <= 9 &&
      wanted.find_first_not_of("0123456789") == std::string::npos) {
    const long index = std::stol(wanted);
    if (index < static_cast<long>(names.size())) return static_cast<int>(index);
    error = "parameter index " + wanted + " is out of range (0.." +
            std::to_string(static_cast<long>(names.size()) - 1) + ")";
    return -1;
  }
  error = "unknown parameter \"" + wanted + "\"; valid names: " + listNames(names);
  return -1;
}

}  // namespace vxtools
