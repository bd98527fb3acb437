#include "job/HeldFolderLister.h"

#include <fcntl.h>

FolderHandle HeldFolderLister::OpenRoot(const std::string&, FolderId* id, OpenError* error) {
  // A descriptor of its own: the scan closes what it opens.
  return Opened(openat(folder_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), id, error);
}
