// The output side of vornix-pattern: a file format chosen by the output's
// extension, and the bytes of the current pattern in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "patternfiles/PatternFile.h"

namespace vxtools {

enum class OutputFormat { None, Native, ABL2, ABL3, Phoscyon, Midi };

// .303 native, .pat ABL3 (ABL2 with abl2), .phptr Phoscyon, .mid a Standard
// MIDI File; None for any other extension.
OutputFormat outputFormatOf(const std::string& path, bool abl2);

std::vector<uint8_t> encodeOutput(OutputFormat format, const PatternSnapshot& snapshot);

// The pattern played once at 120 BPM, as the sequencer sends it: MIDI note =
// note + 35, velocity 127 on accents and 64 otherwise, a step of 120 ticks
// (480 per beat). A note lasts as long as the gate ("Gate" and accent) keeps
// it open; a slid note overlaps the next note by kSlideOverlapTicks, or runs
// on into it when both have the same pitch. Rests and notes outside 1..60
// play nothing.
constexpr int kSlideOverlapTicks = 12;
std::vector<uint8_t> patternMidiFile(const PatternSnapshot& snapshot);

}  // namespace vxtools
