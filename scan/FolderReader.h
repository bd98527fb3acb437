#pragma once
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "scan/DirectoryLister.h"
#include "scan/HeadLinks.h"
#include "scan/ScanRules.h"

// One entry of a read folder, with what was decided about it while the
// folder was surely open.
struct FoundEntry {
  std::string name;
  ListedEntry::Kind kind;
  bool left = false;  // excluded: neither recorded nor entered
  std::uint8_t flags = 0;
  std::int64_t modified = 0;
  FileStamp stamp{};  // with the kStamped flag
  std::unique_ptr<HeadLinks> links;  // null when the page has none, or they were not asked for
};

// A folder as the walk takes it over: its listing, decided, and the handle
// it was read through, unless that was closed again.
struct FolderRead {
  SharedFolder folder;
  FolderId id;
  std::vector<FoundEntry> found;
  std::size_t foldersToEnter = 0;
  std::string error;  // why it could not be opened or listed; else empty
  bool outOfDescriptors = false;  // it could not be opened for want of a descriptor
  std::string brokenOff;  // why its listing broke off; found holds what was read before
  bool opened() const { return error.empty(); }
};

// Opens and reads one folder under the scan's rules: lists it, leaves out
// what is excluded, tells which entries are to be entered, learns what the
// rules ask of its pages and, with the whole listing at hand, which page
// stands for the folder. It keeps no state between folders, so any
// number of threads may read through one reader at once, as long as the
// lister allows it.
class FolderReader {
 public:
  FolderReader(DirectoryLister& lister, const ScanRules& rules) : lister_(lister), rules_(rules) {}

  // Whether an entry of this kind is a folder the walk goes into.
  bool Enters(ListedEntry::Kind kind) const {
    return kind == ListedEntry::Kind::kFolder || (kind == ListedEntry::Kind::kFolderLink && rules_.followLinks);
  }

  // Reads an open folder whose path below the root is path and whose
  // entries lie at level. A stop leaves the listing incomplete; the walk
  // does not use it then.
  void Read(FolderHandle folder, const std::string& path, std::uint16_t level, FolderRead* read,
            std::stop_token stop) const;

  // Opens the subfolder name of parent (a link only when it was listed as
  // one to follow) and reads it. The handle is kept in the result when the
  // folder has subfolders to open through it and keepHandle is set.
  FolderRead ReadChild(const OpenedFolder& parent, const std::string& name, bool viaLink,
                       const std::string& path, std::uint16_t level, bool keepHandle, std::stop_token stop) const;

 private:
  bool IsExcluded(const std::string& folderPath, const FoundEntry& found, std::string* entryPath) const;
  bool IsPage(const FoundEntry& file, std::uint16_t level) const;
  void LearnAboutPages(FolderHandle folder, const std::vector<FoundEntry*>& pages, std::stop_token stop) const;
  void MarkFolderPage(std::vector<FoundEntry>& found, std::uint16_t level) const;

  DirectoryLister& lister_;
  const ScanRules& rules_;
};
