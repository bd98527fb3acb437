#pragma once
#include <string>
#include <string_view>

#include "io/FileLayer.h"

// Replaces one file so that readers only ever see the old file or the
// complete new one: the text goes to a temporary file beside it, which is
// synced and renamed over the target. Until Commit succeeds the target is
// not touched; a failure or an abandoned file removes the temporary file.
class SafeOutputFile {
 public:
  explicit SafeOutputFile(FileLayer& files) : files_(files) {}
  ~SafeOutputFile() { Abort(); }
  SafeOutputFile(const SafeOutputFile&) = delete;
  SafeOutputFile& operator=(const SafeOutputFile&) = delete;

  // Fails without creating anything when the target exists with its
  // owner-write bit clear (a write-protected file). The temporary file
  // takes the target's mode and owner, or the mode of a new file.
  bool Open(const std::string& path);
  // Buffered; a failure is reported here or at the latest by Commit.
  bool Write(std::string_view text);
  bool Commit();
  // Puts the file in place under another name of the same folder.
  bool CommitAs(const std::string& path);
  // Drops the temporary file; the target stays as it was.
  void Abort();

  // "path: reason" of the first failure, with the target's path.
  const std::string& error() const { return error_; }

 private:
  bool FlushBuffer();
  bool Fail(const std::string& reason);

  FileLayer& files_;
  std::string path_;
  std::string tempPath_;
  std::string buffer_;
  std::string error_;
  int fd_ = -1;
};
