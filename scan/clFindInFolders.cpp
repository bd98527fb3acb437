#include "scan/clFindInFolders.h"

#include <sys/resource.h>

#include <algorithm>
#include <optional>

#include "scan/FolderReader.h"
#include "scan/ReadAhead.h"

namespace {

PosixDirectoryLister& SystemLister() {
  static PosixDirectoryLister lister;
  return lister;
}

// Descriptors the rest of the program may hold during a scan: the standard
// streams, the folder's lock, the libraries' own.
constexpr long kKeptForOthers = 16;
// Most folders read ahead that keep their handle for the walk.
constexpr long kMostHandlesAhead = 64;

struct ReaderBudget {
  int workers = 0;
  int handlesAhead = 0;
};

// Each reading thread holds at most two descriptors at once (the folder it
// reads and a parent the walk let go of), the walk too while it reads
// ahead; what is left over keeps handles of folders read ahead. Under a
// tight limit there are fewer workers, or none.
ReaderBudget BudgetFor(int readers) {
  rlimit limit{};
  const long soft = getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY
                        ? kKeptForOthers + clFindInFolders::kMaxOpenFolders + kMostHandlesAhead + 1024
                        : static_cast<long>(limit.rlim_cur);
  const long spare = soft - kKeptForOthers - clFindInFolders::kMaxOpenFolders - 2;
  ReaderBudget budget;
  budget.workers = static_cast<int>(std::clamp<long>(spare / 3, 0, std::max(readers - 1, 0)));
  budget.handlesAhead = static_cast<int>(std::clamp<long>(spare - 2L * budget.workers, 0, kMostHandlesAhead));
  return budget;
}

}  // namespace

// One folder whose listing has been read and is being walked. Reading the
// whole listing first means the folder need not stay open for its files;
// its handle is kept while subfolders remain to be opened through it, and
// for the folder being walked, as the way back up.
struct clFindInFolders::OpenFolder {
  std::string name;  // in its parent; the root's path for the root
  FolderId id;
  bool viaLink = false;
  SharedFolder handle;
  std::vector<FoundEntry> found;
  std::size_t next = 0;
  std::size_t foldersLeft = 0;  // entries from next on that will be entered
  std::size_t pathLength = 0;   // of its path below the root
  // Its subfolders queued to be read ahead, in order, and the next one.
  ReadAhead::Tickets ahead;
  std::size_t nextAhead = 0;
};

// The state of one scanFolder call: the stack of folders being walked and
// the handles held open for them.
class clFindInFolders::Walk {
 public:
  Walk(clFindInFolders& scan, std::string rootPath, std::stop_token stop)
      : scan_(scan), lister_(*scan.lister_), reader_(lister_, scan.rules_), rootPath_(std::move(rootPath)) {
    const ReaderBudget budget = BudgetFor(scan.rules_.readers);
    if (budget.workers > 0) StartReadingAhead(budget, std::move(stop));
  }
  ~Walk() {
    readAhead_.reset();  // no worker reads through the stack's handles any more
    for (OpenFolder& folder : stack_) Release(folder);
  }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  // False when it stopped or gave up.
  bool Run(std::stop_token stop) {
    if (!EnterRoot(stop)) return false;
    while (!stack_.empty()) {
      OpenFolder& top = stack_.back();
      if (top.next == top.found.size()) {
        Pop();
        continue;
      }
      if (stop.stop_requested()) return false;
      const std::size_t index = top.next++;
      FoundEntry& entry = top.found[index];
      if (entry.left) {
        CountExcluded(entry);
        continue;
      }
      const bool enters = reader_.Enters(entry.kind);
      if (enters && --top.foldersLeft == 0) --needing_;
      const bool isFolder = entry.kind == ListedEntry::Kind::kFolder || entry.kind == ListedEntry::Kind::kFolderLink;
      scan_.entries_.Append(scan_.level_, std::move(entry.name), isFolder ? 1 : 0, entry.flags, entry.modified);
      if (scan_.rules_.readStamps) scan_.entries_.StampLast(entry.stamp);
      if (scan_.rules_.readLinks && entry.links) scan_.entries_.LinkLast(std::move(entry.links));
      if (!isFolder && scan_.rules_.filesSeen) scan_.rules_.filesSeen->fetch_add(1, std::memory_order_relaxed);
      if (enters && !Descend(entry.kind == ListedEntry::Kind::kFolderLink, stop)) return false;
    }
    return true;
  }

 private:
  void StartReadingAhead(const ReaderBudget& budget, std::stop_token stop) {
    readAhead_.emplace(reader_, budget.workers, scan_.rules_.startThread, budget.handlesAhead, kMaxLevel,
                       std::move(stop));
    if (!readAhead_->startFailure().empty() && !scan_.shortfall_)
      scan_.shortfall_ = ReaderShortfall{budget.workers, readAhead_->startedWorkers(), readAhead_->startFailure()};
    if (readAhead_->startedWorkers() == 0) readAhead_.reset();
  }

  // The walk goes on alone; every descriptor held for folders read ahead
  // is let go.
  void StopReadingAhead() {
    for (OpenFolder& folder : stack_) {
      folder.ahead.clear();
      folder.nextAhead = 0;
    }
    readAhead_.reset();
  }

  void CountExcluded(const FoundEntry& entry) {
    Excluded& excluded = scan_.excluded_;
    const ScanRules& rules = scan_.rules_;
    if (entry.kind == ListedEntry::Kind::kFolder || entry.kind == ListedEntry::Kind::kFolderLink)
      ++excluded.folders;
    else if (entry.kind == ListedEntry::Kind::kFile && (!rules.isPage || rules.isPage(entry.name, scan_.level_)))
      ++excluded.pages;
    else
      ++excluded.others;
  }

  // The path of a name inside the top folder, below the root.
  std::string RelativePath(const std::string& name) const {
    return relative_.empty() ? name : relative_ + "/" + name;
  }

  std::string FullPath(const std::string& relativePath) const {
    return relativePath.empty() ? rootPath_ : rootPath_ + "/" + relativePath;
  }

  void Unlisted(const std::string& relativePath, std::string reason, bool partly = false) {
    scan_.unlisted_.push_back({FullPath(relativePath), std::move(reason), partly});
  }

  bool GiveUp(const std::string& relativePath, std::string reason) {
    scan_.failure_ = UnlistedFolder{FullPath(relativePath), std::move(reason)};
    return false;
  }

  // False when the scan gives up.
  bool EnterRoot(std::stop_token stop) {
    FolderRead read;
    OpenError error;
    const FolderHandle handle = lister_.OpenRoot(rootPath_, &read.id, &error);
    if (handle == kNoFolder && error.outOfDescriptors) return GiveUp("", std::move(error.reason));
    if (handle == kNoFolder) {
      Unlisted("", std::move(error.reason));
      return true;
    }
    read.folder = std::make_shared<OpenedFolder>(lister_, handle);
    if (!scan_.listed_.insert(read.id)) return true;  // scanned already in this run
    reader_.Read(handle, "", scan_.level_, &read, stop);
    Push({std::move(read), {}}, rootPath_, false, "");
    return true;
  }

  // The newest record is a folder to enter, found in the top folder. False
  // when the scan gives up.
  bool Descend(bool viaLink, std::stop_token stop) {
    const std::string& name = scan_.entries_.back().name();
    const std::string path = RelativePath(name);
    if (scan_.level_ == kMaxLevel) {
      Unlisted(path, "folder nested too deeply");
      return true;
    }
    const std::size_t parent = stack_.size() - 1;
    std::optional<ReadAhead::Taken> taken = TakeReadAhead(stack_[parent]);
    if (!taken) taken = ReadHere(parent, name, viaLink, path, stop);
    while (taken && taken->read.outOfDescriptors) {
      if (!MakeRoom()) return GiveUp(path, std::move(taken->read.error));
      taken = ReadHere(parent, name, viaLink, path, stop);
    }
    if (stack_[parent].foldersLeft == 0) Release(stack_[parent]);  // no more subfolders need it
    if (!taken) return true;  // reached by another path already
    if (!taken->read.opened()) {
      Unlisted(path, std::move(taken->read.error));
      return true;
    }
    if (!scan_.listed_.insert(taken->read.id)) {
      if (readAhead_) readAhead_->Drop(taken->subfolders);
      return true;
    }
    ++scan_.level_;
    if (!Push(std::move(*taken), name, viaLink, path)) --scan_.level_;
    return true;
  }

  // Lets go of descriptors after an open found none left: all those held
  // for folders read ahead, else one of the walk's own, which from then on
  // holds one folder fewer. False when it holds no more than the top
  // folder: with it the walk needs two descriptors (three while a page is
  // read), and no fewer without it.
  bool MakeRoom() {
    if (readAhead_) {
      StopReadingAhead();
      return true;
    }
    for (std::size_t i = 0; i + 1 < stack_.size(); ++i) {
      if (!stack_[i].handle) continue;
      Release(stack_[i]);
      mostOpen_ = std::max(open_, 1);
      return true;
    }
    return false;
  }

  std::optional<ReadAhead::Taken> TakeReadAhead(OpenFolder& parent) {
    if (!readAhead_ || parent.nextAhead == parent.ahead.size()) return std::nullopt;
    std::shared_ptr<ReadAhead::Ticket> ticket = std::move(parent.ahead[parent.nextAhead++]);
    return readAhead_->Take(*ticket);
  }

  // Opens and reads a subfolder of the folder at depth on this thread;
  // nothing when it was listed already, since then it is not read again.
  std::optional<ReadAhead::Taken> ReadHere(std::size_t depth, const std::string& name, bool viaLink,
                                           const std::string& path, std::stop_token stop) {
    ReadAhead::Taken taken;
    FolderRead& read = taken.read;
    OpenError error;
    const SharedFolder parent = HandleOf(depth, &error);
    const FolderHandle child =
        parent ? lister_.OpenChild(parent->handle(), name, viaLink, &read.id, &error) : kNoFolder;
    if (child == kNoFolder) {
      read.error = std::move(error.reason);
      read.outOfDescriptors = error.outOfDescriptors;
      return taken;
    }
    read.folder = std::make_shared<OpenedFolder>(lister_, child);
    if (scan_.listed_.contains(read.id)) return std::nullopt;
    reader_.Read(child, path, static_cast<std::uint16_t>(scan_.level_ + 1), &read, stop);
    return taken;
  }

  // Takes a folder read into the walk, to be walked next.
  bool Push(ReadAhead::Taken taken, const std::string& name, bool viaLink, const std::string& path) {
    FolderRead& read = taken.read;
    if (!read.opened()) {
      Unlisted(path, std::move(read.error));
      return false;
    }
    if (!read.brokenOff.empty()) Unlisted(path, std::move(read.brokenOff), true);
    OpenFolder folder{name, read.id, viaLink, std::move(read.folder), std::move(read.found), 0,
                      read.foldersToEnter, path.size(), std::move(taken.subfolders), 0};
    if (folder.handle) ++open_;
    relative_ = path;
    if (folder.foldersLeft > 0) ++needing_;
    if (readAhead_ && folder.ahead.empty())
      folder.ahead = readAhead_->QueueSubfolders(folder.handle, folder.found, path, scan_.level_);
    stack_.push_back(std::move(folder));
    KeepWithinBudget();
    return true;
  }

  void Pop() {
    // Going back up, the folder above is reopened as the ".." of the one
    // left, which costs one step whatever the depth, as long as a folder
    // above will still open subfolders.
    if (stack_.size() > 1 && needing_ > 0) {
      OpenFolder& top = stack_.back();
      OpenFolder& parent = stack_[stack_.size() - 2];
      if (!parent.handle && top.handle && !top.viaLink) {
        FolderId id;
        OpenError ignored;
        const FolderHandle up = lister_.OpenChild(top.handle->handle(), "..", false, &id, &ignored);
        if (up != kNoFolder && id == parent.id) {
          parent.handle = std::make_shared<OpenedFolder>(lister_, up);
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
  SharedFolder HandleOf(std::size_t depth, OpenError* error) {
    if (stack_[depth].handle) return stack_[depth].handle;
    std::size_t from = depth;
    while (from > 0 && !stack_[from - 1].handle) --from;
    SharedFolder current = from > 0 ? stack_[from - 1].handle : nullptr;
    for (std::size_t i = from; i <= depth; ++i) {
      FolderId id;
      const FolderHandle next = i == 0 ? lister_.OpenRoot(rootPath_, &id, error)
                                       : lister_.OpenChild(current->handle(), stack_[i].name, stack_[i].viaLink, &id, error);
      if (next == kNoFolder) return nullptr;
      current = std::make_shared<OpenedFolder>(lister_, next);
      if (!(id == stack_[i].id)) {
        *error = OpenError{"the folder was replaced while the scan ran"};
        return nullptr;
      }
    }
    stack_[depth].handle = std::move(current);
    ++open_;
    KeepWithinBudget();
    return stack_[depth].handle;
  }

  // Releases the handles of the outermost folders beyond the budget; they
  // are opened again should they still be needed.
  void KeepWithinBudget() {
    for (std::size_t i = 0; open_ > mostOpen_ && i + 1 < stack_.size(); ++i) Release(stack_[i]);
  }

  // Lets go of a folder's handle; the subfolders queued through it that no
  // worker has begun are read here when the walk gets to them.
  void Release(OpenFolder& folder) {
    if (!folder.handle) return;
    if (readAhead_) readAhead_->Withdraw(folder.ahead);
    folder.handle.reset();
    --open_;
  }

  clFindInFolders& scan_;
  DirectoryLister& lister_;
  const FolderReader reader_;
  const std::string rootPath_;
  std::vector<OpenFolder> stack_;
  std::string relative_;  // the top folder's path below the root
  int open_ = 0;
  int mostOpen_ = kMaxOpenFolders;  // fewer once descriptors ran out
  int needing_ = 0;  // folders with subfolders still to open
  std::optional<ReadAhead> readAhead_;
};

int clFindInFolders::ReadersAhead(int readers) { return BudgetFor(readers).workers; }

clFindInFolders::clFindInFolders(DirectoryLister* lister) : lister_(lister ? lister : &SystemLister()) {}

void clFindInFolders::setRules(Rules rules) {
  rules_ = std::move(rules);
  entries_.KeepBeside(rules_.readStamps, rules_.readLinks);
}

std::vector<FileStamp> clFindInFolders::stamps() const {
  std::vector<FileStamp> stamps;
  if (!rules_.readStamps) return stamps;
  stamps.reserve(entries_.size());
  for (auto record = entries_.begin(); record != entries_.end(); ++record) stamps.push_back(*record.stamp());
  return stamps;
}

void clFindInFolders::reset() {
  level_ = 0;
  entries_.clear();
  unlisted_.clear();
  failure_.reset();
  shortfall_.reset();
  excluded_ = {};
  listed_.clear();
  lastFolder_.clear();
}

bool clFindInFolders::scanFolder(std::string path, std::stop_token stop) {
  const std::uint16_t startLevel = level_;
  bool completed;
  entries_.Open();
  {
    struct Closing {
      EntryList& list;
      ~Closing() { list.Close(); }
    } closing{entries_};
    Walk walk(*this, path, stop);
    completed = walk.Run(stop);
  }
  level_ = startLevel;
  lastFolder_ = path;
  return completed;
}
