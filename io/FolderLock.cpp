#include "io/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

FolderLock::~FolderLock() {
  if (fd_ >= 0) close(fd_);
}

bool FolderLock::TryLock(const std::string& folder, std::string* error) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *error = folder + ": " + std::strerror(errno);
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = errno == EWOULDBLOCK ? "another run is writing the sitemap of " + folder
                                  : folder + ": " + std::strerror(errno);
    close(fd);
    return false;
  }
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
  return true;
}
