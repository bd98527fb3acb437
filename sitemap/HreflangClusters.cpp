#include "sitemap/HreflangClusters.h"

#include <algorithm>

#include "sitemap/LinkUrl.h"
#include "text/AsciiText.h"
#include "text/LanguageTag.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = AsciiText::ToLower(c);
  return text;
}

}  // namespace

HreflangClusters::HreflangClusters(const std::string& base) : baseKey_(LinkUrl::Compared(base)) {}

void HreflangClusters::AddPage(const std::string& path, const std::vector<std::string>& keys,
                               std::vector<Version> versions) {
  Page page{path, keys, std::move(versions), {}};
  for (const std::string& key : keys) pageOf_.try_emplace(key, pages_.size());
  for (const Version& version : page.versions) page.versionKeys.push_back(LinkUrl::Compared(version.url));
  pages_.push_back(std::move(page));
}

std::vector<HreflangClusters::Problem> HreflangClusters::Check() const {
  using Kind = Problem::Kind;
  std::vector<Problem> problems;
  std::unordered_set<std::string> missingReported;
  const auto lists = [](const Page& page, const std::vector<std::string>& keys) {
    return std::any_of(page.versionKeys.begin(), page.versionKeys.end(), [&](const std::string& key) {
      return std::find(keys.begin(), keys.end(), key) != keys.end();
    });
  };
  for (const Page& page : pages_) {
    if (page.versions.empty()) continue;
    if (!lists(page, page.keys)) problems.push_back({Kind::kSelfMissing, page.path, {}, {}});
    std::unordered_map<std::string, std::string> keyOfLanguage;
    std::unordered_set<std::string> languagesReported;
    for (std::size_t v = 0; v < page.versions.size(); ++v) {
      const Version& version = page.versions[v];
      const std::string& key = page.versionKeys[v];
      const std::string language = Lower(version.hreflang);
      if (!LanguageTag::IsHreflang(version.hreflang)) {
        if (languagesReported.insert("bad " + language).second)
          problems.push_back({Kind::kBadLanguage, page.path, version.url, version.hreflang});
      } else if (const auto [seen, added] = keyOfLanguage.try_emplace(language, key); !added && seen->second != key) {
        if (languagesReported.insert("same " + language).second)
          problems.push_back({Kind::kSameLanguage, page.path, version.url, version.hreflang});
      }
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
