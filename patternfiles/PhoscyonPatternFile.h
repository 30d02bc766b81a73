// The XML pattern file of the Phoscyon bass-line instrument (.phptr):
//   <Pattern application="Phoscyon" name="..." length="16" shuffle="0" tempo="120">
//       <Step note="-12" octaveUp="0" octaveDown="0" gate="1" accent="0" slide="0"
//             gateLevel="0" accentLevel="0" slideLevel="0"/>
//       ...
//   </Pattern>
// A step's note is note - 25 (the default note is 0) shifted by 12 for each
// octave up or down; gate 0 makes a rest. Written with tinyxml2's indented
// printer and no XML declaration.
#pragma once

#include <string>

#include "patternfiles/PatternFile.h"

std::string encodePhoscyonPattern(const PatternSnapshot& snapshot);

// Needs a top-level "Pattern" element with a length of 1..64; its name (cut
// to 24 bytes) replaces "Default" when not empty. Steps are the first child
// element and then its following "Step" siblings; steps the file lacks keep
// the default note 25. Attributes that are absent or not integers read as 0.
FileError decodePhoscyonPattern(const std::string& text, PatternFile& out);
