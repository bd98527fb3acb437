#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "scan/DirectoryLister.h"

// A folder tree held in memory, for trees the disk cannot give a root
// user: folders that refuse to be listed, listings that break off, trees of
// any shape at any speed, two paths to one folder. Folders are listed in
// exactly the order their entries were given.
class FakeDirectoryLister : public DirectoryLister {
 public:
  struct Folder {
    std::vector<ListedEntry> entries;
    std::string error;  // non-empty: the folder cannot be listed
    FolderId id;
  };

  // Adds a folder at path ("root", "root/a", ...) with its entries.
  void Add(const std::string& path, std::vector<ListedEntry> entries) {
    Ensure(path).entries = std::move(entries);
  }
  // Adds one entry; a folder entry gets its own (empty) folder.
  void Add(const std::string& path, const std::string& name, ListedEntry::Kind kind) {
    Ensure(path).entries.push_back({name, kind});
    if (kind == ListedEntry::Kind::kFolder) Ensure(path + "/" + name);
  }
  void File(const std::string& path, const std::string& name) { Add(path, name, ListedEntry::Kind::kFile); }
  void Dir(const std::string& path, const std::string& name) { Add(path, name, ListedEntry::Kind::kFolder); }
  void Refuse(const std::string& path, const std::string& error) { Ensure(path).error = error; }
  // Makes path a second way to the folder at other (a bind mount).
  void SameFolder(const std::string& path, const std::string& other) { Ensure(path).id = Ensure(other).id; }

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
    *id = found->second.id;
    return true;
  }

 private:
  Folder& Ensure(const std::string& path) {
    auto [it, added] = folders_.try_emplace(path);
    if (added) it->second.id = FolderId{1, nextInode_++};
    return it->second;
  }

  std::map<std::string, Folder> folders_;
  std::uint64_t nextInode_ = 1;
};
