#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The language versions the pages of one sitemap declare, checked as a
// search engine takes them: each version of a page lists the page in turn,
// and a page lists itself among its versions. The pages are added as they
// are written; the check comes after the last.
class HreflangClusters {
 public:
  struct Version {
    std::string hreflang;
    std::string url;  // resolved, as written
  };

  struct Problem {
    enum class Kind : std::uint8_t {
      kNotReciprocal,   // url is a version of path, but does not list path back
      kSelfMissing,     // path's versions do not hold path itself
      kNotInSitemap,    // url, a version of path inside the base, is no URL of the sitemap
      kBadLanguage,     // path gives hreflang, which is neither a BCP 47 tag nor x-default
      kSameLanguage,    // path gives hreflang to two different URLs
    };
    Kind kind;
    std::string path;      // the page, as the user knows it
    std::string url;       // the version concerned, where there is one
    std::string hreflang;  // for the language problems
    bool operator==(const Problem&) const = default;
  };

  // base: the sitemap's base URL; versions outside it are not checked
  // against the sitemap.
  explicit HreflangClusters(const std::string& base);

  // A page of the sitemap: the URLs it answers to (its loc, and for an
  // index page its folder's or its file's form too) in the form
  // LinkUrl::Compared gives, and its versions.
  void AddPage(const std::string& path, std::vector<std::string> keys, std::vector<Version> versions);
  // The versions of the page added last (none before the first).
  const std::vector<Version>& LastVersions() const { return pages_.empty() ? kNoVersions : pages_.back().versions; }

  // Room for this many pages, so that adding them never rehashes.
  void Reserve(std::size_t pages) {
    pages_.reserve(pages);
    pageOf_.reserve(pages);
  }

  // Every problem once, in the order of the pages.
  std::vector<Problem> Check() const;

 private:
  struct Page {
    std::string path;
    std::vector<std::string> keys;  // LinkUrl::Compared of its URLs
    std::vector<Version> versions;
    std::vector<std::string> versionKeys;
  };

  using Kind = Problem::Kind;
  static inline const std::vector<Version> kNoVersions;
  bool Inside(const std::string& key) const { return key.starts_with(baseKey_); }
  static void MarkLanguageProblems(const Page& page, std::vector<Kind>* marks, std::vector<std::size_t>* byLanguage);

  std::string baseKey_;
  std::vector<Page> pages_;
  std::unordered_map<std::string, std::size_t> pageOf_;  // by key
};
