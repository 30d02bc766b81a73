// The editor's export (opcode 32) and import (opcode 33) requests. They run
// on the bridge's timer thread while it owns the instrument's state, so a
// pattern import never replaces steps under a block in progress; the path
// is handed on as the path it is, never to a shell.
//
// What each kind runs (the export and import kinds are numbered apart):
//   export 0 exportPattern(path)            import 0 importPattern(path, slot, false)
//   export 2 exportABL2Pattern(path)        import 1 importPattern(path, slot, true)
//   export 3 exportABL3Pattern(path)        import 2 importABLPattern(path, slot, false)
//   export 4 exportBank(path)               import 3 importPhoscyonPattern(path, slot)
//   export 5 exportPhoscyonPattern(path)    import 4 importBank(path, -1)
//   export 1 and other kinds: nothing       import 5 importABLPattern(path, slot, true)
// with the operations (all taking std::string path, int slot, bool
// withParameters as listed) of the pattern-file subsystem, which refresh the
// shared block and the displays themselves. Until that subsystem joins the
// instrument both requests are accepted, consumed and change nothing.
#include "plugin/Tolvane.h"

void Tolvane::performFileRequest(const EditorMessage& message) { (void)message; }
