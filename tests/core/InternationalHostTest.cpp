#include "sitemap/InternationalHost.h"

#include <gtest/gtest.h>

namespace {

using InternationalHost::Problem;
using InternationalHost::ToAscii;

TEST(InternationalHost, UnicodeHostsTakeTheirIdnaForm) {
  const struct {
    const char* typed;
    const char* converted;
  } cases[] = {
      {"https://例え.jp/", "https://xn--r8jz45g.jp/"},
      {"https://日本語.jp/docs/", "https://xn--wgv71a119e.jp/docs/"},
      {"http://例え。jp:8080/a?b", "http://xn--r8jz45g.jp:8080/a?b"},  // ideographic full stop, a port
      {"https://Ｅｘａｍｐｌｅ.例え.jp", "https://example.xn--r8jz45g.jp"},
      {"https://ß.de/", "https://xn--zca.de/"},  // non-transitional: ß stays a letter of its own
  };
  for (const auto& c : cases) {
    const auto result = ToAscii(c.typed);
    EXPECT_EQ(result.problem, Problem::kNone) << c.typed;
    EXPECT_EQ(result.url, c.converted) << c.typed;
  }
}

TEST(InternationalHost, AsciiHostsAndPathsStayAsTyped) {
  // Upper case, odd bytes in the host and a Unicode path are the base
  // URL check's to judge, not this conversion's.
  for (const char* typed : {"https://EXAMPLE.jp/", "https://example.jp/例え/", "https://[::1]:80/", "no url",
                            "https://a b.jp/"})
    EXPECT_EQ(ToAscii(typed).url, typed);
}

TEST(InternationalHost, HostsIdnaForbidsAreRefused) {
  EXPECT_EQ(ToAscii("https://☃.jp/").problem, Problem::kNotAllowed);
  EXPECT_EQ(ToAscii("https://-例え.jp/").problem, Problem::kNotAllowed);
  const auto broken = ToAscii("https://\xE4\xBE.jp/");
  EXPECT_EQ(broken.problem, Problem::kNotUtf8);
  EXPECT_FALSE(broken.detail.empty());
}

}  // namespace
