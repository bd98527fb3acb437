#include "sitemap/PageHistory.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// Text digests of earlier builds were taken from a parsed tree, whose text
// differs in small ways from the tokens': they are of another kind, so the
// first run after the change keeps the dates of untouched files.
constexpr const char* kTextDigestName = "text-2";

}  // namespace

PageHistory::PageHistory(ContentLedger& ledger, int folder, const std::string& folderPath, PageDigest::Kind kind,
                         std::time_t now)
    : ledger_(ledger), folder_(folder), kind_(kind),
      kindName_(kind == PageDigest::Kind::kText ? kTextDigestName : "bytes"), now_(now),
      sameKind_(ledger.digestKind() == kindName_) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::weakly_canonical(folderPath, error);
  const std::filesystem::path file = std::filesystem::weakly_canonical(ledger.path(), error);
  if (!error && !base.empty()) {
    const std::filesystem::path below = file.lexically_relative(base);
    if (!below.empty() && *below.begin() != "..") ledgerPath_ = below.generic_string();
  }
}

bool PageHistory::IsLedgerFile(const std::string& path) const {
  if (ledgerPath_.empty() || !path.starts_with(ledgerPath_)) return false;
  const std::string_view rest = std::string_view(path).substr(ledgerPath_.size());
  return rest.empty() || rest == "-journal" || rest == "-wal" || rest == "-shm";
}

std::time_t PageHistory::DateOf(const std::string& path, const std::string& url, std::string* reason) {
  seen_.insert(path);
  urls_.insert(url);
  const auto& pages = ledger_.pages();
  const auto found = pages.find(path);
  const ContentLedger::Page* known = found == pages.end() ? nullptr : &found->second;
  struct stat status;
  if (fstatat(folder_, path.c_str(), &status, 0) != 0) {
    *reason = std::strerror(errno);
    return known ? known->changed : now_;
  }
  ContentLedger::Page page;
  page.url = url;
  page.size = status.st_size;
  page.mtimeNs = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
  const bool sameFile = known && known->size == page.size && known->mtimeNs == page.mtimeNs;
  bool same = false;
  if (sameFile && sameKind_) {
    page.digest = known->digest;
    same = true;
  } else {
    if (!PageDigest::OfFile(folder_, path, kind_, &page.digest, reason)) return known ? known->changed : now_;
    // Digests of the other kind say nothing; an untouched file is the same page.
    same = known && (sameKind_ ? known->digest == page.digest : sameFile);
  }
  if (const std::optional<std::time_t> given = dates_ ? dates_(path) : std::nullopt) {
    page.changed = *given;
    same = same && known->changed == page.changed;
  } else if (same) {
    page.changed = known->changed;
  } else {
    const std::time_t modified = status.st_mtim.tv_sec;
    const auto last = ledger_.lastRun();
    page.changed = modified <= now_ && (!last || modified > *last) ? modified : now_;
  }
  if (!known || known->url != url) {
    changes_.push_back({'A', url});
    if (known) oldUrls_.push_back(known->url);
  } else if (!same) {
    changes_.push_back({'M', url});
  }
  const auto date = static_cast<std::time_t>(page.changed);
  if (!known || !(page == *known)) updates_.emplace_back(path, std::move(page));
  return date;
}

bool PageHistory::Stage() {
  for (const auto& [path, page] : updates_)
    if (!ledger_.Put(path, page)) return false;
  std::vector<std::pair<std::string, std::string>> gone;  // path, URL
  for (const auto& [path, page] : ledger_.pages())
    if (!seen_.contains(path)) gone.emplace_back(path, page.url);
  std::sort(gone.begin(), gone.end());
  for (const auto& [path, url] : gone)
    if (!ledger_.Drop(path)) return false;
  // A URL another page took is no removal.
  for (const std::string& url : oldUrls_)
    if (!urls_.contains(url)) changes_.push_back({'D', url});
  for (const auto& [path, url] : gone)
    if (!urls_.contains(url)) changes_.push_back({'D', url});
  return ledger_.SetRun(now_, kindName_);
}

bool PageHistory::Commit() { return ledger_.Commit(); }

PageHistory::Counts PageHistory::counts() const {
  Counts counts;
  for (const Change& change : changes_)
    (change.kind == 'A' ? counts.added : change.kind == 'M' ? counts.changed : counts.removed)++;
  return counts;
}
