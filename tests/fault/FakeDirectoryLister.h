#pragma once
#include <map>
#include <string>
#include <vector>

#include "scan/DirectoryLister.h"

// A folder tree held in memory, for trees the disk cannot give a root
// user: folders that refuse to be listed, listings that break off, trees of
// any shape at any speed.
class FakeDirectoryLister : public DirectoryLister {
 public:
  struct Folder {
    std::vector<ListedEntry> entries;
    std::string error;  // non-empty: the folder cannot be listed
  };

  // Adds a folder at path ("root", "root/a", ...) with its entries.
  void Add(const std::string& path, std::vector<ListedEntry> entries) {
    folders_[path].entries = std::move(entries);
  }
  void Refuse(const std::string& path, const std::string& error) { folders_[path].error = error; }

  bool List(const std::string& path, std::vector<ListedEntry>* entries, FolderId* id,
            std::string* error) override {
    const auto found = folders_.find(path);
    if (found == folders_.end()) {
      *error = "No such file or directory";
      return false;
    }
    if (!found->second.error.empty()) {
      *error = found->second.error;
      return false;
    }
    *entries = found->second.entries;
    // Each distinct path is its own folder.
    *id = FolderId{1, static_cast<std::uint64_t>(std::distance(folders_.begin(), found)) + 1};
    return true;
  }

 private:
  std::map<std::string, Folder> folders_;
};
