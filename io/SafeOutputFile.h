#pragma once
#include <string>
#include <string_view>

#include "io/FileLayer.h"

// Replaces one file of an open folder so that readers only ever see the old
// file or the complete new one: the text goes to a temporary file beside
// it, which is synced and renamed over the target. Until Commit succeeds the
// target is not touched; a failure or an abandoned file removes the
// temporary file. Every step goes through the folder's descriptor.
class SafeOutputFile {
 public:
  // folder: an open folder descriptor, which must outlive this object;
  // folderPath names it in errors (empty: the current folder). The temporary files are called
  // tempPrefix + "<process id>-<8 random hex digits>".
  SafeOutputFile(FileLayer& files, int folder, std::string folderPath, std::string tempPrefix)
      : files_(files), folder_(folder), folderPath_(std::move(folderPath)), tempPrefix_(std::move(tempPrefix)) {}
  ~SafeOutputFile() { Abort(); }
  SafeOutputFile(const SafeOutputFile&) = delete;
  SafeOutputFile& operator=(const SafeOutputFile&) = delete;

  // Fails without creating anything when the target exists and is neither
  // a regular file nor a symbolic link (a device, a FIFO, a folder: never
  // renamed over), or is a file with its owner-write bit clear. A link is
  // replaced, never followed. The temporary file takes the target's mode
  // and owner, or the mode of a new file.
  bool Open(const std::string& name);
  // Buffered; a failure is reported here or at the latest by Commit.
  bool Write(std::string_view text);
  bool Commit();
  // Puts the file in place under another name of the same folder.
  bool CommitAs(const std::string& name);
  // Drops the temporary file; the target stays as it was.
  void Abort();

  // "path: reason" of the first failure, with the target's path.
  const std::string& error() const { return error_; }

 private:
  bool FlushBuffer();
  std::string PathOf(const std::string& name) const;
  bool Fail(const std::string& reason);

  FileLayer& files_;
  const int folder_;
  const std::string folderPath_;
  const std::string tempPrefix_;
  std::string name_;
  std::string tempName_;
  std::string buffer_;
  std::string error_;
  int fd_ = -1;
};
