// The instance number n that names an instrument's shared block, FIFOs and
// editor program file. Numbers come from a process-wide counter, so two
// instruments in one process never share one; and every instrument holds an
// advisory lock on a lock file beside the FIFOs for its whole life, so an
// instrument in another host process (plug-in sandboxes run each plug-in in
// its own process) skips the numbers that are taken and never shares our
// FIFOs or block. The editor program still derives every name from n alone.
#pragma once

class InstanceLock {
 public:
  // Numbers tried before giving up on the lock; the instrument then runs
  // with the counter's number unlocked, as it would without the lock file.
  static constexpr int kMaxTries = 1000;

  // Takes the counter's next free number and locks it.
  InstanceLock();
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  int number() const { return m_number; }
  bool locked() const { return m_fd >= 0; }

  // Locks n if no live process holds it; answers the lock's descriptor, or
  // -1 when n is taken or its lock file is not ours.
  static int tryLock(int n);
  // Releases a lock taken by tryLock and removes its file.
  static void unlock(int n, int fd);

 private:
  int m_number = 0;
  int m_fd = -1;
};
