#include "io/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

FolderLock::~FolderLock() {
  if (fd_ >= 0) close(fd_);
}

bool FolderLock::IsHeldElsewhere(int errorNumber) { return errorNumber == EWOULDBLOCK; }

bool FolderLock::TryLock(const std::string& folder, int* errorNumber) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *errorNumber = errno;
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *errorNumber = errno;
    close(fd);
    return false;
  }
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
  return true;
}
