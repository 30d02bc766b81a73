#include "editor/core/PluginLink.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "editorbridge/SharedBlockLayout.h"

PluginLink::~PluginLink() {
  if (block_) munmap(const_cast<uint8_t*>(block_), blockSize_);
  if (uiFd_ >= 0) close(uiFd_);
  if (pluginFd_ >= 0) close(pluginFd_);
}

bool PluginLink::open(int instance, std::string& error) {
  instance_ = instance;
  std::string uiPath = uiFifoPath(instance);
  std::string pluginPath = pluginFifoPath(instance);
  // Read-write on the UI FIFO: opening it for writing alone fails until the
  // instrument has opened its end, which it does only after starting us.
  uiFd_ = ::open(uiPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (uiFd_ < 0) {
    error = uiPath + ": " + std::strerror(errno);
    return false;
  }
  pluginFd_ = ::open(pluginPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (pluginFd_ < 0) {
    error = pluginPath + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool PluginLink::mapBlock() {
  if (block_) return true;
  int fd = shm_open(sharedBlockName(instance_).c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  struct stat st;
  // A block shorter than the layout would fault on reading its end.
  if (fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < SharedBlockLayout::kSize) {
    close(fd);
    return false;
  }
  void* p = mmap(nullptr, SharedBlockLayout::kSize, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (p == MAP_FAILED) return false;
  block_ = static_cast<const uint8_t*>(p);
  blockSize_ = SharedBlockLayout::kSize;
  return true;
}

bool PluginLink::send(const uint8_t* bytes, size_t size) {
  if (uiFd_ < 0) return false;
  ssize_t n;
  do {
    n = write(uiFd_, bytes, size);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(size);
}

bool PluginLink::receive(std::vector<uint8_t>& buffer) {
  uint8_t chunk[4096];
  for (;;) {
    ssize_t n = read(pluginFd_, chunk, sizeof chunk);
    if (n > 0) {
      buffer.insert(buffer.end(), chunk, chunk + n);
      continue;
    }
    if (n == 0) return false;  // every writer has gone
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}
