#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scan/FileStamp.h"
#include "scan/PageHead.h"

// What the scan needs to know of one directory entry.
struct ListedEntry {
  enum class Kind : std::uint8_t {
    kFile,        // resolves to a regular file: a page a server can send
    kFolder,      // a real folder: the scan descends into it
    kFolderLink,  // a symbolic link that resolves to a folder
    kOther,       // a FIFO, socket or device
    kBrokenLink,  // a symbolic link to nothing, or a loop of links
  };
  std::string name;
  Kind kind = Kind::kFile;
};

// Identity of a listed folder, so that a second path to the same folder
// (a bind mount, a followed link) is not listed twice.
struct FolderId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FolderId&) const = default;
};

// Why a folder could not be opened.
struct OpenError {
  std::string reason;  // the system's words
  // The program holds every descriptor it may (EMFILE, ENFILE): nothing is
  // wrong with the folder, and it opens once a descriptor is let go.
  bool outOfDescriptors = false;
};

// An open folder: the real lister's descriptor, a test lister's number.
using FolderHandle = int;
constexpr FolderHandle kNoFolder = -1;

// Opens and lists folders for the scan. A subfolder is opened through its
// open parent, never by a path, so what the scan enters is exactly the
// entry it listed. The scan goes through this interface so that tests can
// stand in for the disk.
class DirectoryLister {
 public:
  virtual ~DirectoryLister() = default;

  // The folder the user named; a link there is followed, since the user
  // chose it. kNoFolder with the reason in error on failure.
  virtual FolderHandle OpenRoot(const std::string& path, FolderId* id, OpenError* error) = 0;
  // The entry name of parent, only while it is a folder. A link is
  // refused unless followLink is set, so a folder that became a link after
  // it was listed cannot lead the scan elsewhere.
  virtual FolderHandle OpenChild(FolderHandle parent, const std::string& name, bool followLink,
                                 FolderId* id, OpenError* error) = 0;
  // Every entry but "." and ".." in the order the system yields them.
  // False with the reason in error when the listing failed; entries then
  // hold what was read before it broke off, perhaps nothing.
  virtual bool List(FolderHandle folder, std::vector<ListedEntry>* entries, std::string* error) = 0;
  virtual void Close(FolderHandle folder) = 0;

  // The size and modification time of the file name in folder (followed
  // if a link); false when they cannot be told.
  virtual bool Stamp(FolderHandle folder, const std::string& name, FileStamp* stamp) = 0;
  // What the head of the page name in folder says of what is wanted:
  // whether it asks robots not to index it, its links. A page that cannot
  // be read says nothing.
  virtual PageHead::Answer ReadPageHead(FolderHandle folder, const std::string& name, PageHead::Wanted wanted) = 0;
};

// The real lister: openat and getdents64, names passed through as bytes.
class PosixDirectoryLister : public DirectoryLister {
 public:
  FolderHandle OpenRoot(const std::string& path, FolderId* id, OpenError* error) override;
  FolderHandle OpenChild(FolderHandle parent, const std::string& name, bool followLink, FolderId* id,
                         OpenError* error) override;
  bool List(FolderHandle folder, std::vector<ListedEntry>* entries, std::string* error) override;
  void Close(FolderHandle folder) override;
  bool Stamp(FolderHandle folder, const std::string& name, FileStamp* stamp) override;
  PageHead::Answer ReadPageHead(FolderHandle folder, const std::string& name, PageHead::Wanted wanted) override;

 protected:
  // fd as a folder handle with its identity, or kNoFolder with the cause
  // (fd < 0: errno's) and fd closed.
  static FolderHandle Opened(int fd, FolderId* id, OpenError* error);
};

// A folder opened by a lister, shared by the scan's walk and the threads
// that read ahead of it; closed when the last holder lets go.
class OpenedFolder {
 public:
  OpenedFolder(DirectoryLister& lister, FolderHandle handle) : lister_(lister), handle_(handle) {}
  ~OpenedFolder() { lister_.Close(handle_); }
  OpenedFolder(const OpenedFolder&) = delete;
  OpenedFolder& operator=(const OpenedFolder&) = delete;
  FolderHandle handle() const { return handle_; }

 private:
  DirectoryLister& lister_;
  const FolderHandle handle_;
};
using SharedFolder = std::shared_ptr<OpenedFolder>;
