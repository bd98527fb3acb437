#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the scan needs to know of one directory entry.
struct ListedEntry {
  enum class Kind : std::uint8_t {
    kFile,        // anything that is not a folder, dangling links included
    kFolder,      // a real folder: the scan descends into it
    kFolderLink,  // a symbolic link that resolves to a folder: recorded, never entered
  };
  std::string name;
  Kind kind = Kind::kFile;
};

// Identity of a listed folder, so that a second path to the same folder
// (a bind mount) is not listed twice.
struct FolderId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FolderId&) const = default;
};

struct FolderIdHash {
  std::size_t operator()(const FolderId& id) const {
    return std::hash<std::uint64_t>()(id.inode * 31 + id.device);
  }
};

// Lists one folder: every entry but "." and "..", in the order the system
// yields them. The scan goes through this interface so that tests can
// stand in for the disk.
class DirectoryLister {
 public:
  virtual ~DirectoryLister() = default;

  // Fills entries and id and returns true, or returns false with the
  // system's reason in error. A listing that fails part way through keeps
  // what it read and still returns true.
  virtual bool List(const std::string& path, std::vector<ListedEntry>* entries,
                    FolderId* id, std::string* error) = 0;
};

// The real lister: opendir/readdir, names passed through as bytes.
class PosixDirectoryLister : public DirectoryLister {
 public:
  bool List(const std::string& path, std::vector<ListedEntry>* entries, FolderId* id,
            std::string* error) override;
};
