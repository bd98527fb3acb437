#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/HugePageAllocator.h"
#include "scan/PageDigest.h"

struct sqlite3;

// What the program saw of a folder's pages in the last run that wrote its
// sitemap, so that a page's date can be the day its content last changed.
// An SQLite database (a user may query it with the sqlite3 shell):
//
//   PRAGMA application_id = 0x4e425353 ("NBSS"), user_version = 1
//   CREATE TABLE info (key TEXT PRIMARY KEY, value) WITHOUT ROWID;
//     'digest'    'bytes' or 'text': what the digests below are of
//     'last_run'  when the last run that wrote the sitemap started, Unix seconds
//   CREATE TABLE pages (
//     path     TEXT PRIMARY KEY,  -- below the folder, '/' between names
//     url      TEXT NOT NULL,     -- as written in <loc>, not escaped for XML
//     digest   BLOB NOT NULL,     -- XXH3-128 of the content, 16 bytes
//     changed  INTEGER NOT NULL,  -- when the content took this digest, Unix seconds
//     size     INTEGER NOT NULL,  -- the file's size and modification time (ns)
//     mtime_ns INTEGER NOT NULL   --   when the digest was taken
//   ) WITHOUT ROWID;
//   e.g.  sqlite3 LEDGER "SELECT url, date(changed, 'unixepoch', 'localtime') FROM pages"
//
// Open takes the database's write lock for the whole run (one transaction,
// BEGIN IMMEDIATE) and reads it whole, with one statement, into a compact
// table in path order that answers by path; nothing is written to it
// before Commit, which a run calls once its sitemap is in place. A run that fails, stops
// or is killed leaves the ledger as it was. A ledger that cannot be read,
// is of a newer format, is locked by another run or cannot be written is
// refused, never rebuilt.
class ContentLedger {
 public:
  static constexpr int kFormat = 1;

  struct Page {
    std::string url;
    PageDigest::Value digest{};
    std::int64_t changed = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const Page&) const = default;
  };

  struct Problem {
    enum class Kind {
      kUnreadable,   // not a database, or a damaged one
      kNotLedger,    // a database, but not one of this program's ledgers
      kNewerFormat,  // written by a later version of the program
      kLocked,       // another run holds it
      kUnwritable,   // cannot be created or written
      kNotUpdated,   // the commit failed: the sitemap is written, the ledger is as it was
    };
    Kind kind;
    std::string path;
    std::string cause;  // SQLite's or the system's words, or the format found
  };

  ContentLedger() = default;
  ~ContentLedger();
  ContentLedger(const ContentLedger&) = delete;
  ContentLedger& operator=(const ContentLedger&) = delete;

  // $XDG_STATE_HOME/nubika-sitemap/ledger/<id>.sqlite (~/.local/state when
  // that is unset or not absolute), where <id> is 16 hex digits of a digest
  // of the folder's real path and the base URL.
  static std::string DefaultPath(const std::string& folderRealPath, const std::string& baseUrl);

  // Opens or creates the ledger at path (with its folders when
  // makeFolders), locks it and reads it.
  bool Open(const std::string& path, bool makeFolders);
  const std::string& path() const { return path_; }
  const std::optional<Problem>& problem() const { return problem_; }

  // One page the last run saw, as views into the ledger's memory: valid
  // until the next Open.
  struct Known {
    std::string_view path;
    std::string_view url;
    PageDigest::Value digest{};
    std::int64_t changed = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
  };
  static constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);

  // What the last run saw, numbered from 0 in the order of their paths'
  // bytes; none for a new ledger.
  std::size_t knownCount() const { return records_.size(); }
  Known known(std::size_t index) const;
  // The number of the page at path, kUnknown when the last run did not see
  // it; in any order of asking, quickest when the pages of one folder are
  // asked for one after the other. One thread at a time.
  std::size_t Find(std::string_view path) const;
  std::optional<std::time_t> lastRun() const { return lastRun_; }
  // What the stored digests are of; empty for a new ledger.
  const std::string& digestKind() const { return digestKind_; }

  // Changes inside the open transaction, seen by nobody before Commit.
  bool Put(const std::string& path, const Page& page);
  bool Drop(const std::string& path);
  bool SetRun(std::time_t start, const std::string& digestKind);
  bool Commit();
  // Asks allow as the transaction commits: false fails the commit, and the
  // ledger stays as it was. Call after Open.
  void GateCommit(std::function<bool()> allow);

 private:
  bool Fail(Problem::Kind kind, std::string cause);
  bool FailSql(Problem::Kind kind);
  bool Exec(const char* sql);
  bool CreateSchema();
  bool Read();
  bool ReadPages();
  void IndexPaths();
  std::string_view PathAt(std::size_t index) const;
  std::size_t Lookup(std::string_view path) const;
  void OpenWindow(std::string_view folder, std::size_t number) const;
  void Close();

  std::string path_;
  sqlite3* db_ = nullptr;
  struct Statements;
  Statements* statements_ = nullptr;
  std::optional<Problem> problem_;
  // The pages, each path followed by its URL in text_.
  struct Record {
    std::size_t text = 0;
    std::uint32_t pathSize = 0;
    std::uint32_t urlSize = 0;
    PageDigest::Value digest{};
    std::int64_t changed = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
  };
  // Large ledgers fill tens of megabytes: on huge pages, fewer traps.
  std::vector<Record, HugePageAllocator<Record>> records_;
  std::vector<char, HugePageAllocator<char>> text_;
  // The pages by their paths' hashes, open addressing: 0 for an empty slot,
  // else the page's number + 1 in the low half and the hash's high half
  // above it, so that most slots Find passes cost no look at a path.
  std::vector<std::uint64_t, HugePageAllocator<std::uint64_t>> slots_;
  // The pages below the folder Find was last asked about, when they are
  // few: one pass brings them into the cache, and a search among them
  // touches nothing else.
  struct Window {
    std::string folder;
    std::size_t low = 0, high = 0;
    bool open = false;  // false: too many pages, or none known
  };
  mutable Window window_;
  std::optional<std::time_t> lastRun_;
  std::string digestKind_;
  std::function<bool()> commitGate_;
};
