#include "job/HeldFolderLister.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

FolderHandle HeldFolderLister::OpenRoot(const std::string&, FolderId* id, std::string* error) {
  // A descriptor of its own: the scan closes what it opens.
  const int fd = openat(folder_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat self;
  if (fd < 0 || fstat(fd, &self) != 0) {
    *error = std::strerror(errno);
    if (fd >= 0) close(fd);
    return kNoFolder;
  }
  *id = FolderId{static_cast<std::uint64_t>(self.st_dev), static_cast<std::uint64_t>(self.st_ino)};
  return fd;
}
