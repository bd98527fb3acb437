#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// One thing a run left out or could not do as asked, as a code with its
// data: each program words it in its own language. path is the entry's
// path (a page's path below the site's folder, a folder's full path),
// detail a second text (the system's reason, a URL), count and of the
// entry's figures.
struct Warning {
  // New reasons go before kCount; each program words every one.
  enum class Reason : std::uint8_t {
    kFewerReaders,         // count of of readers started; detail: why no more
    kFolderNotListed,      // path: the folder; detail: the system's reason
    kFolderPartlyListed,   // path: the folder; detail: why the listing broke off
    kBrokenLink,           // path: a link to nothing (or a loop) in the place of a page
    kNotRegularFile,       // path: a FIFO, socket or device in the place of a page
    kUrlTooLong,           // path: the page; detail: its URL; count: the URL's length
    kNoindex,              // path: a page that asks robots not to index it
    kUndatedPage,          // path: a page the ledger could not read; detail: why
    kGitHistoryCut,        // path: the work tree; count: pages a shallow clone cannot date
    kGitUnreadable,        // path: the repository; detail: why it could not be read
    kCount
  };
  static constexpr std::size_t kReasons = static_cast<std::size_t>(Reason::kCount);

  Reason reason = Reason::kNotRegularFile;
  std::string path{};
  std::string detail{};
  std::size_t count = 0;
  std::size_t of = 0;
};
