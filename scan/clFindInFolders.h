#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "scan/DirectoryLister.h"
#include "scan/clCompositionFolder.h"

// Walks a folder tree and records every file and folder in depth-first
// pre-order, each with its level, bare name and folder flag. It selects
// nothing; the writer chooses files by extension.
//
// Symbolic links to folders are recorded as folders but never entered, and
// a real folder is listed at most once per scan, so every tree ends in time
// linear in its size. Folders that cannot be listed add no records and are
// kept in unlistedFolders() with the reason.
class clFindInFolders {
 public:
  struct UnlistedFolder {
    std::string path;
    std::string reason;
  };

  // The deepest level a record can carry; a folder there is not listed.
  static constexpr std::uint16_t kMaxLevel = 65535;

  // Uses the real file system unless a lister is given; the lister must
  // outlive the scanner.
  explicit clFindInFolders(DirectoryLister* lister = nullptr);

  // Back to the state just after construction.
  void reset();
  void setLevel(std::uint16_t level) { level_ = level; }
  std::uint16_t getLevel() const { return level_; }

  // Appends the records of the folder's whole subtree. Returns false when it
  // stopped because stopRequested was set, true otherwise (also when the
  // folder could not be listed).
  bool scanFolder(std::string path);

  // A copy of the list, as callers that keep it need.
  std::vector<clCompositionFolder> getEntries() const { return entries_; }
  // The list itself, for readers that only walk or count it.
  const std::vector<clCompositionFolder>& entries() const { return entries_; }
  const std::vector<UnlistedFolder>& unlistedFolders() const { return unlisted_; }
  const std::string& lastFolder() const { return lastFolder_; }

  // Set from any thread to stop a running scan before its next entry.
  std::atomic<bool> stopRequested{false};

 private:
  struct OpenFolder;
  bool ListInto(const std::string& path, std::vector<OpenFolder>* stack);

  DirectoryLister* lister_;
  std::uint16_t level_ = 0;
  std::vector<clCompositionFolder> entries_;
  std::vector<UnlistedFolder> unlisted_;
  std::unordered_set<FolderId, FolderIdHash> listed_;
  std::string lastFolder_;
};
