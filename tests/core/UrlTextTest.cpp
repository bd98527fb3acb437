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

std::string Normalised(std::string_view typed) {
  UrlText::BaseProblem problem{};
  const auto base = UrlText::NormalisedBase(typed, &problem);
  EXPECT_TRUE(base) << typed << ": refused, reason " << static_cast<int>(problem);
  return base.value_or("");
}

TEST(UrlTextTest, UsableBasesComeOutNormalised) {
  const struct {
    const char* typed;
    const char* base;
  } kBases[] = {
      // What the writer made of these before stays byte for byte.
      {"https://example.jp/", "https://example.jp/"},
      {"https://example.jp", "https://example.jp/"},
      {"  https://example.jp/sub  ", "https://example.jp/sub/"},
      {"http://example.jp/docs/", "http://example.jp/docs/"},
      {"https://example.jp/ページ/my docs/", "https://example.jp/%E3%83%9A%E3%83%BC%E3%82%B8/my%20docs/"},
      {"https://example.jp/a%20b/100%/", "https://example.jp/a%20b/100%25/"},
      {"http://[::1]:8080/", "http://[::1]:8080/"},
      {"http://127.0.0.1:65535", "http://127.0.0.1:65535/"},
      {"https://example.jp/a//b/", "https://example.jp/a//b/"},
      // Scheme and host in lower case; the port as typed.
      {"HTTPS://Example.JP:08443/A", "https://example.jp:08443/A/"},
      {"http://[FE80::A]/", "http://[fe80::a]/"},
      {"http://ex%4a%4Ample.JP/", "http://ex%4A%4Ample.jp/"},
      // Dot segments removed, as RFC 3986 section 5.2.4 does.
      // A host in Unicode in its IDNA form.
      {"https://例え.jp/", "https://xn--r8jz45g.jp/"},
      {"https://日本語.JP/ページ/", "https://xn--wgv71a119e.jp/%E3%83%9A%E3%83%BC%E3%82%B8/"},
      {"http://例え。jp:8080/a", "http://xn--r8jz45g.jp:8080/a/"},  // the ideographic full stop
      {"https://Ｅｘａｍｐｌｅ.例え.jp", "https://example.xn--r8jz45g.jp/"},  // full-width letters fold
      {"https://ß.de/", "https://xn--zca.de/"},  // non-transitional: ß stays a letter of its own
      {"https://example.jp/a/./b/", "https://example.jp/a/b/"},
      {"https://example.jp/x/../y/", "https://example.jp/y/"},
      {"https://example.jp/a/b/..", "https://example.jp/a/"},
      {"https://example.jp/../../a/.", "https://example.jp/a/"},
      {"https://example.jp/./", "https://example.jp/"},
      {"https://example.jp/a/%2e%2E/b", "https://example.jp/b/"},
      {"https://example.jp/.a/..b/", "https://example.jp/.a/..b/"},
      // Escapes as section 6.2.2 wants them.
      {"https://example.jp/%7euser/%e3%81%8a/", "https://example.jp/~user/%E3%81%8A/"},
  };
  for (const auto& base : kBases) {
    EXPECT_EQ(Normalised(base.typed), base.base) << base.typed;
    EXPECT_EQ(Normalised(base.base), base.base) << "normalising twice changes " << base.base;
    EXPECT_EQ(UrlText::BaseUrl(base.base), base.base) << "the writer would encode " << base.base;
  }
}

TEST(UrlTextTest, BasesThatCannotStandBeforeAPathAreRefusedWithTheReason) {
  using UrlText::BaseProblem;
  const struct {
    const char* typed;
    BaseProblem reason;
  } kRefused[] = {
      {"", BaseProblem::kEmpty},
      {"   ", BaseProblem::kEmpty},
      {"/docs", BaseProblem::kNotHttp},
      {"example.jp", BaseProblem::kNotHttp},
      {"ftp://example.jp/", BaseProblem::kNotHttp},
      {"http:/example.jp/", BaseProblem::kNotHttp},
      {"https://example.jp/?q=1", BaseProblem::kQueryOrFragment},
      {"https://example.jp/#top", BaseProblem::kQueryOrFragment},
      {"https://", BaseProblem::kNoHost},
      {"https:///path", BaseProblem::kNoHost},
      {"http://:8080/", BaseProblem::kNoHost},
      {"http://user@example.jp/", BaseProblem::kUserInfo},
      {"http://u:p@example.jp/", BaseProblem::kUserInfo},
      {"http://@example.jp/", BaseProblem::kUserInfo},
      {"http://a@b@c/", BaseProblem::kUserInfo},
      {"http://h:99999/", BaseProblem::kBadPort},
      {"http://h:65536/", BaseProblem::kBadPort},
      {"http://h:0/", BaseProblem::kBadPort},
      {"http://h:/", BaseProblem::kBadPort},
      {"https://example.jp:80x/", BaseProblem::kBadPort},
      {"http://h:1:2/", BaseProblem::kBadPort},
      {"http://[::1]:port/", BaseProblem::kBadPort},
      {"http://[zz]/", BaseProblem::kBadAddress},
      {"http://[]/", BaseProblem::kBadAddress},
      {"http://[::1]junk/", BaseProblem::kBadAddress},
      {"https://[::1/", BaseProblem::kBadAddress},
      {"http://[1:2:3:4:5:6:7:8:9]/", BaseProblem::kBadAddress},
      {"http://[v1.x]/", BaseProblem::kBadAddress},
      {"http://ho[st]/", BaseProblem::kBadHostCharacter},
      {"http://host]/", BaseProblem::kBadHostCharacter},
      {"http://a\\b/", BaseProblem::kBadHostCharacter},
      {"https://exa mple.jp/", BaseProblem::kBadHostCharacter},
      {"http://ex%zample.jp/", BaseProblem::kBadHostCharacter},
      {"https://☃.jp/", BaseProblem::kNonAsciiHost},
      {"https://-例え.jp/", BaseProblem::kNonAsciiHost},
      {"http://h\x82\xa0.jp/", BaseProblem::kNonAsciiHost},
  };
  for (const auto& refused : kRefused) {
    BaseProblem problem = BaseProblem::kNotUri;
    EXPECT_FALSE(UrlText::NormalisedBase(refused.typed, &problem)) << refused.typed;
    EXPECT_EQ(problem, refused.reason) << refused.typed;
  }
}

TEST(UrlTextTest, XmlEscapingCoversTheFiveSpecialCharacters) {
  EXPECT_EQ(UrlText::XmlEscaped("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
  EXPECT_EQ(UrlText::XmlEscaped("plain"), "plain");
}

}  // namespace
