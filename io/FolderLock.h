#pragma once
#include <string>

// An exclusive lock on a folder, held on the folder's own descriptor, so
// that no lock file enters the folder and a killed holder releases it.
// Two runs on one folder never interleave their writes. The descriptor is
// the run's hold on the folder: what it writes goes through it, so the
// folder locked is the folder written, whatever its path leads to later.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Tries once, without waiting. False with the reason in error when the
  // folder cannot be opened or another process holds its lock.
  bool TryLock(const std::string& folder, std::string* error);
  // The locked folder, open for reading; -1 before a lock is held.
  int descriptor() const { return fd_; }

 private:
  int fd_ = -1;
};
