#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "sitemap/UrlText.h"

// Why a run wrote nothing, as a code with its data: each program words it
// in its own language. Two codes, kLedgerNotUpdated and
// kRobotsTxtNotUpdated, come with a written sitemap: what failed once the
// sitemap was in place. path is the file or folder it is about, detail a
// second text (the system's reason, a pattern, a URL), the figures what
// the code says they are.
struct RunProblem {
  // New codes go at the end; each program words every one.
  enum class Code : std::uint8_t {
    kNone,
    kFolderNameEmpty,      // nothing named
    kNoSuchFolder,         // path: neither a folder nor a file there
    kNotFolderOrFile,      // path: a device, FIFO, ...
    kFolderUnopenable,     // path; detail: the system's reason
    kFolderLocked,         // path: another run writes its sitemap
    kBadExclusion,         // detail: the pattern; count: its number in the list
    kOutOfDescriptors,     // path: what could not be opened; detail: the system's reason
    kFolderNotListable,    // path: the folder; detail: the system's reason
    kEverythingExcluded,   // path: the folder, or empty; count, of, others: pages, folders, other entries
    kFolderEmpty,          // path: the folder
    kBadBaseUrl,           // detail: the URL; baseProblem: what is wrong with it
    kNoExtensions,         // the extension list is empty
    kNoFileMatched,        // no file matched the extension list
    kEveryMatchLeftOut,    // every matching file was left out (see the warnings)
    kWriteFailed,          // detail: what could not be written and why, as the system said it
    kOutOfMemory,
    kThreadUnavailable,    // detail: the system's reason
    kInternal,             // detail: what went wrong
    // The date ledger; path: its file, detail: SQLite's or the system's words.
    kLedgerUnreadable,     // not a database, or a damaged one
    kLedgerNotLedger,      // a database, but not one of this program's ledgers
    kLedgerNewerFormat,    // detail: the format found and the one read
    kLedgerLocked,         // another run holds it
    kLedgerUnwritable,     // it cannot be created or written
    kLedgerNotUpdated,     // the sitemap is written, the ledger is as it was
    // The site's robots.txt; path: its file, detail: the system's reason.
    kRobotsTxtUnreadable,  // --robots-txt: it is there but cannot be read
    kRobotsTxtNotUpdated,  // the sitemap is written; its Sitemap: line could not be added
  };

  Code code = Code::kNone;
  std::string path{};
  std::string detail{};
  std::size_t count = 0;
  std::size_t of = 0;
  std::size_t others = 0;
  UrlText::BaseProblem baseProblem{};

  explicit operator bool() const { return code != Code::kNone; }
};
