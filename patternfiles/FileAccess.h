// Whole-file reads and writes for pattern and bank files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "patternfiles/PatternFile.h"

// No pattern or bank file comes near this; anything larger is refused
// before it is read.
constexpr size_t kMaxPatternFileSize = 1 << 20;

// Reads a whole regular file. A FIFO or device is refused without opening
// it for reading (a FIFO with no writer would block the caller forever).
FileError readWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

// Writes into a temporary file beside `path` and renames it into place, so
// that a failed write (full disk, missing folder) never leaves a truncated
// file under the target's name and an existing file stays as it was. A
// replaced file keeps its permission bits. Returns false when nothing was
// written.
bool writeFileAtomically(const std::string& path, const void* data, size_t size);
