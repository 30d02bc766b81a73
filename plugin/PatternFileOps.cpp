// Pattern and bank files: the instrument's side of the codecs in
// patternfiles/. An import reads and checks the whole file first and only
// then changes anything, so a refused file leaves the song and every
// parameter as they were. Patterns are copied into the song's existing
// pattern objects, never replaced, so no step or pattern reference the audio
// thread holds can dangle. Exports go through a temporary file beside the
// target, so a failed write never leaves a truncated file behind.
//
// The operations run on the editor bridge's timer thread, never on the
// audio thread; the editor's requests read and write their files outside the
// moment that changes the instrument (performFileRequest).
#include <cstdio>

#include "patternfiles/AblPatternFile.h"
#include "patternfiles/FileAccess.h"
#include "patternfiles/NativePatternFile.h"
#include "patternfiles/PhoscyonPatternFile.h"
#include "plugin/StateChunk.h"
#include "plugin/Tolvane.h"

namespace {

using TextDecoder = FileError (*)(const std::string&, PatternFile&);

bool readText(const std::string& path, std::string& text) {
  std::vector<uint8_t> bytes;
  if (path.empty() || readWholeFile(path, bytes) != FileError::None) return false;
  text.assign(bytes.begin(), bytes.end());
  return true;
}

bool writeText(const std::string& path, const std::string& text) {
  return writeFileAtomically(path, text.data(), text.size());
}

// Readers: the whole file is read and checked before anything changes; false
// when it is refused.
bool readNativeFile(const std::string& path, bool withParameters, PatternFile& file) {
  std::vector<uint8_t> bytes;
  if (path.empty() || readWholeFile(path, bytes) != FileError::None) return false;
  return decodeNativePattern(bytes.data(), bytes.size(), withParameters, file) == FileError::None;
}

bool readABLFile(const std::string& path, TextDecoder decode, PatternFile& file) {
  std::string text;
  if (!readText(path, text) || decode(text, file) != FileError::None) return false;
  file.pattern.setName(ablPatternName(path));
  if (file.format == PatternFormat::ABL3) {
    for (size_t i = 0; i < file.disabledSteps.size(); ++i)
      std::puts("Vornix > ImportABL3Pattern ERROR : note out of range : step disabled");
  }
  return true;
}

bool readPhoscyonFile(const std::string& path, PatternFile& file) {
  std::string text;
  return readText(path, text) && decodePhoscyonPattern(text, file) == FileError::None;
}

bool readBankFile(const std::string& path, std::vector<uint8_t>& bytes) {
  return !path.empty() && readWholeFile(path, bytes) == FileError::None;
}

}  // namespace

PatternSnapshot Tolvane::patternSnapshot() {
  PatternSnapshot snapshot;
  if (const Pattern* pattern = m_seq.getCurrentPattern()) snapshot.pattern = *pattern;
  for (int i = 0; i < kFileParameterCount; ++i) snapshot.values[static_cast<size_t>(i)] = getParameter(i);
  snapshot.tempo = static_cast<int>(m_seq.m_internalTempo);
  return snapshot;
}

void Tolvane::applyPatternFile(const PatternFile& file, int slot, bool withParameters) {
  // The values go first, so one that acts on the current pattern ("NB STEP")
  // acts on the pattern current before the import.
  if (withParameters) {
    for (const ParameterChange& change : file.parameters) {
      // A file never triggers a pattern change, and the sync type stays the
      // one the user chose.
      if (change.index == kTriggerPattern) continue;
      if (change.index == kSyncTypeParam && m_keepSyncTypeOnImport) continue;
      setParameter(change.index, change.value);
    }
  }
  Song& song = m_seq.song();
  if (slot == -1 || slot == m_seq.m_currentPatternIndex) {
    song.setPattern(m_seq.m_currentPatternIndex, file.pattern);
    m_seq.m_currentPattern = song.getPattern(m_seq.m_currentPatternIndex);
    m_seq.m_currentStep = nullptr;
  } else {
    song.setPattern(slot, file.pattern);  // a slot outside the song is ignored
  }
  // Only the native import lays the step times out again; the others leave
  // steps at i x 0.25 beat (no groove) until the pattern is next laid out.
  switch (file.format) {
    case PatternFormat::Native:
      m_seq.setStepLength();
      updatePluginData();
      updatePatternData();
      updateParameterData();
      break;
    case PatternFormat::ABL2:
    case PatternFormat::ABL3:
      updatePatternData();
      updatePluginData();
      break;
    default:
      updatePluginData();
      updatePatternData();
      break;
  }
  editorUpdateDisplay();
  updateDisplay();
}

std::vector<uint8_t> Tolvane::bankBytes() {
  // The chunk's bytes, built here rather than in the buffer getChunk hands
  // to the host, which the host may still be reading.
  std::array<float, StateChunk::kNumValues> values;
  for (int i = 0; i < StateChunk::kNumValues; ++i) values[static_cast<size_t>(i)] = getParameter(i);
  std::vector<uint8_t> bytes;
  writeStateChunk(values, m_seq.song(), bytes);
  return bytes;
}

void Tolvane::exportPattern(std::string path) {
  if (path.empty() || !m_seq.getCurrentPattern()) return;
  const std::vector<uint8_t> bytes = encodeNativePattern(patternSnapshot());
  writeFileAtomically(path, bytes.data(), bytes.size());
}

void Tolvane::importPattern(std::string path, int slot, bool withParameters) {
  PatternFile file;
  if (readNativeFile(path, withParameters, file)) applyPatternFile(file, slot, withParameters);
}

void Tolvane::exportABL2Pattern(std::string path) {
  if (path.empty() || !m_seq.getCurrentPattern()) return;
  writeText(path, encodeABL2Pattern(patternSnapshot()));
}

void Tolvane::exportABL3Pattern(std::string path) {
  if (path.empty() || !m_seq.getCurrentPattern()) return;
  writeText(path, encodeABL3Pattern(patternSnapshot()));
}

void Tolvane::importABLPattern(std::string path, int slot, bool withParameters) {
  PatternFile file;
  if (readABLFile(path, decodeABLPattern, file)) applyPatternFile(file, slot, withParameters);
}

void Tolvane::importABL3Pattern(std::string path, int slot, bool withParameters) {
  PatternFile file;
  if (readABLFile(path, decodeABL3Pattern, file)) applyPatternFile(file, slot, withParameters);
}

void Tolvane::exportPhoscyonPattern(std::string path) {
  if (path.empty() || !m_seq.getCurrentPattern()) return;
  writeText(path, encodePhoscyonPattern(patternSnapshot()));
}

void Tolvane::importPhoscyonPattern(std::string path, int slot) {
  PatternFile file;
  if (readPhoscyonFile(path, file)) applyPatternFile(file, slot, false);
}

void Tolvane::exportBank(std::string path) {
  if (path.empty() || !m_seq.getCurrentPattern()) return;
  const std::vector<uint8_t> bytes = bankBytes();
  writeFileAtomically(path, bytes.data(), bytes.size());
}

void Tolvane::importBank(std::string path, int) {
  // The chunk restore checks the whole bank before it applies anything.
  std::vector<uint8_t> bytes;
  if (readBankFile(path, bytes)) setChunk(bytes.data(), static_cast<VstInt32>(bytes.size()), false);
}

// The editor's export (opcode 32) and import (opcode 33) requests: the same
// operations as above, with only the change to the instrument (or the copy
// an export writes) inside the owned section. Export kind 1 and kinds
// outside the tables do nothing.
void Tolvane::performFileRequest(const EditorMessage& message, const OwnedSection& owned) {
  const std::string& path = message.text;
  const int slot = message.target;
  if (message.opcode == 32) {
    if (path.empty() || message.kind == 1 || message.kind > 5) return;
    bool current = false;
    PatternSnapshot snapshot;
    std::vector<uint8_t> bank;
    owned([&] {
      current = m_seq.getCurrentPattern() != nullptr;
      if (!current) return;
      if (message.kind == 4) bank = bankBytes();
      else snapshot = patternSnapshot();
    });
    if (!current) return;
    switch (message.kind) {
      case 0: {
        const std::vector<uint8_t> bytes = encodeNativePattern(snapshot);
        writeFileAtomically(path, bytes.data(), bytes.size());
        break;
      }
      case 2: writeText(path, encodeABL2Pattern(snapshot)); break;
      case 3: writeText(path, encodeABL3Pattern(snapshot)); break;
      case 4: writeFileAtomically(path, bank.data(), bank.size()); break;
      case 5: writeText(path, encodePhoscyonPattern(snapshot)); break;
      default: break;
    }
    return;
  }
  if (message.opcode != 33) return;
  PatternFile file;
  bool withParameters = false;
  switch (message.kind) {
    case 0:
    case 1:
      withParameters = message.kind == 1;
      if (!readNativeFile(path, withParameters, file)) return;
      break;
    case 2:
    case 5:
      withParameters = message.kind == 5;
      if (!readABLFile(path, decodeABLPattern, file)) return;
      break;
    case 3:
      if (!readPhoscyonFile(path, file)) return;
      break;
    case 4: {
      std::vector<uint8_t> bytes;
      if (!readBankFile(path, bytes)) return;
      owned([&] { setChunk(bytes.data(), static_cast<VstInt32>(bytes.size()), false); });
      return;
    }
    default:
      return;
  }
  owned([&] { applyPatternFile(file, slot, withParameters); });
}
