#include "patternfiles/PatternFile.h"

const char* describe(FileError error) {
  switch (error) {
    case FileError::None:
      return "read";
    case FileError::CannotOpen:
      return "cannot open the file (missing, unreadable or not a regular file)";
    case FileError::TooLarge:
      return "the file is larger than any pattern or bank file";
    case FileError::Empty:
      return "the file is empty";
    case FileError::BadTag:
      return "not a native pattern file (no knt3patt tag)";
    case FileError::BadStepCount:
      return "the step count is outside 1..64";
    case FileError::Truncated:
      return "the file ends before the fields it announces";
    case FileError::NameTooLong:
      return "the name length is above 127";
    case FileError::TooManyValues:
      return "more than 29 parameter values";
    case FileError::BadStepLine:
      return "a step line cannot be read";
    case FileError::NoSteps:
      return "no step line";
    case FileError::NotXml:
      return "not a well-formed XML document";
    case FileError::NoPatternElement:
      return "no top-level Pattern element";
    case FileError::BadChunk:
      return "not a valid bank (the state chunk does not check out)";
    case FileError::UnknownFormat:
      return "not a pattern or bank file of a known format";
  }
  return "refused";
}

std::string cutPatternName(const std::string& name, size_t maxBytes) {
  if (name.size() <= maxBytes) return name;
  // When the first byte left out continues a character (10xxxxxx), that
  // character goes too.
  size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}
