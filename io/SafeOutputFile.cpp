#include "io/SafeOutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

constexpr std::size_t kBufferSize = 1 << 18;

}  // namespace

std::string SafeOutputFile::PathOf(const std::string& name) const {
  if (folderPath_.empty()) return name;
  return folderPath_.ends_with('/') ? folderPath_ + name : folderPath_ + "/" + name;
}

bool SafeOutputFile::Fail(const std::string& reason) {
  // The temporary file is ours alone; the user knows the target.
  if (error_.empty()) error_ = PathOf(name_) + ": " + reason;
  Abort();
  return false;
}

bool SafeOutputFile::Open(const std::string& name) {
  Abort();
  name_ = name;
  error_.clear();
  std::string reason;
  FileLayer::Status old;
  if (!files_.Inspect(folder_, name, &old, &reason)) return Fail(reason);
  const bool replacesFile = old.exists && !old.isSymlink;
  if (replacesFile && !S_ISREG(old.mode)) return Fail("not a regular file; left as it is");
  if (replacesFile && !(old.mode & S_IWUSR)) return Fail("the file is write-protected");

  std::string temp = tempPrefix_ + std::to_string(getpid()) + "-XXXXXXXX";
  fd_ = files_.CreateTemp(folder_, &temp, &reason);
  if (fd_ < 0) return Fail(reason);
  tempName_ = temp;
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
  // A text as large as the buffer goes straight to the file, uncopied, a
  // buffer's worth at a time.
  if (text.size() >= kBufferSize) {
    if (!FlushBuffer()) return false;
    std::string reason;
    for (std::size_t at = 0; at < text.size(); at += kBufferSize)
      if (!files_.Write(fd_, text.data() + at, std::min(kBufferSize, text.size() - at), &reason)) return Fail(reason);
    return true;
  }
  buffer_.append(text);
  return buffer_.size() < kBufferSize || FlushBuffer();
}

bool SafeOutputFile::Commit() { return CommitAs(name_); }

bool SafeOutputFile::CommitAs(const std::string& name) {
  name_ = name;
  if (fd_ < 0) return false;
  std::string reason;
  if (!FlushBuffer()) return false;
  if (!files_.Flush(fd_, &reason)) return Fail(reason);
  const int fd = fd_;
  fd_ = -1;  // a failed close must not be retried on the same descriptor
  if (!files_.Close(fd, &reason)) return Fail(reason);
  if (!files_.Rename(folder_, tempName_, name_, &reason)) return Fail(reason);
  tempName_.clear();
  // The new file is complete and in place; a folder that cannot be synced
  // only weakens the guarantee after a power cut, so it is not a failure.
  (void)files_.SyncFolder(folder_, &reason);
  return true;
}

void SafeOutputFile::Abort() {
  std::string ignored;
  if (fd_ >= 0) files_.Close(fd_, &ignored);
  fd_ = -1;
  if (!tempName_.empty()) files_.Remove(folder_, tempName_);
  tempName_.clear();
  buffer_.clear();
}
