#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
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
  void AddPage(std::string_view path, std::initializer_list<std::string_view> keys,
               const std::vector<Version>& versions);
  // The versions of the page added last, valid until the next AddPage.
  std::size_t LastVersionCount() const { return pages_.empty() ? 0 : pages_.back().versions; }
  std::string_view LastHreflang(std::size_t version) const { return View(LastVersion(version).hreflang); }
  std::string_view LastUrl(std::size_t version) const { return View(LastVersion(version).url); }

  // Every problem once, in the order of the pages.
  std::vector<Problem> Check() const;

 private:
  // The pages' texts lie one after another in one string, so that a site
  // of many pages costs few allocations.
  struct Text {
    std::size_t at = 0;
    std::size_t size = 0;
  };
  struct StoredVersion {
    Text hreflang;
    Text url;
    Text key;  // LinkUrl::Compared of the URL: mostly the URL itself
    std::size_t keyHash = 0;  // of key, taken as the page came
  };
  // A URL a page answers to, hashed as the page comes rather than all at
  // once in the check.
  struct Key {
    Text text;
    std::size_t hash = 0;
  };
  struct Page {
    Text path;
    std::size_t firstKey = 0;
    std::size_t keys = 0;
    std::size_t firstVersion = 0;
    std::size_t versions = 0;
  };
  // Which page answers to each key, built for the check: an open-addressed
  // table of the keys' hashes, the first page of a key winning.
  class PageIndex;

  using Kind = Problem::Kind;
  std::string_view View(Text text) const { return std::string_view(text_).substr(text.at, text.size); }
  Text Keep(std::string_view text);
  const StoredVersion& LastVersion(std::size_t version) const {
    return versions_[pages_.back().firstVersion + version];
  }
  const StoredVersion& VersionOf(const Page& page, std::size_t version) const {
    return versions_[page.firstVersion + version];
  }
  // Whether one of page's versions is one of the keys of other.
  bool Lists(const Page& page, const Page& other) const;
  bool Inside(std::string_view key) const { return key.starts_with(baseKey_); }
  void MarkLanguageProblems(const Page& page, std::vector<Kind>* marks, std::vector<std::size_t>* byLanguage) const;

  std::string baseKey_;
  std::string text_;
  std::vector<Key> keys_;
  std::vector<StoredVersion> versions_;
  std::vector<Page> pages_;
};
