#pragma once
#include <cstddef>
#include <ctime>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/FileStamp.h"
#include "scan/PageDigest.h"
#include "sitemap/ContentLedger.h"

// The dates of one run's pages from what the ledger saw, and what changed
// since. For each page:
//   - a page whose digest is the ledger's keeps the ledger's date, whatever
//     its modification time says (a file whose size and modification time
//     are the ledger's is not read again);
//   - a new page, or one whose digest changed, takes its modification time
//     when that is not in the future and, after a first run, later than the
//     last run; else the time of this run;
// and the ledger's pages the run did not see are removed from it.
class PageHistory {
 public:
  struct Change {
    char kind;  // 'A' added, 'M' changed, 'D' removed
    std::string url;
    bool operator==(const Change&) const = default;
  };
  struct Counts {
    std::size_t added = 0, changed = 0, removed = 0;
    bool operator==(const Counts&) const = default;
  };

  // now: when the run started. folder: the pages' open folder, which
  // folderPath names.
  PageHistory(ContentLedger& ledger, int folder, const std::string& folderPath, PageDigest::Kind kind,
              std::time_t now);

  // The date of the page at path (below the folder) that the sitemap names
  // by url. stamp: the file's size and modification time as the scan read
  // them; null: read them now. When the file cannot be read, its ledger
  // entry is kept as it was (or the run's time is its date) and reason
  // says why.
  std::time_t DateOf(std::string_view path, const std::string& url, std::string* reason,
                     const FileStamp* stamp = nullptr);

  // Pages dated elsewhere (by git's commits): a page dates answers for
  // takes the date it gives, and counts as changed when its digest or its
  // date is not the ledger's. Any other page is dated as above.
  using Dates = std::function<std::optional<std::time_t>(const std::string& path)>;
  void UseDates(Dates dates) { dates_ = std::move(dates); }

  // The ledger itself, when it lies in the folder: never a page.
  bool IsLedgerFile(std::string_view path) const;

  // Writes what changed into the ledger's open transaction: call once the
  // pages are all dated, before the sitemap is put in place.
  bool Stage();
  // Keeps it, once the sitemap is in place.
  bool Commit();
  const ContentLedger& ledger() const { return ledger_; }

  // Added and changed pages in the order they were dated, then the removed.
  // Complete after Stage.
  const std::vector<Change>& changes() const { return changes_; }
  Counts counts() const;

 private:
  ContentLedger& ledger_;
  int folder_;
  PageDigest::Kind kind_;
  std::string kindName_;
  std::time_t now_;
  bool sameKind_;
  Dates dates_;
  // What this run made of each page the ledger knows, by its number.
  enum class Seen : std::uint8_t { kNot, kSameUrl, kNewUrl };
  std::vector<Seen> seen_;
  std::vector<std::pair<std::string, ContentLedger::Page>> updates_;
  std::vector<Change> changes_;
  std::vector<std::string> oldUrls_;  // pages whose URL is no longer the ledger's
  std::vector<std::string> unreadUrls_;  // pages not read, under a URL the ledger does not give them
  std::string ledgerPath_;  // below the folder, when the ledger is in it
};
