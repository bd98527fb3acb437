#pragma once
#include <string>

#include "scan/DirectoryLister.h"

// The real lister, with the scan's root taken from a folder the run already
// holds open instead of from its path: the folder scanned is the folder
// locked and written, even when its path is a link that changes mid-run.
class HeldFolderLister : public PosixDirectoryLister {
 public:
  // folder: an open folder descriptor that outlives the lister.
  explicit HeldFolderLister(int folder) : folder_(folder) {}

  // Opens the held folder anew, whatever path names it.
  FolderHandle OpenRoot(const std::string& path, FolderId* id, OpenError* error) override;

 private:
  int folder_;
};
