#include "sitemap/PageHistory.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unordered_set>

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
      sameKind_(ledger.digestKind() == kindName_), seen_(ledger.knownCount(), Seen::kNot) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::weakly_canonical(folderPath, error);
  const std::filesystem::path file = std::filesystem::weakly_canonical(ledger.path(), error);
  if (!error && !base.empty()) {
    const std::filesystem::path below = file.lexically_relative(base);
    if (!below.empty() && *below.begin() != "..") ledgerPath_ = below.generic_string();
  }
}

bool PageHistory::IsLedgerFile(std::string_view path) const {
  if (ledgerPath_.empty() || !path.starts_with(ledgerPath_)) return false;
  const std::string_view rest = path.substr(ledgerPath_.size());
  return rest.empty() || rest == "-journal" || rest == "-wal" || rest == "-shm";
}

std::time_t PageHistory::DateOf(std::string_view path, const std::string& url, std::string* reason,
                                const FileStamp* stamp) {
  const std::size_t number = ledger_.Find(path);
  const bool isKnown = number != ContentLedger::kUnknown;
  const ContentLedger::Known known = isKnown ? ledger_.known(number) : ContentLedger::Known{};
  const bool sameUrl = isKnown && known.url == url;
  if (isKnown) seen_[number] = sameUrl ? Seen::kSameUrl : Seen::kNewUrl;
  const std::time_t kept = isKnown ? known.changed : now_;
  FileStamp read;
  if (!stamp) {
    struct stat status;
    if (fstatat(folder_, std::string(path).c_str(), &status, 0) != 0) {
      *reason = std::strerror(errno);
      if (!sameUrl) unreadUrls_.push_back(url);
      return kept;
    }
    read = {.size = status.st_size,
            .modified = status.st_mtim.tv_sec,
            .nanoseconds = static_cast<std::uint32_t>(status.st_mtim.tv_nsec)};
    stamp = &read;
  }
  // Nanoseconds since the epoch, as the ledger keeps them; only ever
  // compared, so a time past 2262 wraps rather than overflows.
  const auto mtimeNs = static_cast<std::int64_t>(static_cast<std::uint64_t>(stamp->modified) * 1000000000u +
                                                 stamp->nanoseconds);
  const bool sameFile = isKnown && known.size == stamp->size && known.mtimeNs == mtimeNs;
  // A date given from elsewhere (git's commits), if any.
  const std::optional<std::time_t> given = dates_ ? dates_(std::string(path)) : std::nullopt;
  const bool dated = given.has_value();
  const std::time_t givenDate = given.value_or(0);
  // The common case of a rerun: nothing to read, nothing to note.
  if (sameFile && sameKind_ && sameUrl && (!dated || givenDate == known.changed)) return kept;

  ContentLedger::Page page{.url = url, .size = stamp->size, .mtimeNs = mtimeNs};
  bool same = false;
  if (sameFile && sameKind_) {
    page.digest = known.digest;
    same = true;
  } else {
    if (!PageDigest::OfFile(folder_, std::string(path), kind_, &page.digest, reason)) {
      if (!sameUrl) unreadUrls_.push_back(url);
      return kept;
    }
    // Digests of the other kind say nothing; an untouched file is the same page.
    same = isKnown && (sameKind_ ? known.digest == page.digest : sameFile);
  }
  if (dated) {
    page.changed = givenDate;
    same = same && known.changed == page.changed;
  } else if (same) {
    page.changed = known.changed;
  } else {
    const std::time_t modified = stamp->modified;
    const auto last = ledger_.lastRun();
    page.changed = modified <= now_ && (!last || modified > *last) ? modified : now_;
  }
  if (!sameUrl) {
    changes_.push_back({'A', url});
    if (isKnown) oldUrls_.emplace_back(known.url);
  } else if (!same) {
    changes_.push_back({'M', url});
  }
  const auto date = static_cast<std::time_t>(page.changed);
  const bool unchanged = sameUrl && page.digest == known.digest && page.changed == known.changed &&
                         page.size == known.size && page.mtimeNs == known.mtimeNs;
  if (!unchanged) updates_.emplace_back(std::string(path), std::move(page));
  return date;
}

bool PageHistory::Stage() {
  // In the order of the table's key, so that a first run fills its pages.
  std::sort(updates_.begin(), updates_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [path, page] : updates_)
    if (!ledger_.Put(path, page)) return false;
  std::vector<std::size_t> gone;  // in the order of their paths
  for (std::size_t n = 0; n < seen_.size(); ++n)
    if (seen_[n] == Seen::kNot) gone.push_back(n);
  for (const std::size_t n : gone)
    if (!ledger_.Drop(std::string(ledger_.known(n).path))) return false;
  if (gone.empty() && oldUrls_.empty()) return ledger_.SetRun(now_, kindName_);

  // A URL another page took is no removal.
  std::unordered_set<std::string_view> urls;
  for (std::size_t n = 0; n < seen_.size(); ++n)
    if (seen_[n] == Seen::kSameUrl) urls.insert(ledger_.known(n).url);
  for (const auto& [path, page] : updates_) urls.insert(page.url);
  for (const std::string& url : unreadUrls_) urls.insert(url);
  for (const std::string& url : oldUrls_)
    if (!urls.contains(url)) changes_.push_back({'D', url});
  for (const std::size_t n : gone)
    if (const std::string_view url = ledger_.known(n).url; !urls.contains(url)) changes_.push_back({'D', std::string(url)});
  return ledger_.SetRun(now_, kindName_);
}

bool PageHistory::Commit() { return ledger_.Commit(); }

PageHistory::Counts PageHistory::counts() const {
  Counts counts;
  for (const Change& change : changes_)
    (change.kind == 'A' ? counts.added : change.kind == 'M' ? counts.changed : counts.removed)++;
  return counts;
}
