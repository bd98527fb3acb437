#include "scan/clFindInFolders.h"

#include <atomic>

#include "scan/BothCores.h"
#include "scan/ExclusionRules.h"

namespace {

PosixDirectoryLister& SystemLister() {
  static PosixDirectoryLister lister;
  return lister;
}

}  // namespace

// One entry of a listed folder, with what was decided about it when the
// folder was listed (while its handle was surely open).
struct Found {
  std::string name;
  ListedEntry::Kind kind;
  bool left = false;  // excluded: neither recorded nor entered
  std::uint8_t flags = 0;
  std::int64_t modified = 0;
};

// One folder whose listing has been read and is being walked. Reading the
// whole listing first means the folder need not stay open for its files;
// its handle is kept while subfolders remain to be opened through it, and
// for the folder being walked, as the way back up.
struct clFindInFolders::OpenFolder {
  std::string name;  // in its parent; the root's path for the root
  FolderId id;
  bool viaLink = false;
  FolderHandle handle = kNoFolder;
  std::vector<Found> found;
  std::size_t next = 0;
  std::size_t foldersLeft = 0;  // entries from next on that will be entered
  std::size_t pathLength = 0;   // of its path below the root
};

// The state of one scanFolder call: the stack of folders being walked and
// the handles held open for them.
class clFindInFolders::Walk {
 public:
  Walk(clFindInFolders& scan, std::string rootPath) : scan_(scan), lister_(*scan.lister_), rootPath_(std::move(rootPath)) {}
  ~Walk() {
    for (OpenFolder& folder : stack_) Release(folder);
  }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  bool Run(std::stop_token stop) {
    EnterRoot();
    while (!stack_.empty()) {
      OpenFolder& top = stack_.back();
      if (top.next == top.found.size()) {
        Pop();
        continue;
      }
      if (stop.stop_requested()) return false;
      const std::size_t index = top.next++;
      Found& entry = top.found[index];
      if (entry.left) continue;
      const bool enters = Enters(entry.kind);
      if (enters && --top.foldersLeft == 0) --needing_;
      const bool isFolder = entry.kind == ListedEntry::Kind::kFolder || entry.kind == ListedEntry::Kind::kFolderLink;
      scan_.entries_.emplace_back(scan_.level_, std::move(entry.name), isFolder ? 1 : 0, entry.flags, entry.modified);
      if (enters) Descend(entry.kind == ListedEntry::Kind::kFolderLink);
    }
    return true;
  }

 private:
  bool Enters(ListedEntry::Kind kind) const {
    return kind == ListedEntry::Kind::kFolder || (kind == ListedEntry::Kind::kFolderLink && scan_.rules_.followLinks);
  }

  // The path of a name inside the top folder, below the root.
  std::string RelativePath(const std::string& name) const {
    return relative_.empty() ? name : relative_ + "/" + name;
  }

  void Unlisted(const std::string& relativePath, std::string reason) {
    scan_.unlisted_.push_back({relativePath.empty() ? rootPath_ : rootPath_ + "/" + relativePath, std::move(reason)});
  }

  void EnterRoot() {
    FolderId id;
    std::string error;
    const FolderHandle handle = lister_.OpenRoot(rootPath_, &id, &error);
    if (handle == kNoFolder) return Unlisted("", error);
    ++open_;
    if (!scan_.listed_.insert(id).second) {  // scanned already in this run
      Close(handle);
      return;
    }
    Push(handle, id, rootPath_, false, "");
  }

  // The newest record is a folder to enter, found in the top folder.
  void Descend(bool viaLink) {
    const std::string& name = scan_.entries_.back().name();
    const std::string path = RelativePath(name);
    if (scan_.level_ == kMaxLevel) return Unlisted(path, "folder nested too deeply");
    const std::size_t parent = stack_.size() - 1;
    std::string error;
    const FolderHandle parentHandle = HandleOf(parent, &error);
    FolderId id;
    const FolderHandle child =
        parentHandle == kNoFolder ? kNoFolder : lister_.OpenChild(parentHandle, name, viaLink, &id, &error);
    if (stack_[parent].foldersLeft == 0) Release(stack_[parent]);  // no more subfolders need it
    if (child == kNoFolder) return Unlisted(path, error);
    ++open_;
    if (!scan_.listed_.insert(id).second) {  // reached by another path already
      Close(child);
      return;
    }
    ++scan_.level_;
    if (!Push(child, id, name, viaLink, path)) --scan_.level_;
  }

  // Lists an opened folder, decides about each entry and walks it next.
  bool Push(FolderHandle handle, const FolderId& id, const std::string& name, bool viaLink,
            const std::string& path) {
    std::vector<ListedEntry> listing;
    std::string error;
    if (!lister_.List(handle, &listing, &error)) {
      Close(handle);
      Unlisted(path, error);
      return false;
    }
    OpenFolder folder{name, id, viaLink, handle, {}, 0, 0, path.size()};
    folder.found.reserve(listing.size());
    std::vector<Found*> pages;
    for (ListedEntry& entry : listing) {
      Found& found = folder.found.emplace_back(Found{std::move(entry.name), entry.kind});
      found.left = IsExcluded(path, found);
      if (found.left) continue;
      if (Enters(found.kind)) ++folder.foldersLeft;
      if (found.kind == ListedEntry::Kind::kFile) {
        found.flags = clCompositionFolder::kRegular;
        if (IsPage(found)) pages.push_back(&found);
      }
    }
    LearnAboutPages(handle, pages);
    relative_ = path;
    if (folder.foldersLeft > 0) ++needing_;
    stack_.push_back(std::move(folder));
    KeepWithinBudget();
    return true;
  }

  bool IsExcluded(const std::string& folderPath, const Found& found) {
    const ExclusionRules* rules = scan_.rules_.exclusions;
    if (!rules || rules->empty()) return false;
    const bool isFolder = found.kind == ListedEntry::Kind::kFolder || found.kind == ListedEntry::Kind::kFolderLink;
    entryPath_.assign(folderPath);
    if (!entryPath_.empty()) entryPath_ += '/';
    entryPath_ += found.name;
    return rules->Excludes(entryPath_, isFolder);
  }

  // Only pages cost a look at the file, and only when asked for.
  bool IsPage(const Found& file) const {
    const Rules& rules = scan_.rules_;
    return (rules.readModified || rules.checkNoindex) && rules.isPage && rules.isPage(file.name, scan_.level_);
  }

  void LearnAboutPages(FolderHandle folder, const std::vector<Found*>& pages) {
    if (scan_.rules_.readModified)
      for (Found* page : pages) lister_.ModifiedTime(folder, page->name, &page->modified);
    if (!scan_.rules_.checkNoindex) return;
    // Reading pages is the slow part: both cores read, each taking the next
    // page until none is left.
    std::atomic<std::size_t> next{0};
    const auto check = [&] {
      for (std::size_t i = next++; i < pages.size(); i = next++)
        if (lister_.PageSaysNoindex(folder, pages[i]->name)) pages[i]->flags |= clCompositionFolder::kNoindex;
    };
    constexpr std::size_t kWorthASecondThread = 4;
    if (pages.size() < kWorthASecondThread) return check();
    bothCores_.Run(check);
  }

  void Pop() {
    // Going back up, the folder above is reopened as the ".." of the one
    // left, which costs one step whatever the depth, as long as a folder
    // above will still open subfolders.
    if (stack_.size() > 1 && needing_ > 0) {
      OpenFolder& top = stack_.back();
      OpenFolder& parent = stack_[stack_.size() - 2];
      if (parent.handle == kNoFolder && top.handle != kNoFolder && !top.viaLink) {
        FolderId id;
        std::string ignored;
        const FolderHandle up = lister_.OpenChild(top.handle, "..", false, &id, &ignored);
        if (up != kNoFolder && id == parent.id) {
          parent.handle = up;
          ++open_;
        } else if (up != kNoFolder) {
          lister_.Close(up);
        }
      }
    }
    Release(stack_.back());
    stack_.pop_back();
    if (stack_.empty()) return;
    --scan_.level_;
    relative_.resize(stack_.back().pathLength);
  }

  // The handle of the folder at depth, opened again from the nearest open
  // folder above it when it was released. Every step is checked against
  // the identity recorded when the folder was first opened.
  FolderHandle HandleOf(std::size_t depth, std::string* error) {
    if (stack_[depth].handle != kNoFolder) return stack_[depth].handle;
    std::size_t from = depth;
    while (from > 0 && stack_[from - 1].handle == kNoFolder) --from;
    FolderHandle current = from > 0 ? stack_[from - 1].handle : kNoFolder;
    bool borrowed = from > 0;  // current belongs to the stack, not to us
    for (std::size_t i = from; i <= depth; ++i) {
      FolderId id;
      FolderHandle next = i == 0 ? lister_.OpenRoot(rootPath_, &id, error)
                                 : lister_.OpenChild(current, stack_[i].name, stack_[i].viaLink, &id, error);
      if (!borrowed && current != kNoFolder) lister_.Close(current);
      borrowed = false;
      if (next != kNoFolder && !(id == stack_[i].id)) {
        lister_.Close(next);
        next = kNoFolder;
        *error = "the folder was replaced while the scan ran";
      }
      if (next == kNoFolder) return kNoFolder;
      current = next;
    }
    stack_[depth].handle = current;
    ++open_;
    KeepWithinBudget();
    return current;
  }

  // Releases the handles of the outermost folders beyond the budget; they
  // are opened again should they still be needed.
  void KeepWithinBudget() {
    for (std::size_t i = 0; open_ > kMaxOpenFolders && i + 1 < stack_.size(); ++i) Release(stack_[i]);
  }

  void Release(OpenFolder& folder) {
    if (folder.handle == kNoFolder) return;
    Close(folder.handle);
    folder.handle = kNoFolder;
  }

  void Close(FolderHandle handle) {
    lister_.Close(handle);
    --open_;
  }

  clFindInFolders& scan_;
  DirectoryLister& lister_;
  const std::string rootPath_;
  std::vector<OpenFolder> stack_;
  std::string relative_;   // the top folder's path below the root
  std::string entryPath_;  // an entry's, reused: asked for every entry
  int open_ = 0;
  int needing_ = 0;  // folders with subfolders still to open
  BothCores bothCores_;
};

clFindInFolders::clFindInFolders(DirectoryLister* lister) : lister_(lister ? lister : &SystemLister()) {}

void clFindInFolders::reset() {
  level_ = 0;
  entries_.clear();
  entries_.shrink_to_fit();
  unlisted_.clear();
  listed_.clear();
  lastFolder_.clear();
}

bool clFindInFolders::scanFolder(std::string path, std::stop_token stop) {
  const std::uint16_t startLevel = level_;
  bool completed;
  {
    Walk walk(*this, path);
    completed = walk.Run(stop);
  }
  level_ = startLevel;
  lastFolder_ = path;
  return completed;
}
