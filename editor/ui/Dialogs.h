// The editor's small modal dialogs: FLTK's own file chooser (not the desktop
// one, whose nested loop would stop the FIFO from being read), a slot picker
// for imports and the rename prompt. All return an empty answer (or -1) when
// the user cancels.
#pragma once

#include <string>

namespace dialogs {

// An existing file matching `filter` (an FLTK pattern such as
// "Vornix pattern (*.303)").
std::string openFile(const char* title, const char* filter);
// A file to write; `extension` (".303") is added when the name has none, and
// replacing an existing file is confirmed first.
std::string saveFile(const char* title, const char* filter, const char* extension);
// A pattern slot 0..63, offered as 1..64 starting at `initial`.
int askSlot(const char* title, const std::string& fileName, int initial);
// A new pattern name (at most `maxBytes` bytes), starting from `current`;
// false when cancelled.
bool askName(const std::string& current, size_t maxBytes, std::string& name);

}  // namespace dialogs
