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
}

TEST(UrlTextTest, XmlEscapingCoversTheFiveSpecialCharacters) {
  EXPECT_EQ(UrlText::XmlEscaped("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
  EXPECT_EQ(UrlText::XmlEscaped("plain"), "plain");
}

}  // namespace
