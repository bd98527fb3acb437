#include "io/FileLayer.h"
#include "text/AsciiText.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string_view>

namespace {

bool Fail(std::string* error) {
  *error = std::strerror(errno);
  return false;
}

// The umask without changing it: /proc tells it; elsewhere set and restore
// it once, before any other thread could be creating files.
mode_t ReadUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

}  // namespace

PosixFileLayer& PosixFileLayer::Instance() {
  static PosixFileLayer layer;
  return layer;
}

int PosixFileLayer::OpenFolder(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail(error);
  return fd;
}

bool PosixFileLayer::Inspect(int folder, const std::string& name, Status* status, std::string* error) {
  struct stat st;
  if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) {
      *status = Status{};
      return true;
    }
    return Fail(error);
  }
  *status = Status{true, S_ISLNK(st.st_mode), st.st_mode, st.st_uid, st.st_gid};
  return true;
}

int PosixFileLayer::CreateTemp(int folder, std::string* name, std::string* error) {
  constexpr std::string_view kPlaceholder = "XXXXXXXX";
  if (!name->ends_with(kPlaceholder)) {
    errno = EINVAL;
    Fail(error);
    return -1;
  }
  thread_local std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::uint32_t draw = random();
    for (std::size_t i = 0; i < kPlaceholder.size(); ++i)
      (*name)[name->size() - kPlaceholder.size() + i] = AsciiText::kLowerHexDigits[(draw >> (4 * i)) & 0xF];
    const int fd = openat(folder, name->c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) {
      if (fd < 0) Fail(error);
      return fd;
    }
  }
  Fail(error);
  return -1;
}

bool PosixFileLayer::SetMode(int fd, mode_t mode, uid_t owner, gid_t group, std::string* error) {
  // Only root may hand a file to another owner; for anyone else the new
  // file is theirs already. A failing chown leaves a usable file, so it
  // is not a reason to fail the write.
  if (geteuid() == 0) (void)!fchown(fd, owner, group);
  return fchmod(fd, mode & 07777) == 0 || Fail(error);
}

bool PosixFileLayer::Write(int fd, const char* data, std::size_t size, std::string* error) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return Fail(error);
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  // No early writeback (sync_file_range): on a virtual disk its requests
  // cost more than they save the sync that completes the file, and the
  // temporary file of a part whose content did not change is removed,
  // which makes writing it back wasted work.
  return true;
}

bool PosixFileLayer::Flush(int fd, std::string* error) { return fsync(fd) == 0 || Fail(error); }

bool PosixFileLayer::Close(int fd, std::string* error) { return ::close(fd) == 0 || Fail(error); }

bool PosixFileLayer::Rename(int folder, const std::string& from, const std::string& to, std::string* error) {
  return renameat(folder, from.c_str(), folder, to.c_str()) == 0 || Fail(error);
}

bool PosixFileLayer::Remove(int folder, const std::string& name) { return unlinkat(folder, name.c_str(), 0) == 0; }

bool PosixFileLayer::SyncFolder(int folder, std::string* error) {
  return fsync(folder) == 0 || errno == EINVAL || Fail(error);  // some file systems cannot
}

mode_t PosixFileLayer::NewFileMode() {
  static const mode_t mask = ReadUmask();
  return 0666 & ~mask;
}

bool PosixFileLayer::MakeFolders(const std::string& folder, std::string* error) {
  for (std::size_t slash = 0; slash != std::string::npos;) {
    slash = folder.find('/', slash + 1);
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return Fail(error);
  }
  return true;
}

bool PosixFileLayer::ListFolder(int folder, std::vector<std::string>* names, std::string* error) {
  // A stream of its own: closedir closes the descriptor it reads, and the
  // folder's own stays with its holder.
  const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Fail(error);
  DIR* dir = fdopendir(fd);
  if (!dir) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return Fail(error);
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names->emplace_back(name);
  }
  closedir(dir);
  return true;
}

bool PosixFileLayer::ReadWhole(const std::string& path, std::string* content, std::string* error) {
  return ReadWholeIn(AT_FDCWD, path, content, error);
}

bool PosixFileLayer::ReadWholeIn(int folder, const std::string& name, std::string* content, std::string* error) {
  // Non-blocking, so that opening a FIFO returns at once instead of
  // waiting for a writer; what it is gets checked before any read.
  const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(error);
  const auto failClosing = [&](int cause, const char* text) {
    ::close(fd);
    errno = cause;
    *error = text ? text : std::strerror(cause);
    return false;
  };
  struct stat status;
  if (::fstat(fd, &status) != 0) return failClosing(errno, nullptr);
  if (S_ISDIR(status.st_mode)) return failClosing(EISDIR, "a folder, not a file");
  if (!S_ISREG(status.st_mode)) return failClosing(EINVAL, "not a regular file");
  content->clear();
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failClosing(errno, nullptr);
    content->append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return true;
}
