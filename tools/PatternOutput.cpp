#include "PatternOutput.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "SmfWriter.h"
#include "patternfiles/AblPatternFile.h"
#include "patternfiles/NativePatternFile.h"
#include "patternfiles/PhoscyonPatternFile.h"

namespace vxtools {
namespace {

constexpr int kTicksPerBeat = 480;
constexpr int kTicksPerStep = kTicksPerBeat / 4;
constexpr int kGateParameter = 8;

std::vector<uint8_t> bytesOf(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// How long the gate stays open, in ticks, at 120 BPM and 44100 Hz: the
// engine closes it when closeAt samples of the step remain, with
// closeAt = offset + samplesPerStep x 0.5263158 x (1 - 0.25 accent) and the
// offset running from +2204 samples (gate 0) to -2204 (gate 1).
int gateTicks(float gate, bool accent) {
  constexpr int kSamplesPerBeat = 22050;
  constexpr int kSamplesPerStep = kSamplesPerBeat / 4;
  const int span = ((kSamplesPerBeat / 4) * 2) / 5;
  const int offset = static_cast<int>(-(2.0f * gate - 1.0f) * static_cast<float>(span));
  const double closeAt = offset + kSamplesPerStep * 0.5263158f * (1.0 - 0.25 * (accent ? 1.0 : 0.0));
  const double ticks = (kSamplesPerStep - closeAt) * kTicksPerBeat / kSamplesPerBeat;
  return std::clamp(static_cast<int>(std::lround(ticks)), 1, kTicksPerStep);
}

}  // namespace

OutputFormat outputFormatOf(const std::string& path, bool abl2) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return OutputFormat::None;
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".pat") return abl2 ? OutputFormat::ABL2 : OutputFormat::ABL3;
  if (abl2) return OutputFormat::None;  // --abl2 names an ABL file
  if (ext == ".303") return OutputFormat::Native;
  if (ext == ".phptr") return OutputFormat::Phoscyon;
  if (ext == ".mid") return OutputFormat::Midi;
  return OutputFormat::None;
}

std::vector<uint8_t> encodeOutput(OutputFormat format, const PatternSnapshot& snapshot) {
  switch (format) {
    case OutputFormat::Native:
      return encodeNativePattern(snapshot);
    case OutputFormat::ABL2:
      return bytesOf(encodeABL2Pattern(snapshot));
    case OutputFormat::ABL3:
      return bytesOf(encodeABL3Pattern(snapshot));
    case OutputFormat::Phoscyon:
      return bytesOf(encodePhoscyonPattern(snapshot));
    case OutputFormat::Midi:
      return patternMidiFile(snapshot);
    case OutputFormat::None:
      break;
  }
  return {};
}

std::vector<uint8_t> patternMidiFile(const PatternSnapshot& snapshot) {
  const Pattern& pattern = snapshot.pattern;
  const float gate = snapshot.values[kGateParameter];
  SmfWriter smf(kTicksPerBeat);
  smf.setTempo(120.0);
  const int n = pattern.getNBStep();
  for (int i = 0; i < n;) {
    const Step* step = pattern.getStep(i);
    if (!isPlayableNote(step->note)) {
      ++i;
      continue;
    }
    const uint8_t key = static_cast<uint8_t>(step->note + kMidiNoteOffset);
    smf.addEvent(static_cast<uint32_t>(i * kTicksPerStep), 0x90, key, step->accent ? 127 : 64);
    // Same-pitch slides run on; the note ends at the last step of the run.
    int last = i;
    while (pattern.getStep(last)->slide && last + 1 < n && pattern.getStep(last + 1)->note == step->note)
      ++last;
    const Step* end = pattern.getStep(last);
    const Step* next = pattern.getStep(last + 1);
    const bool overlap = end->slide && next && isPlayableNote(next->note);
    const int off = overlap ? (last + 1) * kTicksPerStep + kSlideOverlapTicks
                            : last * kTicksPerStep + gateTicks(gate, end->accent);
    smf.addEvent(static_cast<uint32_t>(off), 0x80, key, 0);
    i = last + 1;
  }
  return smf.bytes();
}

}  // namespace vxtools
