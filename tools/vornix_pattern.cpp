// vornix-pattern: moves patterns between the instrument's own files, the
// ABL2, ABL3 and Phoscyon formats, banks and MIDI files, and shows them. It
// reads and writes with the instrument's own codecs and, for the parameter
// values, imports into a freshly constructed instrument, so a conversion is
// exactly what the instrument does when it imports IN into its current
// pattern slot and exports OUT.
//
//   vornix-pattern convert IN OUT [--abl2]
//   vornix-pattern show FILE [--json]
//   vornix-pattern bank list FILE.b303 [--json]
//   vornix-pattern bank extract FILE.b303 INDEX OUT [--abl2]
//   vornix-pattern bank insert FILE.b303 INDEX IN
//
// Exit codes: 0 success; 1 the input is refused (the reason on stderr; no
// output file is created and an existing one is left as it was); 2 bad
// usage; 4 the output cannot be written. Warnings go to stderr too, so that
// --json output on stdout stays valid.
#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "BankRecords.h"
#include "PatternInput.h"
#include "PatternOutput.h"
#include "patternfiles/FileAccess.h"
#include "plugin/Tolvane.h"

namespace {

using namespace vxtools;

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCannotWrite = 4;

int refuse(const std::string& path, const char* reason) {
  std::fprintf(stderr, "vornix-pattern: %s: %s\n", path.c_str(), reason);
  return kExitRefused;
}

int badOutputName(const std::string& path) {
  std::fprintf(stderr,
               "vornix-pattern: %s: the output's extension must be .303, .pat, .phptr or .mid "
               "(--abl2 only with .pat)\n",
               path.c_str());
  return kExitUsage;
}

// Reads `path` and imports it into `fresh`; 0 or the exit code.
int load(const std::string& path, FreshInstrument& fresh, PatternInput& input) {
  FileError error = loadPatternInput(path, input);
  if (error == FileError::None) error = fresh.load(input);
  if (error != FileError::None) return refuse(path, describe(error));
  for (int step : input.file.disabledSteps)
    std::fprintf(stderr, "vornix-pattern: %s: warning: step %d: note out of range, made a rest\n",
                 path.c_str(), step + 1);
  return 0;
}

int writeOutput(const std::string& path, OutputFormat format, const PatternSnapshot& snapshot) {
  const std::vector<uint8_t> bytes = encodeOutput(format, snapshot);
  if (writeFileAtomically(path, bytes.data(), bytes.size())) return 0;
  std::fprintf(stderr, "vornix-pattern: %s: cannot write the file\n", path.c_str());
  return kExitCannotWrite;
}

// The bank at `path` and its records; 0 or the exit code.
int loadBank(const std::string& path, std::vector<uint8_t>& bank, std::vector<BankRecord>& records) {
  if (const FileError error = readWholeFile(path, bank); error != FileError::None)
    return refuse(path, describe(error));
  if (!readBankRecords(bank, records)) return refuse(path, describe(FileError::BadChunk));
  return 0;
}

// Length of the well-formed UTF-8 sequence at text[i] (2..4), or 0.
size_t utf8Sequence(const std::string& text, size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  const size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                        : c >= 0xE0 && c <= 0xEF ? 3
                        : c >= 0xF0 && c <= 0xF4 ? 4
                                                 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  // No overlong forms, no surrogates, nothing above U+10FFFF.
  const unsigned char second = static_cast<unsigned char>(text[i + 1]);
  if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second >= 0xA0) || (c == 0xF0 && second < 0x90) ||
      (c == 0xF4 && second >= 0x90))
    return 0;
  return length;
}

// JSON text: quotes, backslashes and control characters escaped, valid
// UTF-8 kept, any other byte read as Latin-1 so the output stays valid.
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (const size_t length = utf8Sequence(text, i)) {
      out.append(text, i, length);
      i += length - 1;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// The shortest text that reads back as the same float.
std::string jsonNumber(float value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof(text), value).ptr);
}

std::string noteName(int note) {
  static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  if (note == kRestNote) return "rest";
  if (!isPlayableNote(note)) return "?" + std::to_string(note);
  return names[(note - 1) % 12] + std::to_string((note - 1) / 12 + 2);
}

const char* formatName(PatternFormat format) {
  switch (format) {
    case PatternFormat::Native:
      return "native";
    case PatternFormat::ABL2:
      return "abl2";
    case PatternFormat::ABL3:
      return "abl3";
    case PatternFormat::Phoscyon:
      return "phoscyon";
    case PatternFormat::Bank:
      return "bank";
  }
  return "";
}

int convert(const std::string& in, const std::string& out, bool abl2) {
  const OutputFormat format = outputFormatOf(out, abl2);
  if (format == OutputFormat::None) return badOutputName(out);
  FreshInstrument fresh;
  PatternInput input;
  if (const int rc = load(in, fresh, input)) return rc;
  return writeOutput(out, format, fresh.synth().patternSnapshot());
}

int show(const std::string& path, bool json) {
  PatternInput input;
  FreshInstrument fresh;
  if (const int rc = load(path, fresh, input)) return rc;
  Tolvane& synth = fresh.synth();
  const Pattern& pattern = *synth.sequencer().getCurrentPattern();
  if (!json) {
    std::printf("name: %s\nlength: %d steps\nstep  note  slide  accent\n", pattern.getName().c_str(),
                pattern.getNBStep());
    for (int i = 0; i < pattern.getNBStep(); ++i) {
      const Step* step = pattern.getStep(i);
      std::printf("%4d  %-5s %-6s %s\n", i + 1, noteName(step->note).c_str(), step->slide ? "slide" : "-",
                  step->accent ? "accent" : "-");
    }
    return 0;
  }
  std::string text = std::string("{\"format\": \"") + formatName(input.format) +
                     "\", \"name\": " + jsonString(pattern.getName()) +
                     ", \"length\": " + std::to_string(pattern.getNBStep()) + ", \"steps\": [";
  for (int i = 0; i < pattern.getNBStep(); ++i) {
    const Step* step = pattern.getStep(i);
    text += std::string(i ? ", " : "") + "{\"note\": " + std::to_string(step->note) +
            ", \"slide\": " + (step->slide ? "true" : "false") +
            ", \"accent\": " + (step->accent ? "true" : "false") + "}";
  }
  text += "], \"parameters\": [";
  for (int i = 0; i < kFileParameterCount; ++i) text += (i ? ", " : "") + jsonNumber(synth.getParameter(i));
  std::printf("%s]}\n", text.c_str());
  return 0;
}

int bankList(const std::string& path, bool json) {
  std::vector<uint8_t> bank;
  std::vector<BankRecord> records;
  if (const int rc = loadBank(path, bank, records)) return rc;
  if (!json) {
    std::printf("index  steps  name\n");
    for (const BankRecord& r : records) std::printf("%5d  %5d  %s\n", r.index, r.length, r.name.c_str());
    return 0;
  }
  std::string text = "{\"patterns\": [";
  for (size_t i = 0; i < records.size(); ++i) {
    text += std::string(i ? ", " : "") + "{\"index\": " + std::to_string(records[i].index) +
            ", \"name\": " + jsonString(records[i].name) +
            ", \"length\": " + std::to_string(records[i].length) + "}";
  }
  std::printf("%s]}\n", text.c_str());
  return 0;
}

int bankExtract(const std::string& path, int index, const std::string& out, bool abl2) {
  const OutputFormat format = outputFormatOf(out, abl2);
  if (format == OutputFormat::None) return badOutputName(out);
  std::vector<uint8_t> bank;
  std::vector<BankRecord> records;
  if (const int rc = loadBank(path, bank, records)) return rc;
  if (!findBankRecord(records, index)) return refuse(path, "the bank holds no pattern of that index");
  FreshInstrument fresh;
  PatternInput input;
  input.format = PatternFormat::Bank;
  input.bytes = bank;
  if (fresh.load(input) != FileError::None) return refuse(path, describe(FileError::BadChunk));
  fresh.synth().sequencer().selectPattern(index);
  return writeOutput(out, format, fresh.synth().patternSnapshot());
}

int bankInsert(const std::string& path, int index, const std::string& in) {
  std::vector<uint8_t> bank;
  std::vector<BankRecord> records;
  if (const int rc = loadBank(path, bank, records)) return rc;
  const BankRecord* record = findBankRecord(records, index);
  if (!record) return refuse(path, "the bank holds no pattern of that index");
  FreshInstrument fresh;
  PatternInput input;
  if (const int rc = load(in, fresh, input)) return rc;
  const std::vector<uint8_t> updated =
      replaceBankPattern(bank, *record, fresh.synth().patternSnapshot().pattern);
  if (writeFileAtomically(path, updated.data(), updated.size())) return 0;
  std::fprintf(stderr, "vornix-pattern: %s: cannot write the file\n", path.c_str());
  return kExitCannotWrite;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Converts, shows and edits Vornix pattern files (.303), ABL2/ABL3 (.pat) and Phoscyon (.phptr) "
      "patterns and banks (.b303). Exit codes: 0 done, 1 input refused, 2 bad usage, 4 output not "
      "written.",
      "vornix-pattern"};
  app.require_subcommand(1);
  std::string in, out, file;
  int index = 0;
  bool abl2 = false, json = false;
  const auto range = CLI::Range(0, Song::kNumPatterns - 1);

  CLI::App* convertCmd = app.add_subcommand("convert",
                                            "import IN into a fresh instrument's current pattern "
                                            "with its parameters or settings, export OUT "
                                            "(.303, .pat, .phptr or .mid by its extension)");
  convertCmd->add_option("IN", in, "pattern or bank file")->required();
  convertCmd->add_option("OUT", out, "file to write")->required();
  convertCmd->add_flag("--abl2", abl2, "write a .pat file as ABL2 instead of ABL3");

  CLI::App* showCmd = app.add_subcommand("show", "print the pattern (a bank: its current pattern)");
  showCmd->add_option("FILE", file, "pattern or bank file")->required();
  showCmd->add_flag("--json", json, "one JSON object with the format, name, length, steps and parameters");

  CLI::App* bankCmd = app.add_subcommand("bank", "list, extract or replace the patterns of a bank");
  bankCmd->require_subcommand(1);
  CLI::App* listCmd = bankCmd->add_subcommand("list", "index, step count and name of every pattern");
  listCmd->add_option("FILE", file, "bank file")->required();
  listCmd->add_flag("--json", json, "as one JSON object {\"patterns\": [...]}");
  CLI::App* extractCmd = bankCmd->add_subcommand("extract", "write pattern INDEX with the bank's parameters");
  extractCmd->add_option("FILE", file, "bank file")->required();
  extractCmd->add_option("INDEX", index, "pattern index 0..63")->required()->check(range);
  extractCmd->add_option("OUT", out, "file to write (.303, .pat, .phptr or .mid)")->required();
  extractCmd->add_flag("--abl2", abl2, "write a .pat file as ABL2 instead of ABL3");
  CLI::App* insertCmd = bankCmd->add_subcommand("insert",
                                                "replace pattern INDEX with IN's steps, length and "
                                                "name; every other byte stays");
  insertCmd->add_option("FILE", file, "bank file")->required();
  insertCmd->add_option("INDEX", index, "pattern index 0..63")->required()->check(range);
  insertCmd->add_option("IN", in, "pattern file")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);  // --help arrives here too, with a success code
    return rc == 0 ? 0 : kExitUsage;
  }
  if (convertCmd->parsed()) return convert(in, out, abl2);
  if (showCmd->parsed()) return show(file, json);
  if (listCmd->parsed()) return bankList(file, json);
  if (extractCmd->parsed()) return bankExtract(file, index, out, abl2);
  return bankInsert(file, index, in);
}
