#include "editorbridge/PrivateFiles.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace PrivateFiles {
namespace {

void report(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

void refuse(const char* path, const char* what) {
  std::printf("VornixVST > refusing %s: %s\n", path, what);
  std::fflush(stdout);
}

bool ownedBy(const struct stat& info, mode_t type, mode_t permissions) {
  return (info.st_mode & S_IFMT) == type && info.st_uid == geteuid() && (info.st_mode & 07777) == permissions;
}

// The creation diagnostics: the generic line, then one for the cause.
void reportFifoError(int error) {
  report("VornixVST >  ERROR FIFO creation failed : ");
  switch (error) {
    case ENOENT:
      report("A component of the path prefix specified by path does not name an existing directory or path is an "
             "empty string.");
      break;
    case EACCES:
      report("A component of the path prefix denies search permission, or write permission is denied on the parent "
             "directory of the FIFO to be created.");
      break;
    case EEXIST:
      report("The named file already exists.");
      break;
    case ENOTDIR:
      report("A component of the path prefix is not a directory.");
      break;
    case ENOSPC:
      report("The directory that would contain the new file cannot be extended or the file system is out of "
             "file-allocation resources.");
      break;
    case EROFS:
      report("The named file resides on a read-only file system.");
      break;
    case ENAMETOOLONG:
      report("The length of the path argument exceeds {PATH_MAX} or a pathname component is longer than {NAME_MAX}.");
      break;
    case ELOOP:
      report("A loop exists in symbolic links encountered during resolution of the path argument.");
      break;
    default:
      break;
  }
}

bool writeAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

bool isPrivateFifo(const char* path) {
  struct stat info;
  return lstat(path, &info) == 0 && ownedBy(info, S_IFIFO, 0600);
}

bool createFifo(const char* path) {
  if (mkfifo(path, 0600) == 0) {
    // Our entry in the sticky /tmp: nobody else can swap it before the
    // mode is settled against the umask.
    chmod(path, 0600);
    return true;
  }
  const int error = errno;
  reportFifoError(error);
  if (error != EEXIST) return false;
  if (!isPrivateFifo(path)) {
    refuse(path, "not a FIFO of ours with permissions 0600");
    return false;
  }
  return true;
}

int openFifo(const char* path) {
  const int fd = open(path, O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP) refuse(path, "a symbolic link");
    return -1;
  }
  // What was opened is what counts: the name may have changed since the
  // FIFO was created.
  struct stat info;
  if (fstat(fd, &info) != 0 || !ownedBy(info, S_IFIFO, 0600)) {
    refuse(path, "not a FIFO of ours with permissions 0600");
    close(fd);
    return -1;
  }
  return fd;
}

int writeProgram(const char* path, const unsigned char* image, size_t size) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
  if (fd < 0 && errno == EEXIST) {
    // A program file left by an earlier instrument with our number is
    // replaced; anything else in its place is not ours to remove or run.
    struct stat info;
    if (lstat(path, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
      refuse(path, "not a program file of ours");
      return -1;
    }
    unlink(path);
    fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
  }
  if (fd < 0) return -1;
  struct stat written;
  const bool ok = writeAll(fd, image, size) && fchmod(fd, 0700) == 0 && fstat(fd, &written) == 0;
  close(fd);
  if (!ok) return -1;
  // The descriptor the program is executed through: the file we just wrote,
  // whatever happens to its name later.
  const int readFd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (readFd < 0) return -1;
  struct stat reopened;
  if (fstat(readFd, &reopened) != 0 || reopened.st_dev != written.st_dev || reopened.st_ino != written.st_ino) {
    refuse(path, "replaced while it was written");
    close(readFd);
    return -1;
  }
  return readFd;
}

}  // namespace PrivateFiles
