// The plain-text pattern files of the ABL2 and ABL3 bass-line instruments
// (.pat). Both have a header line with a meta tag and the step count, a
// settings line and one line per step; lines end with CR LF.
//
// ABL2:  "; ABL2 Meta tag: 16"
//        " ; Tune: 0.500000 Cutoff: 0.225000 ... Volume: 1.000000"
//        "d#3 1 0 1 "   note name and octave, gate, slide, accent
// ABL3:  "; ABL3 Meta tag: 16"
//        "; Tune: 0.500000 Cutoff: 0.225000 ... Volume: 1.000000"
//        "-3 0 0 1 0 1 "   note offset from note 25, octave down, octave up,
//                          accent, slide, gate
//
// Settings map to parameters: Tune 2, Cutoff 3 (written x 2.4, at most 1),
// Resonance 4, Envmod 5, Decay 6, Accent 7, Waveform 1, Volume 0 (read by
// ABL3 only). A settings line read also sets Gate 0.5 and Groove 0.
#pragma once

#include <string>

#include "patternfiles/PatternFile.h"

std::string encodeABL2Pattern(const PatternSnapshot& snapshot);
std::string encodeABL3Pattern(const PatternSnapshot& snapshot);

// Reads either format: a file is ABL3 when a comment line carries
// "ABL3 Meta tag:", otherwise ABL2 (which also reads up to 16 steps of a
// file without any meta tag). The pattern keeps the name "Default": the
// file's name gives it its name (ablPatternName).
FileError decodeABLPattern(const std::string& text, PatternFile& out);
FileError decodeABL3Pattern(const std::string& text, PatternFile& out);

// The name an imported ABL pattern takes from its path: the file name
// without its last extension ("/a/b/my.bass.txt" gives "my.bass"), at most
// 24 bytes; "Default" when the file name has no '.'.
std::string ablPatternName(const std::string& path);
