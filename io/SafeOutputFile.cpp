#include "io/SafeOutputFile.h"

#include <sys/stat.h>

namespace {

constexpr std::size_t kBufferSize = 1 << 18;

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool SafeOutputFile::Fail(const std::string& reason) {
  // The temporary file is ours alone; the user knows the target.
  if (error_.empty()) error_ = path_ + ": " + reason;
  Abort();
  return false;
}

bool SafeOutputFile::Open(const std::string& path) {
  Abort();
  path_ = path;
  error_.clear();
  std::string reason;
  FileLayer::Status old;
  if (!files_.Inspect(path, &old, &reason)) return Fail(reason);
  const bool replacesFile = old.exists && !old.isSymlink;
  if (replacesFile && !(old.mode & S_IWUSR)) return Fail("the file is write-protected");

  std::string temp = FolderOf(path) + "/." + BaseNameOf(path) + ".XXXXXX";
  fd_ = files_.CreateTemp(&temp, &reason);
  if (fd_ < 0) return Fail(reason);
  tempPath_ = temp;
  // Set-user-ID, set-group-ID and sticky bits are not handed on: a new
  // file must not gain rights nobody gave it.
  const mode_t mode = (replacesFile ? old.mode : files_.NewFileMode()) & 0777;
  if (!files_.SetMode(fd_, mode, old.owner, old.group, &reason)) return Fail(reason);
  buffer_.reserve(kBufferSize);
  return true;
}

bool SafeOutputFile::FlushBuffer() {
  std::string reason;
  if (!buffer_.empty() && !files_.Write(fd_, buffer_.data(), buffer_.size(), &reason))
    return Fail(reason);
  buffer_.clear();
  return true;
}

bool SafeOutputFile::Write(std::string_view text) {
  if (fd_ < 0) return false;
  buffer_.append(text);
  return buffer_.size() < kBufferSize || FlushBuffer();
}

bool SafeOutputFile::Commit() { return CommitAs(path_); }

bool SafeOutputFile::CommitAs(const std::string& path) {
  path_ = path;
  if (fd_ < 0) return false;
  std::string reason;
  if (!FlushBuffer()) return false;
  if (!files_.Flush(fd_, &reason)) return Fail(reason);
  const int fd = fd_;
  fd_ = -1;  // a failed close must not be retried on the same descriptor
  if (!files_.Close(fd, &reason)) return Fail(reason);
  if (!files_.Rename(tempPath_, path_, &reason)) return Fail(reason);
  tempPath_.clear();
  // The new file is complete and in place; a folder that cannot be synced
  // only weakens the guarantee after a power cut, so it is not a failure.
  (void)files_.SyncFolder(FolderOf(path_), &reason);
  return true;
}

void SafeOutputFile::Abort() {
  std::string ignored;
  if (fd_ >= 0) files_.Close(fd_, &ignored);
  fd_ = -1;
  if (!tempPath_.empty()) files_.Remove(tempPath_);
  tempPath_.clear();
  buffer_.clear();
}
