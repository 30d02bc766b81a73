// The objects the bridge keeps under /tmp: the two FIFOs and the editor
// program file. Their names are predictable (the editor derives them from
// the instance number), so another local user could create them first: a
// FIFO we would share with them, a symbolic link that redirects our writes,
// or a program file of their own that we would execute. Nothing here
// follows a symbolic link, and nothing reuses an object that is not ours:
// a FIFO must be a FIFO owned by us with permissions 0600, the program file
// is created afresh with O_EXCL and executed through the descriptor we
// wrote it with. Anything else is refused with a diagnostic line.
#pragma once

#include <cstddef>

namespace PrivateFiles {

// mkfifo(path, 0600); a FIFO left by an earlier instrument with our number
// is reused when it is ours. Prints the creation diagnostics; false when
// the FIFO cannot be created or the object in its place is refused.
bool createFifo(const char* path);

// Opens a FIFO checked as above for reading and writing (never blocks,
// never waits for the other end), non-blocking and close-on-exec. -1 when
// it cannot be opened or is not ours.
int openFifo(const char* path);

// True when the object at path (not followed) is a FIFO of ours with
// permissions 0600.
bool isPrivateFifo(const char* path);

// Writes the program image to path, replacing a file of ours left from an
// earlier run but refusing anything else, with permissions 0700. Answers a
// read-only, close-on-exec descriptor of the file written, through which
// it is executed, or -1.
int writeProgram(const char* path, const unsigned char* image, size_t size);

}  // namespace PrivateFiles
