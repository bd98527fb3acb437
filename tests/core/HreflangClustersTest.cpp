#include "sitemap/HreflangClusters.h"

#include <gtest/gtest.h>

#include "text/LanguageTag.h"

namespace {

TEST(LanguageTagTest, WellFormedTagsOnly) {
  for (const char* good : {"en", "EN-gb", "ja-JP", "zh-Hant-TW", "sr-Latn", "es-419", "de-CH-1996", "sl-rozaj-biske",
                           "zh-yue-HK", "en-a-bbb-x-a-ccc", "x-whatever", "i-klingon", "en-GB-oed", "qaa-Qaaa-QM-x-southern"})
    EXPECT_TRUE(LanguageTag::IsWellFormed(good)) << good;
  for (const char* bad : {"", "e", "english-british", "en_US", "en-", "-en", "en--us", "en-a", "en-a-b-x",
                          "de-419-DE", "a-DE", "ar-a-aaa-b-bbb-a-ccc", "x-", "en-x-toolongsubtag", "日本語"})
    EXPECT_FALSE(LanguageTag::IsWellFormed(bad)) << bad;
}

using Kind = HreflangClusters::Problem::Kind;
using Problem = HreflangClusters::Problem;

}  // namespace

void PrintTo(const HreflangClusters::Problem& p, std::ostream* out) {
  *out << static_cast<int>(p.kind) << " " << p.path << " " << p.url << " " << p.hreflang;
}

namespace {

TEST(HreflangClustersTest, ACompleteClusterHasNoProblem) {
  HreflangClusters clusters("https://h.jp/");
  const std::vector<HreflangClusters::Version> versions = {
      {"en", "https://h.jp/en/"}, {"ja", "https://H.JP:443/ja/index.html"}, {"x-default", "https://h.jp/"},
      {"de", "https://other.example/de/"}};  // another domain: allowed, not followed
  clusters.AddPage("en/index.html", {"https://h.jp/en/index.html", "https://h.jp/en/"}, versions);
  clusters.AddPage("ja/index.html", {"https://h.jp/ja/index.html", "https://h.jp/ja/"}, versions);
  clusters.AddPage("index.html", {"https://h.jp/index.html", "https://h.jp/"}, versions);
  EXPECT_EQ(clusters.Check(), std::vector<Problem>{});
}

TEST(HreflangClustersTest, EachProblemOnce) {
  HreflangClusters clusters("https://h.jp/docs/");
  clusters.AddPage("a.html", {"https://h.jp/docs/a.html"},
                   {{"en", "https://h.jp/docs/a.html"},
                    {"ja", "https://h.jp/docs/b.html"},        // b does not list a
                    {"fr", "https://h.jp/docs/hidden.html"},   // not in the sitemap
                    {"english", "https://h.jp/docs/c.html"},   // no language tag
                    {"EN", "https://h.jp/docs/d.html"},        // en twice
                    {"de", "https://h.jp/elsewhere.html"}});   // outside the base: not checked
  clusters.AddPage("b.html", {"https://h.jp/docs/b.html"}, {{"ja", "https://h.jp/docs/b.html"}});
  clusters.AddPage("c.html", {"https://h.jp/docs/c.html"},
                   {{"en", "https://h.jp/docs/a.html"}, {"fr", "https://h.jp/docs/hidden.html"}});
  clusters.AddPage("d.html", {"https://h.jp/docs/d.html"}, {});
  const std::vector<Problem> expected = {
      {Kind::kNotReciprocal, "a.html", "https://h.jp/docs/b.html", {}},
      {Kind::kNotInSitemap, "a.html", "https://h.jp/docs/hidden.html", {}},
      {Kind::kBadLanguage, "a.html", "https://h.jp/docs/c.html", "english"},
      {Kind::kSameLanguage, "a.html", "https://h.jp/docs/d.html", "EN"},
      {Kind::kNotReciprocal, "a.html", "https://h.jp/docs/d.html", {}},
      {Kind::kSelfMissing, "c.html", {}, {}},
  };
  EXPECT_EQ(clusters.Check(), expected);
}

}  // namespace
