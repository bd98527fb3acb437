#include "sitemap/HreflangClusters.h"

#include <algorithm>

#include "sitemap/LinkUrl.h"
#include "text/AsciiText.h"
#include "text/LanguageTag.h"

HreflangClusters::HreflangClusters(const std::string& base) : baseKey_(LinkUrl::Compared(base)) {}

void HreflangClusters::AddPage(const std::string& path, std::vector<std::string> keys,
                               std::vector<Version> versions) {
  Page page{path, std::move(keys), std::move(versions), {}};
  for (const std::string& key : page.keys) pageOf_.try_emplace(key, pages_.size());
  for (const Version& version : page.versions) page.versionKeys.push_back(LinkUrl::Compared(version.url));
  pages_.push_back(std::move(page));
}

// Which versions of a page carry a language problem: the first version of
// an hreflang that is no language tag, and the first version of a language
// that names another URL than the language's first one. Sorted by
// language, so that a page of many versions costs no more than its sort.
void HreflangClusters::MarkLanguageProblems(const Page& page, std::vector<Kind>* marks,
                                            std::vector<std::size_t>* byLanguage) {
  const std::size_t count = page.versions.size();
  marks->assign(count, Kind::kNotReciprocal);  // stands for none here
  std::vector<std::size_t>& order = *byLanguage;
  order.resize(count);
  for (std::size_t v = 0; v < count; ++v) order[v] = v;
  const auto language = [&](std::size_t v) -> const std::string& { return page.versions[v].hreflang; };
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
        if (page.versionKeys[order[i]] != page.versionKeys[first]) {
          (*marks)[order[i]] = Kind::kSameLanguage;
          break;
        }
    }
    at = end;
  }
}

std::vector<HreflangClusters::Problem> HreflangClusters::Check() const {
  std::vector<Problem> problems;
  std::unordered_set<std::string> missingReported;
  const auto lists = [](const Page& page, const std::vector<std::string>& keys) {
    return std::any_of(page.versionKeys.begin(), page.versionKeys.end(), [&](const std::string& key) {
      return std::find(keys.begin(), keys.end(), key) != keys.end();
    });
  };
  std::vector<Kind> marks;  // one buffer of each for all the pages
  std::vector<std::size_t> byLanguage;
  for (const Page& page : pages_) {
    if (page.versions.empty()) continue;
    if (!lists(page, page.keys)) problems.push_back({Kind::kSelfMissing, page.path, {}, {}});
    MarkLanguageProblems(page, &marks, &byLanguage);
    for (std::size_t v = 0; v < page.versions.size(); ++v) {
      const Version& version = page.versions[v];
      const std::string& key = page.versionKeys[v];
      if (marks[v] != Kind::kNotReciprocal) problems.push_back({marks[v], page.path, version.url, version.hreflang});
      if (!Inside(key)) continue;
      const auto other = pageOf_.find(key);
      if (other == pageOf_.end()) {
        if (missingReported.insert(key).second) problems.push_back({Kind::kNotInSitemap, page.path, version.url, {}});
        continue;
      }
      const Page& target = pages_[other->second];
      if (&target != &page && !lists(target, page.keys))
        problems.push_back({Kind::kNotReciprocal, page.path, version.url, {}});
    }
  }
  return problems;
}
