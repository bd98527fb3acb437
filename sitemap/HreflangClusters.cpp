#include "sitemap/HreflangClusters.h"

#include <algorithm>
#include <functional>
#include <unordered_set>

#include "sitemap/LinkUrl.h"
#include "text/AsciiText.h"
#include "text/LanguageTag.h"

HreflangClusters::HreflangClusters(const std::string& base) : baseKey_(LinkUrl::Compared(base)) {}

HreflangClusters::Text HreflangClusters::Keep(std::string_view text) {
  const Text kept{text_.size(), text.size()};
  text_.append(text);
  return kept;
}

void HreflangClusters::AddPage(std::string_view path, std::initializer_list<std::string_view> keys,
                               const std::vector<Version>& versions) {
  Page page{Keep(path), keys_.size(), keys.size(), versions_.size(), versions.size()};
  const std::hash<std::string_view> hash;
  for (const std::string_view key : keys) keys_.push_back({Keep(key), hash(key)});
  for (const Version& version : versions) {
    StoredVersion& stored = versions_.emplace_back();
    stored.hreflang = Keep(version.hreflang);
    stored.url = Keep(version.url);
    stored.key = LinkUrl::IsCompared(version.url) ? stored.url : Keep(LinkUrl::Compared(version.url));
    stored.keyHash = hash(View(stored.key));
  }
  pages_.push_back(page);
}

class HreflangClusters::PageIndex {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  explicit PageIndex(const HreflangClusters& clusters) : clusters_(clusters) {
    std::size_t capacity = 16;
    while (capacity < 2 * clusters.keys_.size()) capacity *= 2;
    slots_.resize(capacity);
    mask_ = capacity - 1;
    for (std::size_t p = 0; p < clusters.pages_.size(); ++p) {
      const Page& page = clusters.pages_[p];
      for (std::size_t k = page.firstKey; k < page.firstKey + page.keys; ++k) {
        const std::string_view key = clusters.View(clusters.keys_[k].text);
        const std::size_t hash = clusters.keys_[k].hash;
        std::size_t at = hash & mask_;
        for (; slots_[at].page != 0; at = (at + 1) & mask_)
          if (slots_[at].hash == hash && KeyAt(slots_[at]) == key) break;  // an earlier page has it
        if (slots_[at].page == 0) slots_[at] = {hash, p + 1, k};
      }
    }
  }

  // The page that answers to key (of that hash), or kNone.
  std::size_t Find(std::string_view key, std::size_t hash) const {
    for (std::size_t at = hash & mask_; slots_[at].page != 0; at = (at + 1) & mask_)
      if (slots_[at].hash == hash && KeyAt(slots_[at]) == key) return slots_[at].page - 1;
    return kNone;
  }
  // The table is far larger than a cache: the slot of a key to be found
  // soon is fetched while other work goes on.
  void Prefetch(std::size_t hash) const { __builtin_prefetch(&slots_[hash & mask_]); }

 private:
  struct Slot {
    std::size_t hash = 0;
    std::size_t page = 0;  // its index + 1; 0 for an empty slot
    std::size_t key = 0;   // the key's index in keys_
  };
  std::string_view KeyAt(const Slot& slot) const { return clusters_.View(clusters_.keys_[slot.key].text); }

  const HreflangClusters& clusters_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

bool HreflangClusters::Lists(const Page& page, const Page& other) const {
  for (std::size_t v = 0; v < page.versions; ++v) {
    const std::string_view key = View(VersionOf(page, v).key);
    for (std::size_t k = other.firstKey; k < other.firstKey + other.keys; ++k)
      if (View(keys_[k].text) == key) return true;
  }
  return false;
}

// Which versions of a page carry a language problem: the first version of
// an hreflang that is no language tag, and the first version of a language
// that names another URL than the language's first one. Sorted by
// language, so that a page of many versions costs no more than its sort.
void HreflangClusters::MarkLanguageProblems(const Page& page, std::vector<Kind>* marks,
                                            std::vector<std::size_t>* byLanguage) const {
  const std::size_t count = page.versions;
  marks->assign(count, Kind::kNotReciprocal);  // stands for none here
  std::vector<std::size_t>& order = *byLanguage;
  order.resize(count);
  for (std::size_t v = 0; v < count; ++v) order[v] = v;
  const auto language = [&](std::size_t v) { return View(VersionOf(page, v).hreflang); };
  const auto key = [&](std::size_t v) { return View(VersionOf(page, v).key); };
  const auto less = [&](std::size_t a, std::size_t b) {
    const int compared = AsciiText::CompareIgnoringCase(language(a), language(b));
    return compared != 0 ? compared < 0 : a < b;
  };
  std::sort(order.begin(), order.end(), less);
  for (std::size_t at = 0; at < count;) {
    const std::size_t first = order[at];
    std::size_t end = at + 1;
    while (end < count && AsciiText::EqualsIgnoringCase(language(order[end]), language(first))) ++end;
    if (!LanguageTag::IsHreflang(language(first))) {
      (*marks)[first] = Kind::kBadLanguage;
    } else {
      for (std::size_t i = at + 1; i < end; ++i)
        if (key(order[i]) != key(first)) {
          (*marks)[order[i]] = Kind::kSameLanguage;
          break;
        }
    }
    at = end;
  }
}

std::vector<HreflangClusters::Problem> HreflangClusters::Check() const {
  std::vector<Problem> problems;
  std::unordered_set<std::string_view> missingReported;
  const PageIndex pageOf(*this);
  std::vector<Kind> marks;  // one buffer of each for all the pages
  std::vector<std::size_t> byLanguage;
  // The slots the versions of a page a few ahead look up are fetched
  // while this one is checked.
  constexpr std::size_t kAhead = 8;
  for (std::size_t p = 0; p < pages_.size(); ++p) {
    if (p + kAhead < pages_.size())
      for (std::size_t v = 0; v < pages_[p + kAhead].versions; ++v)
        pageOf.Prefetch(VersionOf(pages_[p + kAhead], v).keyHash);
    const Page& page = pages_[p];
    if (page.versions == 0) continue;
    const auto report = [&](Kind kind, const StoredVersion* version, bool withLanguage) {
      problems.push_back({kind, std::string(View(page.path)), version ? std::string(View(version->url)) : std::string(),
                          withLanguage ? std::string(View(version->hreflang)) : std::string()});
    };
    if (!Lists(page, page)) report(Kind::kSelfMissing, nullptr, false);
    MarkLanguageProblems(page, &marks, &byLanguage);
    for (std::size_t v = 0; v < page.versions; ++v) {
      const StoredVersion& version = VersionOf(page, v);
      const std::string_view key = View(version.key);
      if (marks[v] != Kind::kNotReciprocal) report(marks[v], &version, true);
      if (!Inside(key)) continue;
      const std::size_t other = pageOf.Find(key, version.keyHash);
      if (other == PageIndex::kNone) {
        if (missingReported.insert(key).second) report(Kind::kNotInSitemap, &version, false);
        continue;
      }
      const Page& target = pages_[other];
      if (&target != &page && !Lists(target, page)) report(Kind::kNotReciprocal, &version, false);
    }
  }
  return problems;
}
