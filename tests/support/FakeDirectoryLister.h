#pragma once
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "scan/DirectoryLister.h"

// A folder tree held in memory, for trees the disk cannot give a root
// user: folders that refuse to be listed, listings that break off, a
// program short of descriptors, trees of any shape at any speed, two paths
// to one folder. Folders are listed in
// exactly the order their entries were given. A folder is known by its
// path ("root", "root/a", ...); a link to a folder is entered, when links
// are followed, as the folder registered under the link's own path. Scans
// may call it from several threads; the tree is set up before.
class FakeDirectoryLister : public DirectoryLister {
 public:
  // Adds a folder at path with its entries.
  void Add(const std::string& path, std::vector<ListedEntry> entries) { Ensure(path).entries = std::move(entries); }
  // Adds one entry; a folder entry gets its own (empty) folder.
  void Add(const std::string& path, const std::string& name, ListedEntry::Kind kind) {
    Ensure(path).entries.push_back({name, kind});
    if (kind == ListedEntry::Kind::kFolder) Ensure(path + "/" + name);
  }
  void File(const std::string& path, const std::string& name) { Add(path, name, ListedEntry::Kind::kFile); }
  void Dir(const std::string& path, const std::string& name) { Add(path, name, ListedEntry::Kind::kFolder); }
  // The folder cannot be opened; error is the reason.
  void Refuse(const std::string& path, const std::string& error) { Ensure(path).error = error; }
  // The folder's listing fails with the system error number after its
  // first entries.
  void BreakOff(const std::string& path, std::size_t entries, int error) {
    Ensure(path).breakOff = BrokenListing{entries, error};
  }
  // Makes path a second way to the folder at other (a bind mount).
  void SameFolder(const std::string& path, const std::string& other) { Ensure(path).id = Ensure(other).id; }

  // Folders that may be open at once, as a descriptor limit allows; an
  // open beyond fails as EMFILE does. 0: no limit.
  int descriptors = 0;

  // Called with each folder's path as it is listed.
  std::function<void(const std::string&)> onList;
  std::vector<std::string> listed;
  // Modification times and pages marked noindex, by the file's path.
  std::map<std::string, std::int64_t> modified;
  std::set<std::string> noindex;
  std::map<std::string, HeadLinks> links;  // by path, for pages whose head has links
  int mostOpen = 0;  // the most folders held open at once
  int outOfDescriptors = 0;  // opens refused for want of a descriptor

  FolderHandle OpenRoot(const std::string& path, FolderId* id, OpenError* error) override {
    std::lock_guard lock(mutex_);
    return Open(path, id, error);
  }
  FolderHandle OpenChild(FolderHandle parent, const std::string& name, bool followLink, FolderId* id,
                         OpenError* error) override {
    std::lock_guard lock(mutex_);
    const std::string& at = open_.at(parent);
    if (name == "..") return Open(at.substr(0, at.rfind('/')), id, error);
    for (const ListedEntry& entry : folders_[at].entries) {
      if (entry.name != name) continue;
      if (entry.kind == ListedEntry::Kind::kFolder || (entry.kind == ListedEntry::Kind::kFolderLink && followLink))
        return Open(at + "/" + name, id, error);
      *error = OpenError{"no longer a folder"};
      return kNoFolder;
    }
    *error = OpenError{"No such file or directory"};
    return kNoFolder;
  }
  bool List(FolderHandle folder, std::vector<ListedEntry>* entries, std::string* error) override {
    std::lock_guard lock(mutex_);
    const std::string path = open_.at(folder);
    listed.push_back(path);
    if (onList) onList(path);
    const Folder& listedFolder = folders_[path];
    *entries = listedFolder.entries;
    if (!listedFolder.breakOff) return true;
    entries->resize(std::min(entries->size(), listedFolder.breakOff->entries));
    *error = std::strerror(listedFolder.breakOff->error);
    return false;
  }
  void Close(FolderHandle folder) override {
    std::lock_guard lock(mutex_);
    open_.erase(folder);
  }
  bool Stamp(FolderHandle folder, const std::string& name, FileStamp* stamp) override {
    std::lock_guard lock(mutex_);
    const auto found = modified.find(open_.at(folder) + "/" + name);
    if (found == modified.end()) return false;
    *stamp = {.modified = found->second};
    return true;
  }
  PageHead::Answer ReadPageHead(FolderHandle folder, const std::string& name, PageHead::Wanted wanted) override {
    std::lock_guard lock(mutex_);
    const std::string path = open_.at(folder) + "/" + name;
    PageHead::Answer answer;
    answer.noindex = wanted.noindex && noindex.count(path) > 0;
    if (const auto found = links.find(path); wanted.links && found != links.end()) answer.links = found->second;
    return answer;
  }

 private:
  struct BrokenListing {
    std::size_t entries;
    int error;
  };
  struct Folder {
    std::vector<ListedEntry> entries;
    std::string error;  // non-empty: the folder cannot be opened
    std::optional<BrokenListing> breakOff;
    FolderId id;
  };

  Folder& Ensure(const std::string& path) {
    auto [it, added] = folders_.try_emplace(path);
    if (added) it->second.id = FolderId{1, nextInode_++};
    return it->second;
  }

  FolderHandle Open(const std::string& path, FolderId* id, OpenError* error) {
    const auto found = folders_.find(path);
    if (found == folders_.end() || !found->second.error.empty()) {
      *error = OpenError{found == folders_.end() ? "No such file or directory" : found->second.error};
      return kNoFolder;
    }
    if (descriptors > 0 && static_cast<int>(open_.size()) >= descriptors) {
      ++outOfDescriptors;
      *error = OpenError{std::strerror(EMFILE), true};
      return kNoFolder;
    }
    *id = found->second.id;
    open_[nextHandle_] = path;
    mostOpen = std::max(mostOpen, static_cast<int>(open_.size()));
    return nextHandle_++;
  }

  // A stop asked for in onList may close folders. A copied tree gets a
  // lock of its own.
  struct Lock : std::recursive_mutex {
    Lock() = default;
    Lock(const Lock&) {}
    Lock& operator=(const Lock&) { return *this; }
  };
  Lock mutex_;
  std::map<std::string, Folder> folders_;
  std::map<FolderHandle, std::string> open_;
  std::uint64_t nextInode_ = 1;
  FolderHandle nextHandle_ = 3;
};
