#include <gtest/gtest.h>

#include "sitemap/UrlText.h"

namespace {

TEST(UrlTextTest, PathSegmentsKeepOnlyTheirOwnCharacters) {
  EXPECT_EQ(UrlText::PathSegment("a-b_c.d~e"), "a-b_c.d~e");
  EXPECT_EQ(UrlText::PathSegment("!$&'()*+,;=:@"), "!$&'()*+,;=:@");
  EXPECT_EQ(UrlText::PathSegment("sub dir"), "sub%20dir");
  EXPECT_EQ(UrlText::PathSegment("a#b?c%d"), "a%23b%3Fc%25d");
  EXPECT_EQ(UrlText::PathSegment("x/y\\z"), "x%2Fy%5Cz");
  EXPECT_EQ(UrlText::PathSegment("お"), "%E3%81%8A");
  EXPECT_EQ(UrlText::PathSegment("\x82\xa0"), "%82%A0");  // Shift-JIS bytes are encoded too
  EXPECT_EQ(UrlText::PathSegment(std::string("\x01\x7f", 2)), "%01%7F");
}

TEST(UrlTextTest, BaseUrlKeepsWhatTheUserTyped) {
  EXPECT_EQ(UrlText::BaseUrl("https://example.jp/a%20b/?q=1#f"), "https://example.jp/a%20b/?q=1#f");
  EXPECT_EQ(UrlText::BaseUrl("https://例え.jp/my docs/"), "https://%E4%BE%8B%E3%81%88.jp/my%20docs/");
  EXPECT_EQ(UrlText::BaseUrl("a\"b<c>d\\e^f`g{h|i}j\tk"), "a%22b%3Cc%3Ed%5Ce%5Ef%60g%7Bh%7Ci%7Dj%09k");
  // A "%" that starts no escape, and brackets after the host, are encoded;
  // an IPv6 host keeps its brackets.
  EXPECT_EQ(UrlText::BaseUrl("https://e.jp/100%/a%2x/%41%"), "https://e.jp/100%25/a%252x/%41%25");
  EXPECT_EQ(UrlText::BaseUrl("http://[::1]:8080/[x]/"), "http://[::1]:8080/%5Bx%5D/");
}

TEST(UrlTextTest, OnlyAbsoluteHttpUrlsWithAHostAreUsableBases) {
  std::string problem;
  for (const char* good : {"https://example.jp", "http://example.jp/docs/", "HTTPS://Example.JP:8443/a",
                           "http://user@example.jp/", "http://[::1]:8080/", "https://example.jp/ページ/"}) {
    EXPECT_TRUE(UrlText::IsUsableBase(good, &problem)) << good << ": " << problem;
  }
  for (const char* bad : {"", "/docs", "example.jp", "ftp://example.jp/", "https://", "https:///path",
                          "https://example.jp/?q=1", "https://example.jp/#top", "https://example.jp:80x/",
                          "https://exa mple.jp/", "https://例え.jp/", "https://[::1/"}) {
    problem.clear();
    EXPECT_FALSE(UrlText::IsUsableBase(bad, &problem)) << bad;
    EXPECT_FALSE(problem.empty()) << bad;
  }
}

TEST(UrlTextTest, XmlEscapingCoversTheFiveSpecialCharacters) {
  EXPECT_EQ(UrlText::XmlEscaped("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
  EXPECT_EQ(UrlText::XmlEscaped("plain"), "plain");
}

}  // namespace
