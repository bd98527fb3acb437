#pragma once
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "scan/DirectoryLister.h"
#include "scan/EntryList.h"
#include "scan/FileStamp.h"
#include "scan/FolderIdSet.h"
#include "scan/ScanRules.h"
#include "scan/clCompositionFolder.h"

// Walks a folder tree and records every file and folder in depth-first
// pre-order, each with its level, bare name and folder flag. It selects
// nothing unless told to leave things out; the writer chooses files by
// extension.
//
// Every folder is opened through its open parent without following links,
// so a folder swapped for a link during the scan cannot lead it out of the
// tree; links to folders are recorded but not entered unless links are to
// be followed. A real folder is listed at most once per scan, so every tree
// ends in time linear in its size, and only a few folders are held open
// at a time whatever the depth. Folders that cannot be listed add no
// records and are kept in unlistedFolders() with the reason; so are those
// whose listing broke off, with the entries read before recorded.
//
// A folder that cannot be opened for want of a descriptor is not one that
// cannot be listed: the readers ahead let go of theirs, the walk holds
// fewer folders open and tries again, down to the two descriptors it
// needs; failing that, the scan gives up (failure()).
//
// With more than one reader in the rules, worker threads read the folders
// the walk will enter next while it records the ones before; the records
// are the same as with one.
class clFindInFolders {
 public:
  struct UnlistedFolder {
    std::string path;
    std::string reason;
    // Its listing broke off part way: the entries read before are recorded.
    bool partly = false;
  };
  // Reading threads the system would not give.
  struct ReaderShortfall {
    int asked = 0;
    int started = 0;
    std::string reason;
  };
  // What the exclusions left out: folders (never entered, so what they
  // hold is not known), pages (files the rules' isPage takes; every file
  // when there is none) and other entries.
  struct Excluded {
    std::size_t folders = 0;
    std::size_t pages = 0;
    std::size_t others = 0;
  };

  using Rules = ScanRules;

  // The deepest level a record can carry; a folder there is not listed.
  static constexpr std::uint16_t kMaxLevel = 65535;
  // Folders the walk holds open at once, the root's included; the readers
  // ahead of it hold a few more, as many as the descriptor limit allows.
  static constexpr int kMaxOpenFolders = 6;

  // The threads a scan with this many readers starts to read folders ahead
  // of the walk, as the descriptor limit allows (before the system is asked
  // for them).
  static int ReadersAhead(int readers);

  // Uses the real file system unless a lister is given; the lister must
  // outlive the scanner.
  explicit clFindInFolders(DirectoryLister* lister = nullptr);

  // Back to the state just after construction (the rules stay).
  void reset();
  void setLevel(std::uint16_t level) { level_ = level; }
  std::uint16_t getLevel() const { return level_; }
  // Set while the list is empty (after construction or reset()).
  void setRules(Rules rules);

  // Appends the records of the folder's whole subtree. Returns false when it
  // stopped because stop was requested (checked before each entry) or gave
  // up (failure()), true otherwise (also when the folder could not be
  // listed). The list is closed when it returns, however it ends, so that
  // a reader of the records on another thread never waits for good.
  bool scanFolder(std::string path, std::stop_token stop = {});

  // A copy of the list, as callers that keep it need.
  std::vector<clCompositionFolder> getEntries() const { return {entries_.begin(), entries_.end()}; }
  // The list itself, for readers that only walk or count it.
  const EntryList& entries() const { return entries_; }
  // For an EntryList::Reader, which may take the records on another
  // thread while scanFolder appends them. With the rules' readLinks, each
  // page's head links lie beside its record (EntryList::Reader::links()).
  EntryList& entries() { return entries_; }
  // With the rules' readStamps, a copy of each entry's size and
  // modification time by its place in entries(), valid where the entry
  // isStamped(); else empty. Kept beside the records in the list
  // (EntryList::Reader::stamp()), so that a scan that needs none pays
  // nothing for them.
  std::vector<FileStamp> stamps() const;
  const std::vector<UnlistedFolder>& unlistedFolders() const { return unlisted_; }
  // The folder the scan gave up at, with the reason, when it ran out of
  // descriptors with none left to let go of: its records are incomplete.
  const std::optional<UnlistedFolder>& failure() const { return failure_; }
  // Set when reading threads asked for could not be started (the records
  // are the same; the scan was slower).
  const std::optional<ReaderShortfall>& readerShortfall() const { return shortfall_; }
  const Excluded& excluded() const { return excluded_; }
  const std::string& lastFolder() const { return lastFolder_; }

 private:
  struct OpenFolder;
  class Walk;

  DirectoryLister* lister_;
  Rules rules_;
  std::uint16_t level_ = 0;
  EntryList entries_;
  std::vector<UnlistedFolder> unlisted_;
  std::optional<UnlistedFolder> failure_;
  std::optional<ReaderShortfall> shortfall_;
  Excluded excluded_;
  FolderIdSet listed_;
  std::string lastFolder_;
};
