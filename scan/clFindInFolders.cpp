#include "scan/clFindInFolders.h"

namespace {

PosixDirectoryLister& SystemLister() {
  static PosixDirectoryLister lister;
  return lister;
}

}  // namespace

// One folder whose listing has been read and is being walked. Reading the
// whole listing first means no directory stays open while we descend.
struct clFindInFolders::OpenFolder {
  std::string path;
  std::vector<ListedEntry> listing;
  std::size_t next = 0;
};

clFindInFolders::clFindInFolders(DirectoryLister* lister)
    : lister_(lister ? lister : &SystemLister()) {}

void clFindInFolders::reset() {
  level_ = 0;
  entries_.clear();
  entries_.shrink_to_fit();
  unlisted_.clear();
  listed_.clear();
  lastFolder_.clear();
  stopRequested = false;
}

bool clFindInFolders::ListInto(const std::string& path, std::vector<OpenFolder>* stack) {
  OpenFolder folder{path, {}, 0};
  FolderId id;
  std::string error;
  if (!lister_->List(path, &folder.listing, &id, &error)) {
    unlisted_.push_back({path, error});
    return false;
  }
  if (!listed_.insert(id).second) return false;  // reached by another path
  stack->push_back(std::move(folder));
  return true;
}

bool clFindInFolders::scanFolder(std::string path) {
  const std::uint16_t startLevel = level_;
  std::vector<OpenFolder> stack;
  ListInto(path, &stack);

  bool completed = true;
  while (!stack.empty()) {
    OpenFolder& top = stack.back();
    if (top.next == top.listing.size()) {
      stack.pop_back();
      if (!stack.empty()) --level_;
      continue;
    }
    if (stopRequested) {
      completed = false;
      break;
    }
    ListedEntry& entry = top.listing[top.next++];
    const bool isFolder = entry.kind != ListedEntry::Kind::kFile;
    entries_.emplace_back(level_, std::move(entry.name), isFolder ? 1 : 0);
    if (entry.kind != ListedEntry::Kind::kFolder) continue;

    std::string child = top.path + "/" + entries_.back().name();
    if (level_ == kMaxLevel) {
      unlisted_.push_back({std::move(child), "folder nested too deeply"});
      continue;
    }
    ++level_;
    if (!ListInto(child, &stack)) --level_;
  }
  level_ = startLevel;
  lastFolder_ = path;
  return completed;
}
