#pragma once
#include <string>

// An exclusive lock on a folder, held on the folder's own descriptor, so
// that no lock file enters the folder and a killed holder releases it.
// Two runs on one folder never interleave their writes.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Tries once, without waiting. False with the system's error number
  // when the folder cannot be opened or another process holds its lock.
  bool TryLock(const std::string& folder, int* errorNumber);
  // Whether TryLock's error number means that another process holds it.
  static bool IsHeldElsewhere(int errorNumber);

 private:
  int fd_ = -1;
};
