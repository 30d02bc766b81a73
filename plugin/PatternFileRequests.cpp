// The editor's export (opcode 32) and import (opcode 33) requests. They run
// on the bridge's timer thread while it owns the instrument's state, so a
// pattern import never replaces steps under a block in progress; the path
// is handed on as the path it is, never to a shell.
//
// The export and import kinds are numbered apart; export kind 1 and any
// kind outside the tables do nothing. The file operations refresh the shared
// block and the displays themselves.
#include "plugin/Tolvane.h"

void Tolvane::performFileRequest(const EditorMessage& message) {
  const std::string& path = message.text;
  const int slot = message.target;
  if (message.opcode == 32) {
    switch (message.kind) {
      case 0: exportPattern(path); break;
      case 2: exportABL2Pattern(path); break;
      case 3: exportABL3Pattern(path); break;
      case 4: exportBank(path); break;
      case 5: exportPhoscyonPattern(path); break;
      default: break;
    }
  } else if (message.opcode == 33) {
    switch (message.kind) {
      case 0: importPattern(path, slot, false); break;
      case 1: importPattern(path, slot, true); break;
      case 2: importABLPattern(path, slot, false); break;
      case 3: importPhoscyonPattern(path, slot); break;
      case 4: importBank(path, -1); break;
      case 5: importABLPattern(path, slot, true); break;
      default: break;
    }
  }
}
