#include "editorbridge/EditorProcess.h"

#include <errno.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>

extern char** environ;

namespace {

void writeLine(const char* line) {
  // write(2) is async-signal-safe; stdio is not, between fork and exec.
  const ssize_t ignored = write(STDOUT_FILENO, line, std::strlen(line));
  (void)ignored;
}

// Closes descriptors [from, to] in the child.
void closeRange(int from, int to, int limit) {
  if (from > to) return;
#ifdef SYS_close_range
  if (syscall(SYS_close_range, static_cast<unsigned>(from), static_cast<unsigned>(to), 0u) == 0) return;
#endif
  for (int fd = from; fd <= to && fd < limit; ++fd) close(fd);
}

[[noreturn]] void runChild(int programFd, char* const argv[], int limit) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // Nothing of the host's leaks into the editor: not every host opens its
  // descriptors close-on-exec. The program's own descriptor is closed by
  // the exec (it is close-on-exec).
  closeRange(3, programFd - 1, limit);
  closeRange(programFd + 1, INT_MAX, limit);
  writeLine("VornixVST > starting child process !\n");
  fexecve(programFd, argv, environ);
  writeLine("VornixVST > error : child process can't start \n");
  _exit(127);
}

}  // namespace

EditorProcess::~EditorProcess() { running(); }

bool EditorProcess::start(int programFd, char* const argv[]) {
  if (m_pid > 0 || programFd < 0) return false;
  // Worked out before the fork: sysconf is not async-signal-safe.
  struct rlimit files;
  const int limit = getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 65536
                        ? static_cast<int>(files.rlim_cur)
                        : 65536;
  const pid_t pid = fork();
  if (pid == 0) runChild(programFd, argv, limit);
  if (pid < 0) return false;
  m_pid = pid;
  return true;
}

bool EditorProcess::running() {
  if (m_pid <= 0) return false;
  int status = 0;
  const pid_t result = waitpid(m_pid, &status, WNOHANG);
  if (result == 0) return true;
  if (result < 0 && errno == EINTR) return true;
  // Reaped now, or already gone (a host that ignores SIGCHLD has its
  // children reaped by the system).
  m_pid = -1;
  return false;
}

void EditorProcess::finish(int timeoutMs) {
  for (int waited = 0; waited < timeoutMs && running(); waited += 5) usleep(5000);
  if (!running()) return;
  kill(m_pid, SIGKILL);
  int status = 0;
  while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
  }
  m_pid = -1;
}
