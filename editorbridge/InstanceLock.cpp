#include "editorbridge/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "editorbridge/SharedBlockLayout.h"

namespace {

// The next number this process hands out. Hosts create instances on one
// thread, but an atomic costs nothing and keeps two racing constructions
// apart.
std::atomic<int> g_nextNumber{0};

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

int InstanceLock::tryLock(int n) {
  const std::string path = instanceLockPath(n);
  // A few rounds: the file we open may be removed by its releasing holder
  // right after we open it, and then the lock we get is on a dead file.
  for (int round = 0; round < 3; ++round) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat opened;
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_uid != geteuid()) {
      close(fd);  // someone else's file (or a link): not a number we can use
      return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      return -1;  // a live instrument holds n
    }
    struct stat current;
    if (lstat(path.c_str(), &current) == 0 && sameFile(opened, current)) return fd;
    close(fd);
  }
  return -1;
}

void InstanceLock::unlock(int n, int fd) {
  if (fd < 0) return;
  // Removed while still locked: whoever opened the old file before the
  // removal finds it gone after taking the lock and tries again.
  unlink(instanceLockPath(n).c_str());
  close(fd);
}

InstanceLock::InstanceLock() {
  int n = g_nextNumber.fetch_add(1);
  const int first = n;
  for (int tries = 0; tries < kMaxTries; ++tries) {
    m_fd = tryLock(n);
    if (m_fd >= 0) {
      m_number = n;
      return;
    }
    // Taken by a live process: the counter moves past it, so the next
    // instrument of this process does not try it again.
    n = g_nextNumber.fetch_add(1);
  }
  m_number = first;
}

InstanceLock::~InstanceLock() { unlock(m_number, m_fd); }
