#include "scan/DirectoryLister.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

ListedEntry::Kind KindOf(int dirFd, const dirent* entry) {
  unsigned char type = entry->d_type;
  if (type == DT_UNKNOWN) {
    struct stat st;
    if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      return ListedEntry::Kind::kFile;
    type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
  }
  if (type == DT_DIR) return ListedEntry::Kind::kFolder;
  if (type == DT_LNK) {
    struct stat target;
    if (fstatat(dirFd, entry->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode))
      return ListedEntry::Kind::kFolderLink;
  }
  return ListedEntry::Kind::kFile;
}

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

bool PosixDirectoryLister::List(const std::string& path, std::vector<ListedEntry>* entries,
                                FolderId* id, std::string* error) {
  DIR* dir = opendir(path.c_str());
  if (!dir) {
    *error = std::strerror(errno);
    return false;
  }
  const int fd = dirfd(dir);
  struct stat self;
  if (fstat(fd, &self) != 0) {
    *error = std::strerror(errno);
    closedir(dir);
    return false;
  }
  *id = FolderId{static_cast<std::uint64_t>(self.st_dev), static_cast<std::uint64_t>(self.st_ino)};
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    if (!IsDotOrDotDot(entry->d_name))
      entries->push_back(ListedEntry{entry->d_name, KindOf(fd, entry)});
  }
  closedir(dir);
  return true;
}
