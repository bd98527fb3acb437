#include "scan/DirectoryLister.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "scan/RobotsMeta.h"

namespace {

ListedEntry::Kind KindOfTarget(int folderFd, const char* name) {
  struct stat target;
  if (fstatat(folderFd, name, &target, 0) != 0) return ListedEntry::Kind::kBrokenLink;  // dangling or a loop
  if (S_ISDIR(target.st_mode)) return ListedEntry::Kind::kFolderLink;
  return S_ISREG(target.st_mode) ? ListedEntry::Kind::kFile : ListedEntry::Kind::kOther;
}

// Only links and file systems without d_type cost a stat.
ListedEntry::Kind KindOf(int folderFd, const char* name, unsigned char type) {
  if (type == DT_UNKNOWN) {
    struct stat st;
    if (fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return ListedEntry::Kind::kOther;
    type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : S_ISREG(st.st_mode) ? DT_REG : DT_FIFO;
  }
  switch (type) {
    case DT_REG: return ListedEntry::Kind::kFile;
    case DT_DIR: return ListedEntry::Kind::kFolder;
    case DT_LNK: return KindOfTarget(folderFd, name);
    default: return ListedEntry::Kind::kOther;
  }
}

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

FolderHandle PosixDirectoryLister::Opened(int fd, FolderId* id, OpenError* error) {
  struct stat self;
  if (fd < 0 || fstat(fd, &self) != 0) {
    const int number = errno;
    *error = OpenError{std::strerror(number), number == EMFILE || number == ENFILE};
    if (fd >= 0) close(fd);
    return kNoFolder;
  }
  *id = FolderId{static_cast<std::uint64_t>(self.st_dev), static_cast<std::uint64_t>(self.st_ino)};
  return fd;
}


FolderHandle PosixDirectoryLister::OpenRoot(const std::string& path, FolderId* id, OpenError* error) {
  return Opened(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), id, error);
}

FolderHandle PosixDirectoryLister::OpenChild(FolderHandle parent, const std::string& name, bool followLink,
                                             FolderId* id, OpenError* error) {
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
  const int fd = openat(parent, name.c_str(), flags);
  if (fd < 0 && !followLink && (errno == ELOOP || errno == ENOTDIR)) {
    *error = OpenError{"no longer a folder (replaced while the scan ran?)"};
    return kNoFolder;
  }
  return Opened(fd, id, error);
}

bool PosixDirectoryLister::List(FolderHandle folder, std::vector<ListedEntry>* entries, std::string* error) {
  // Read straight from the folder's own descriptor: a DIR stream would need
  // a descriptor of its own, and the folder's stays open for its subfolders.
  alignas(8) char buffer[32 * 1024];
  for (;;) {
    const ssize_t size = getdents64(folder, buffer, sizeof buffer);
    if (size < 0) {
      *error = std::strerror(errno);
      return false;
    }
    if (size == 0) return true;
    // Counted first, so that the list grows once per read, not per entry.
    std::size_t count = 0;
    for (ssize_t at = 0; at < size; ++count) at += reinterpret_cast<const dirent64*>(buffer + at)->d_reclen;
    entries->reserve(entries->size() + count);
    for (ssize_t at = 0; at < size;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      at += entry->d_reclen;
      if (!IsDotOrDotDot(entry->d_name))
        entries->push_back(ListedEntry{entry->d_name, KindOf(folder, entry->d_name, entry->d_type)});
    }
  }
}

void PosixDirectoryLister::Close(FolderHandle folder) {
  if (folder >= 0) close(folder);
}

bool PosixDirectoryLister::Stamp(FolderHandle folder, const std::string& name, FileStamp* stamp) {
  struct stat st;
  if (fstatat(folder, name.c_str(), &st, 0) != 0) return false;
  *stamp = {.size = st.st_size,
            .modified = st.st_mtim.tv_sec,
            .nanoseconds = static_cast<std::uint32_t>(st.st_mtim.tv_nsec)};
  return true;
}

PageHead::Answer PosixDirectoryLister::ReadPageHead(FolderHandle folder, const std::string& name,
                                                   PageHead::Wanted wanted) {
  return RobotsMeta::ReadFileHead(folder, name, wanted);
}
