#include "patternfiles/AblPatternFile.h"

#include <algorithm>
#include <cctype>

#include "patternfiles/TextTools.h"

namespace {

const char* const kNoteNames[12] = {"c-", "c#", "d-", "d#", "e-", "f-", "f#", "g-", "g#", "a-", "a#", "b-"};
constexpr double kCutoffScale = 2.4;
constexpr int kGateParameter = 8;
constexpr int kGrooveParameter = 9;
constexpr size_t kMaxNameBytes = 24;

// The eight settings in file order, with the parameters they stand for.
struct Setting {
  const char* name;  // as written
  const char* key;   // what the ABL3 reader looks for in a word
  int parameter;
};
constexpr Setting kSettings[8] = {
    {"Tune", "tune", 2},   {"Cutoff", "cutof", 3},  {"Resonance", "reso", 4},    {"Envmod", "envmod", 5},
    {"Decay", "decay", 6}, {"Accent", "accent", 7}, {"Waveform", "waveform", 1}, {"Volume", "volume", 0},
};

std::string settingsLine(const PatternSnapshot& snapshot, const char* start) {
  std::string line = start;
  for (const Setting& setting : kSettings) {
    double value = snapshot.values[static_cast<size_t>(setting.parameter)];
    if (setting.parameter == 3) value = std::min(value * kCutoffScale, 1.0);
    line += std::string(" ") + setting.name + ": " + formatFixed6(value);
  }
  return line + "\r\n";
}

std::string flag(bool value) { return value ? "1 " : "0 "; }

// The step count of a meta-tag line: the number after its last ':'. A
// negative count has its sign bit cleared, as the format's readers always
// did, which makes it very large (and later 64).
int stepCountOf(const std::string& line) {
  return parseLeadingInt(line.substr(line.rfind(':') + 1)) & 0x7FFFFFFF;
}

void endSettings(std::vector<ParameterChange>& changes) {
  changes.push_back({kGateParameter, 0.5f});
  changes.push_back({kGrooveParameter, 0.0f});
}

void readABL2Settings(const std::string& line, std::vector<ParameterChange>& changes) {
  // "; Tune: v Cutoff: v ...": part p (after the p-th colon) starts with
  // the value of setting p - 1; Volume, the eighth, is not read.
  std::vector<std::string> parts;
  split(line, ':', parts);
  for (size_t p = 1; p <= 7 && p < parts.size(); ++p) {
    double value = parseLeadingDouble(trim(parts[p]).substr(0, 8));
    value = std::clamp(value, 0.0, 1.0);
    const int parameter = kSettings[p - 1].parameter;
    if (parameter == 3) value /= kCutoffScale;
    changes.push_back({parameter, static_cast<float>(value)});
  }
  endSettings(changes);
}

void readABL3Settings(const std::string& line, std::vector<ParameterChange>& changes) {
  // Every word naming a setting applies the number in the word after it,
  // unclamped (the parameter setter clamps).
  std::vector<std::string> words;
  split(line, ' ', words);
  for (size_t w = 0; w + 1 < words.size(); ++w) {
    for (const Setting& setting : kSettings) {
      if (!contains(words[w], setting.key)) continue;
      double value = parseLeadingDouble(words[w + 1]);
      if (setting.parameter == 3) value /= kCutoffScale;
      changes.push_back({setting.parameter, static_cast<float>(value)});
    }
  }
  endSettings(changes);
}

// Index 1..12 of an ABL2 note name ("C-" .. "B-", any case), 0 for none.
int noteIndexOf(char a, char b) {
  for (int i = 0; i < 12; ++i) {
    if (std::tolower(static_cast<unsigned char>(a)) == kNoteNames[i][0] && b == kNoteNames[i][1])
      return i + 1;
  }
  return 0;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A line of nothing but blanks and its line end.
bool isBlankLine(const std::string& line) { return line.find_first_not_of(" \r\n") == std::string::npos; }

// The pattern the step lines fill, made at the first step line with the
// step count known by then.
struct StepReader {
  PatternFile& file;
  int count = 0;
  bool made = false;

  FileError begin(int& stepCount) {
    if (made) return FileError::None;
    // Counts of 0 are refused; 1 is a pattern like any other (our own
    // exporter writes 1-step patterns and must read them back).
    if (stepCount < 1) return FileError::BadStepCount;
    stepCount = std::min(stepCount, Pattern::kMaxSteps);
    file.pattern = Pattern(stepCount);
    made = true;
    return FileError::None;
  }

  // Steps past the pattern's length (a later meta tag may raise the count)
  // are read but not kept.
  void add(long long note, bool gate, bool slide, bool accent) {
    if (gate && (note < 0 || note > kHighestNote)) {
      if (count < file.pattern.getNBStep()) file.disabledSteps.push_back(count);
      note = kRestNote;
    }
    file.pattern.setStepNote(gate ? static_cast<int>(note) : kRestNote, count);
    file.pattern.setStepSlide(slide, count);
    file.pattern.setStepAccent(accent, count);
    ++count;
  }
};

FileError finish(PatternFile& file, StepReader& reader, PatternFile& out) {
  if (!reader.made) return FileError::NoSteps;
  out = std::move(file);
  return FileError::None;
}

}  // namespace

std::string encodeABL2Pattern(const PatternSnapshot& snapshot) {
  const Pattern& pattern = snapshot.pattern;
  std::string text = "; ABL2 Meta tag: " + std::to_string(pattern.getNBStep()) + "\r\n";
  text += settingsLine(snapshot, " ;");
  for (int i = 0; i < pattern.getNBStep(); ++i) {
    const Step* step = pattern.getStep(i);
    // Notes outside 1..60 have no ABL2 name: they go out as rests, as the
    // sequencer plays them.
    const bool playable = isPlayableNote(step->note);
    const int n = playable ? step->note - 1 : 0;
    text += std::string(kNoteNames[n % 12]) + std::to_string(n / 12 + 2) + " " + flag(playable) +
            flag(step->slide) + flag(step->accent) + "\r\n";
  }
  return text;
}

std::string encodeABL3Pattern(const PatternSnapshot& snapshot) {
  const Pattern& pattern = snapshot.pattern;
  std::string text = "; ABL3 Meta tag: " + std::to_string(pattern.getNBStep()) + "\r\n";
  text += settingsLine(snapshot, ";");
  for (int i = 0; i < pattern.getNBStep(); ++i) {
    const Step* step = pattern.getStep(i);
    const bool note = step->note != kRestNote;
    text += std::to_string(note ? step->note - kDefaultNote : 0) + " 0 0 " + flag(step->accent) +
            flag(step->slide) + flag(note) + "\r\n";
  }
  return text;
}

FileError decodeABLPattern(const std::string& text, PatternFile& out) {
  PatternFile file;
  file.format = PatternFormat::ABL2;
  StepReader reader{file};
  int stepCount = 16;
  for (const std::string& raw : textLines(text)) {
    const std::string line = trim(raw);
    if (!line.empty() && line[0] == ';') {
      if (contains(line, "ABL3 Meta tag:")) {
        // An ABL3 file is read again from its start; settings lines met
        // before the tag count too.
        const FileError error = decodeABL3Pattern(text, out);
        if (error == FileError::None)
          out.parameters.insert(out.parameters.begin(), file.parameters.begin(), file.parameters.end());
        return error;
      }
      if (contains(line, "ABL2 Meta tag:")) stepCount = stepCountOf(line);
      if (contains(line, "tune")) readABL2Settings(line, file.parameters);
      continue;
    }
    if (const FileError error = reader.begin(stepCount); error != FileError::None) return error;
    if (reader.count >= stepCount) break;
    // "c#3 1 1 0" is c#3110: note name, octave, gate, slide, accent. Six
    // characters at least (the line end may follow); a shorter line, a
    // blank line, or anything but digits after the name refuses the file.
    const std::string compact = remove_char(line, ' ');
    if (compact.size() < 6) return FileError::BadStepLine;
    const int index = noteIndexOf(compact[0], compact[1]);
    if (index == 0 || !std::all_of(compact.begin() + 2, compact.begin() + 6, isDigit))
      return FileError::BadStepLine;
    const bool gate = compact[3] != '0';
    reader.add(index + 12 * (compact[2] - '0' - 2), gate, compact[4] != '0', compact[5] != '0');
  }
  return finish(file, reader, out);
}

FileError decodeABL3Pattern(const std::string& text, PatternFile& out) {
  PatternFile file;
  file.format = PatternFormat::ABL3;
  StepReader reader{file};
  int stepCount = 16;
  std::vector<std::string> fields;
  for (const std::string& raw : textLines(text)) {
    const std::string line = trim(raw);
    if (!line.empty() && line[0] == ';') {
      if (contains(line, "ABL3 Meta tag:")) stepCount = stepCountOf(line);
      if (contains(line, "tune")) readABL3Settings(line, file.parameters);
      continue;
    }
    if (const FileError error = reader.begin(stepCount); error != FileError::None) return error;
    // Empty lines are skipped, and so are lines of nothing but a line end.
    if (isBlankLine(line)) continue;
    if (reader.count >= stepCount) break;
    split(line, ' ', fields);
    if (fields.size() < 6) return FileError::BadStepLine;
    long long f[6];
    for (int i = 0; i < 6; ++i) f[i] = parseLeadingInt(fields[static_cast<size_t>(i)]);
    long long note = f[0] + kDefaultNote;
    if (f[1] != 0) note -= 12;
    if (f[2] != 0) note += 12;
    reader.add(note, f[5] != 0, f[4] != 0, f[3] != 0);
  }
  return finish(file, reader, out);
}

std::string ablPatternName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = file.rfind('.');
  if (dot == std::string::npos) return "Default";
  return cutPatternName(file.substr(0, dot), kMaxNameBytes);
}
