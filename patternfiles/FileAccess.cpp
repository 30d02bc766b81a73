#include "patternfiles/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {

bool writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// A name in the target's folder that no other writer uses: the process id
// and a counter, so that exports from two threads or processes never share
// a temporary file.
std::string temporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".tmp" + std::to_string(static_cast<long>(::getpid())) + "-" +
         std::to_string(counter.fetch_add(1));
}

}  // namespace

FileError readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FileError::CannotOpen;
  struct stat info;
  FileError result = FileError::None;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    result = FileError::CannotOpen;
  } else if (static_cast<unsigned long long>(info.st_size) > kMaxPatternFileSize) {
    result = FileError::TooLarge;
  } else {
    // Read to the end rather than trusting the size: the file may change.
    uint8_t buffer[4096];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof(buffer));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        result = FileError::CannotOpen;
        break;
      }
      if (got == 0) break;
      if (bytes.size() + static_cast<size_t>(got) > kMaxPatternFileSize) {
        result = FileError::TooLarge;
        break;
      }
      bytes.insert(bytes.end(), buffer, buffer + got);
    }
    if (result == FileError::None && bytes.empty()) result = FileError::Empty;
  }
  ::close(fd);
  if (result != FileError::None) bytes.clear();
  return result;
}

bool writeFileAtomically(const std::string& path, const void* data, size_t size) {
  if (path.empty()) return false;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = temporaryName(path);
    // Created with the usual 0666 so the process's umask decides, as for
    // any file the user saves.
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  struct stat existing;
  if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
    ::fchmod(fd, existing.st_mode & 07777);
  bool ok = writeAll(fd, static_cast<const uint8_t*>(data), size);
  ok = (::fsync(fd) == 0) && ok;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}
