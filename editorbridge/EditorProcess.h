// The editor program as a child process: started once, reaped when it ends.
//
// Hosts are multi-threaded, so between fork and exec the child makes only
// async-signal-safe calls (raw writes for its diagnostics), closes every
// descriptor it inherited from the host except the program's own, and
// executes the program through the descriptor it was written with, so
// what runs is exactly what we wrote.
#pragma once

#include <sys/types.h>

class EditorProcess {
 public:
  EditorProcess() = default;
  ~EditorProcess();
  EditorProcess(const EditorProcess&) = delete;
  EditorProcess& operator=(const EditorProcess&) = delete;

  // Starts the program behind programFd with the null-terminated argv.
  // False when fork failed (the child reports a failed exec itself).
  bool start(int programFd, char* const argv[]);
  // Reaps the child if it has ended; true while it still runs.
  bool running();
  // Gives the child up to timeoutMs to end by itself (it was told to quit),
  // then ends it, and reaps it either way.
  void finish(int timeoutMs);

  pid_t pid() const { return m_pid; }

 private:
  pid_t m_pid = -1;
};
