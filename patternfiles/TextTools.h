// Text helpers of the plain-text pattern readers: trimming, case-blind
// matching, splitting and C-style number parsing. Numbers are parsed the way
// the C library reads them in the "C" locale, whatever locale the host
// process has set, so a comma-decimal locale cannot change what a file means.
#pragma once

#include <string>
#include <vector>

// Blanks (space characters, and only those) removed from both ends.
std::string trim(const std::string& text);
// Both ignore letter case (ASCII).
bool starts_with(const std::string& text, const std::string& prefix);
bool contains(const std::string& text, const std::string& part);
// The parts between delimiters, empty parts dropped.
void split(const std::string& text, char delimiter, std::vector<std::string>& parts);
// Every occurrence of character removed.
std::string remove_char(const std::string& text, char character);

// The lines of a text: each runs up to and including its LF (CR and LF stay
// part of it); a last line without LF counts when it is not empty.
std::vector<std::string> textLines(const std::string& text);

// Like atoi: leading white space, an optional sign, the digits that follow;
// 0 when there are none. Values beyond the int range saturate.
int parseLeadingInt(const std::string& text);
// Like atof in the "C" locale: the longest decimal number at the start
// (after white space), 0.0 when there is none.
double parseLeadingDouble(const std::string& text);
// "%f" (six decimals) in the "C" locale.
std::string formatFixed6(double value);
