#include "PatternInput.h"

#include <tinyxml2.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "patternfiles/AblPatternFile.h"
#include "patternfiles/FileAccess.h"
#include "patternfiles/NativePatternFile.h"
#include "patternfiles/PhoscyonPatternFile.h"
#include "patternfiles/TextTools.h"
#include "plugin/Tolvane.h"

namespace vxtools {
namespace {

std::string lowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// While alive, whatever is printed on standard output goes to standard error
// instead. The instrument reports on standard output, as it does in a host
// (an editor FIFO left by a crashed host, for one), and those lines must not
// end up in a listing or the JSON a script reads.
class DiagnosticsToStderr {
 public:
  DiagnosticsToStderr() {
    std::fflush(stdout);
    m_saved = dup(STDOUT_FILENO);
    if (m_saved >= 0 && dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
      close(m_saved);
      m_saved = -1;
    }
  }
  ~DiagnosticsToStderr() {
    if (m_saved < 0) return;
    std::fflush(stdout);
    dup2(m_saved, STDOUT_FILENO);
    close(m_saved);
  }
  DiagnosticsToStderr(const DiagnosticsToStderr&) = delete;
  DiagnosticsToStderr& operator=(const DiagnosticsToStderr&) = delete;

 private:
  int m_saved = -1;
};

bool hasAblMetaTag(const std::string& text) {
  for (const std::string& raw : textLines(text)) {
    const std::string line = trim(raw);
    if (starts_with(line, ";") && (contains(line, "ABL2 Meta tag:") || contains(line, "ABL3 Meta tag:")))
      return true;
  }
  return false;
}

bool isPhoscyonXml(const std::string& text) {
  tinyxml2::XMLDocument document;
  return document.Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS &&
         document.FirstChildElement("Pattern") != nullptr;
}

// The ABL formats stand for either ABL2 or ABL3 until the reader decides.
enum class Kind { Unknown, Native, Abl, Phoscyon, Bank };

Kind kindOf(const std::vector<uint8_t>& bytes, const std::string& text, const std::string& path) {
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), "knt3patt", 8) == 0) return Kind::Native;
  if (hasAblMetaTag(text)) return Kind::Abl;
  if (isPhoscyonXml(text)) return Kind::Phoscyon;
  if (bytes.size() >= 3 && bytes[0] == 2 && bytes[1] == 0 && bytes[2] == kFileParameterCount)
    return Kind::Bank;
  const std::string ext = lowerExtension(path);
  if (ext == ".303") return Kind::Native;
  if (ext == ".pat") return Kind::Abl;
  if (ext == ".phptr") return Kind::Phoscyon;
  if (ext == ".b303") return Kind::Bank;
  return Kind::Unknown;
}

VstIntPtr VST_CALL noHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

}  // namespace

FileError loadPatternInput(const std::string& path, PatternInput& input) {
  input = PatternInput();
  if (const FileError error = readWholeFile(path, input.bytes); error != FileError::None) return error;
  const std::string text(input.bytes.begin(), input.bytes.end());
  FileError error = FileError::None;
  switch (kindOf(input.bytes, text, path)) {
    case Kind::Native:
      error = decodeNativePattern(input.bytes.data(), input.bytes.size(), true, input.file);
      break;
    case Kind::Abl:
      error = decodeABLPattern(text, input.file);
      input.file.pattern.setName(ablPatternName(path));
      break;
    case Kind::Phoscyon:
      error = decodePhoscyonPattern(text, input.file);
      break;
    case Kind::Bank:
      input.format = PatternFormat::Bank;
      return FileError::None;
    case Kind::Unknown:
      return FileError::UnknownFormat;
  }
  input.format = input.file.format;
  return error;
}

FreshInstrument::FreshInstrument() {
  DiagnosticsToStderr quiet;
  m_synth = std::make_unique<Tolvane>(noHost);
}

FreshInstrument::~FreshInstrument() {
  DiagnosticsToStderr quiet;
  m_synth.reset();
}

FileError FreshInstrument::load(const PatternInput& input) {
  if (input.format == PatternFormat::Bank)
    return m_synth->restoreState(input.bytes.data(), input.bytes.size()) ? FileError::None
                                                                         : FileError::BadChunk;
  m_synth->applyPatternFile(input.file, -1, true);
  return FileError::None;
}

}  // namespace vxtools
