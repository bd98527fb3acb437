#include "sitemap/ContentLedger.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr int kApplicationId = 0x4e425353;  // "NBSS"

// The low half of a slot of the index of paths: a page's number + 1.
constexpr std::uint64_t kNumberBits = 0xffffffffu;

std::uint64_t HashOf(std::string_view path) { return std::hash<std::string_view>{}(path); }

std::string StateHome() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return state;
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : "/") + "/.local/state";
}

}  // namespace

struct ContentLedger::Statements {
  sqlite3_stmt* put = nullptr;
  sqlite3_stmt* drop = nullptr;
  ~Statements() {
    sqlite3_finalize(put);
    sqlite3_finalize(drop);
  }
};

ContentLedger::~ContentLedger() { Close(); }

void ContentLedger::Close() {
  delete statements_;
  statements_ = nullptr;
  // An open transaction is rolled back: the ledger stays as it was.
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

std::string ContentLedger::DefaultPath(const std::string& folderRealPath, const std::string& baseUrl) {
  std::string key = folderRealPath;
  key.push_back('\0');
  key += baseUrl;
  const PageDigest::Value digest = PageDigest::Of(key, PageDigest::Kind::kBytes);
  return StateHome() + "/nubika-sitemap/ledger/" + ContentHash::Hex(digest, 8) + ".sqlite";
}

bool ContentLedger::Fail(Problem::Kind kind, std::string cause) {
  if (!problem_) problem_ = Problem{kind, path_, std::move(cause)};
  return false;
}

// The error of the last call, as SQLite words it, with the system's cause
// when there is one.
bool ContentLedger::FailSql(Problem::Kind kind) {
  const int code = sqlite3_extended_errcode(db_);
  const int primary = code & 0xff;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) kind = Problem::Kind::kLocked;
  if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) kind = Problem::Kind::kUnreadable;
  if (kind != Problem::Kind::kNotUpdated &&
      (primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_FULL ||
       (primary == SQLITE_IOERR && kind != Problem::Kind::kUnreadable)))
    kind = Problem::Kind::kUnwritable;
  std::string cause = sqlite3_errmsg(db_);
  const int system = sqlite3_system_errno(db_);
  if (system != 0 && (primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR || primary == SQLITE_FULL ||
                      primary == SQLITE_READONLY))
    cause += std::string(" (") + std::strerror(system) + ")";
  return Fail(kind, cause);
}

bool ContentLedger::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool ContentLedger::Open(const std::string& path, bool makeFolders) {
  Close();
  path_ = path;
  problem_.reset();
  records_.clear();
  text_.clear();
  slots_.clear();
  window_ = {};
  lastRun_.reset();
  digestKind_.clear();
  if (makeFolders) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error) return Fail(Problem::Kind::kUnwritable, "cannot create its folder: " + error.message());
  }
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return Fail(Problem::Kind::kUnwritable, "it is a folder");
  // One thread at a time uses the connection (the one that opens it, then
  // the writer's): SQLite need not lock it at every call.
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    if (!db_) return Fail(Problem::Kind::kUnwritable, "out of memory");
    return FailSql(Problem::Kind::kUnwritable);
  }
  sqlite3_extended_result_codes(db_, 1);
  // Another run that holds the ledger is not waited for.
  sqlite3_busy_timeout(db_, 0);
  // Read through a mapping of the file rather than copied a page at a time
  // (a rerun reads the whole table); writes still go through the journal.
  // Only a wish: where SQLite maps nothing, it reads as before.
  Exec("PRAGMA mmap_size = 1073741824");
  if (!Exec("BEGIN IMMEDIATE")) return FailSql(Problem::Kind::kUnwritable);
  return Read();
}

bool ContentLedger::CreateSchema() {
  const std::string application = "PRAGMA application_id = " + std::to_string(kApplicationId);
  const std::string version = "PRAGMA user_version = " + std::to_string(kFormat);
  return Exec(application.c_str()) && Exec(version.c_str()) &&
         Exec("CREATE TABLE info (key TEXT PRIMARY KEY, value) WITHOUT ROWID") &&
         Exec("CREATE TABLE pages (path TEXT PRIMARY KEY, url TEXT NOT NULL, digest BLOB NOT NULL, "
              "changed INTEGER NOT NULL, size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL) WITHOUT ROWID");
}

bool ContentLedger::Read() {
  const auto single = [&](const char* sql, std::int64_t* value) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) return false;
    const bool ok = sqlite3_step(statement) == SQLITE_ROW;
    if (ok) *value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return ok;
  };
  std::int64_t application = 0, version = 0, tables = 0;
  if (!single("PRAGMA application_id", &application) || !single("PRAGMA user_version", &version) ||
      !single("SELECT count(*) FROM sqlite_schema", &tables))
    return FailSql(Problem::Kind::kUnreadable);
  if (application == 0 && version == 0 && tables == 0) {
    if (!CreateSchema()) return FailSql(Problem::Kind::kUnwritable);
  } else if (application != kApplicationId) {
    return Fail(Problem::Kind::kNotLedger, "an SQLite database of another program");
  } else if (version > kFormat) {
    return Fail(Problem::Kind::kNewerFormat, "format " + std::to_string(version) + ", this program reads format " +
                                                 std::to_string(kFormat));
  } else if (version < 1) {
    return Fail(Problem::Kind::kNotLedger, "format " + std::to_string(version) + " is not known");
  }

  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, "SELECT key, value FROM info", -1, &statement, nullptr) != SQLITE_OK)
    return FailSql(Problem::Kind::kUnreadable);
  int step;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    const std::string key(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)),
                          static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    if (key == "last_run") lastRun_ = static_cast<std::time_t>(sqlite3_column_int64(statement, 1));
    if (key == "digest")
      digestKind_.assign(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)),
                         static_cast<std::size_t>(sqlite3_column_bytes(statement, 1)));
  }
  sqlite3_finalize(statement);
  if (step != SQLITE_DONE) return FailSql(Problem::Kind::kUnreadable);

  if (!ReadPages()) return false;

  statements_ = new Statements;
  if (sqlite3_prepare_v2(db_,
                         "INSERT OR REPLACE INTO pages (path, url, digest, changed, size, mtime_ns) "
                         "VALUES (?, ?, ?, ?, ?, ?)",
                         -1, &statements_->put, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db_, "DELETE FROM pages WHERE path = ?", -1, &statements_->drop, nullptr) != SQLITE_OK)
    return FailSql(Problem::Kind::kUnreadable);
  return true;
}

// Every page in one pass of one statement, its texts packed one after
// the other: no allocation per page.
bool ContentLedger::ReadPages() {
  // Room for every page at once: the count walks the table's pages without
  // reading their rows, and the texts take less than the whole file.
  std::int64_t count = 0, pageCount = 0, pageSize = 0;
  sqlite3_stmt* statement = nullptr;
  for (const auto& [sql, value] : {std::pair{"SELECT count(*) FROM pages", &count},
                                   std::pair{"PRAGMA page_count", &pageCount}, std::pair{"PRAGMA page_size", &pageSize}}) {
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) return FailSql(Problem::Kind::kUnreadable);
    const int step = sqlite3_step(statement);
    *value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    if (step != SQLITE_ROW) return FailSql(Problem::Kind::kUnreadable);
  }
  if (static_cast<std::uint64_t>(count) >= kNumberBits)
    return Fail(Problem::Kind::kUnreadable, std::to_string(count) + " pages, more than this program keeps");
  records_.reserve(static_cast<std::size_t>(count));
  text_.reserve(static_cast<std::size_t>(pageCount * pageSize));
  if (sqlite3_prepare_v2(db_, "SELECT path, url, digest, changed, size, mtime_ns FROM pages ORDER BY path", -1,
                         &statement, nullptr) != SQLITE_OK)
    return FailSql(Problem::Kind::kUnreadable);
  int step;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    const auto text = [&](int column) {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
      return std::string_view(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    };
    const std::string_view path = text(0), url = text(1), digest = text(2);
    Record record;
    if (digest.size() != record.digest.size()) {
      sqlite3_finalize(statement);
      return Fail(Problem::Kind::kUnreadable, "a digest of " + std::to_string(digest.size()) + " bytes in the pages table");
    }
    std::memcpy(record.digest.data(), digest.data(), digest.size());
    record.text = text_.size();
    record.pathSize = static_cast<std::uint32_t>(path.size());
    record.urlSize = static_cast<std::uint32_t>(url.size());
    record.changed = sqlite3_column_int64(statement, 3);
    record.size = sqlite3_column_int64(statement, 4);
    record.mtimeNs = sqlite3_column_int64(statement, 5);
    text_.resize(record.text + path.size() + url.size());
    std::memcpy(text_.data() + record.text, path.data(), path.size());
    std::memcpy(text_.data() + record.text + path.size(), url.data(), url.size());
    records_.push_back(record);
  }
  sqlite3_finalize(statement);
  if (step != SQLITE_DONE) return FailSql(Problem::Kind::kUnreadable);
  // SQLite orders text by its bytes, as Find does; only paths a hand put
  // in as blobs would come in another order.
  const auto byPath = [this](const Record& a, const Record& b) {
    return std::string_view(text_.data() + a.text, a.pathSize) < std::string_view(text_.data() + b.text, b.pathSize);
  };
  if (!std::is_sorted(records_.begin(), records_.end(), byPath)) std::sort(records_.begin(), records_.end(), byPath);
  IndexPaths();
  return true;
}

// A run asks for its pages in the order the folders list them, which is
// no order of their paths: a hash answers each in about one look.
void ContentLedger::IndexPaths() {
  if (records_.empty()) return;
  // At most half full, so that a miss ends at an empty slot soon.
  slots_.assign(std::bit_ceil(records_.size() * 2), 0);
  const std::size_t mask = slots_.size() - 1;
  // Each page's slot lies anywhere in the table: the hashes are taken a
  // few pages ahead and their slots asked for, so that the cache misses
  // overlap instead of coming one after the other.
  constexpr std::size_t kAhead = 16;
  std::uint64_t ahead[kAhead];
  const std::size_t count = records_.size();
  const auto hashAhead = [&](std::size_t n) {
    if (n >= count) return;
    ahead[n % kAhead] = HashOf(PathAt(n));
    __builtin_prefetch(&slots_[ahead[n % kAhead] & mask], 1);
  };
  for (std::size_t n = 0; n < kAhead; ++n) hashAhead(n);
  // In the order of the numbers: of two pages with the same path (a text
  // and a blob), Find answers the first, as the order of paths does.
  for (std::size_t n = 0; n < count; ++n) {
    const std::uint64_t hash = ahead[n % kAhead];
    hashAhead(n + kAhead);
    std::size_t at = hash & mask;
    while (slots_[at] != 0) at = (at + 1) & mask;
    slots_[at] = (hash & ~kNumberBits) | (n + 1);
  }
}

ContentLedger::Known ContentLedger::known(std::size_t index) const {
  const Record& record = records_[index];
  const std::string_view text(text_.data(), text_.size());
  return {.path = text.substr(record.text, record.pathSize),
          .url = text.substr(record.text + record.pathSize, record.urlSize),
          .digest = record.digest,
          .changed = record.changed,
          .size = record.size,
          .mtimeNs = record.mtimeNs};
}

std::string_view ContentLedger::PathAt(std::size_t index) const {
  const Record& record = records_[index];
  return {text_.data() + record.text, record.pathSize};
}

// A folder's pages come to be dated one after the other, in the order the
// folder lists them. The hash finds the first; the pages of its folder,
// which lie together in path order, then form the window the next ones
// are looked for in.
std::size_t ContentLedger::Find(std::string_view path) const {
  const std::string_view folder = path.substr(0, path.rfind('/') + 1);
  if (window_.open && folder == window_.folder) {
    const auto begin = records_.begin() + static_cast<std::ptrdiff_t>(window_.low);
    const auto end = records_.begin() + static_cast<std::ptrdiff_t>(window_.high);
    const auto at = std::partition_point(begin, end, [&](const Record& record) {
      return std::string_view(text_.data() + record.text, record.pathSize) < path;
    });
    const auto number = static_cast<std::size_t>(at - records_.begin());
    return at != end && PathAt(number) == path ? number : kUnknown;
  }
  const std::size_t number = Lookup(path);
  if (number != kUnknown && folder != window_.folder) OpenWindow(folder, number);
  return number;
}

std::size_t ContentLedger::Lookup(std::string_view path) const {
  if (slots_.empty()) return kUnknown;
  const std::uint64_t hash = HashOf(path);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const std::uint64_t slot = slots_[at];
    if (slot == 0) return kUnknown;
    if ((slot & ~kNumberBits) != (hash & ~kNumberBits)) continue;
    const std::size_t number = (slot & kNumberBits) - 1;
    if (PathAt(number) == path) return number;
  }
}

// The pages below folder around the page number, found by walking out
// from it: the walk is what brings them into the cache.
void ContentLedger::OpenWindow(std::string_view folder, std::size_t number) const {
  // More than this many each way, and a window would cost more than it saves.
  constexpr std::size_t kMost = 4096;
  window_.folder.assign(folder);
  window_.open = false;
  std::size_t low = number, high = number + 1;
  while (low > 0 && PathAt(low - 1).starts_with(folder))
    if (number - --low >= kMost) return;
  while (high < records_.size() && PathAt(high).starts_with(folder))
    if (++high - number > kMost) return;
  window_ = {.folder = std::move(window_.folder), .low = low, .high = high, .open = true};
}

bool ContentLedger::Put(const std::string& path, const Page& page) {
  sqlite3_stmt* put = statements_->put;
  sqlite3_reset(put);
  sqlite3_bind_text(put, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
  sqlite3_bind_text(put, 2, page.url.data(), static_cast<int>(page.url.size()), SQLITE_STATIC);
  sqlite3_bind_blob(put, 3, page.digest.data(), static_cast<int>(page.digest.size()), SQLITE_STATIC);
  sqlite3_bind_int64(put, 4, page.changed);
  sqlite3_bind_int64(put, 5, page.size);
  sqlite3_bind_int64(put, 6, page.mtimeNs);
  return sqlite3_step(put) == SQLITE_DONE || FailSql(Problem::Kind::kNotUpdated);
}

bool ContentLedger::Drop(const std::string& path) {
  sqlite3_stmt* drop = statements_->drop;
  sqlite3_reset(drop);
  sqlite3_bind_text(drop, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
  return sqlite3_step(drop) == SQLITE_DONE || FailSql(Problem::Kind::kNotUpdated);
}

bool ContentLedger::SetRun(std::time_t start, const std::string& digestKind) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO info (key, value) VALUES ('last_run', ?), ('digest', ?)", -1,
                         &statement, nullptr) != SQLITE_OK)
    return FailSql(Problem::Kind::kNotUpdated);
  sqlite3_bind_int64(statement, 1, static_cast<sqlite3_int64>(start));
  sqlite3_bind_text(statement, 2, digestKind.data(), static_cast<int>(digestKind.size()), SQLITE_TRANSIENT);
  const bool done = sqlite3_step(statement) == SQLITE_DONE;
  sqlite3_finalize(statement);
  return done || FailSql(Problem::Kind::kNotUpdated);
}

void ContentLedger::GateCommit(std::function<bool()> allow) {
  commitGate_ = std::move(allow);
  // SQLite turns the commit into a rollback when the hook answers non-zero.
  sqlite3_commit_hook(
      db_, [](void* self) { return static_cast<ContentLedger*>(self)->commitGate_() ? 0 : 1; }, this);
}

bool ContentLedger::Commit() {
  if (!Exec("COMMIT")) return FailSql(Problem::Kind::kNotUpdated);
  return true;
}
