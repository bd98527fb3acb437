#include "sitemap/LinkUrl.h"

#include <gtest/gtest.h>

namespace {

using Problem = LinkUrl::Problem;

TEST(LinkUrlTest, HrefsResolveAsInABrowser) {
  const std::string page = "https://h.jp/docs/sub/page.html";
  const struct {
    const char* href;
    const char* url;  // nullptr: refused with the problem
    Problem problem;
  } kCases[] = {
      {"https://h.jp/docs/sub/page.html", "https://h.jp/docs/sub/page.html", Problem::kNone},
      {"page.html", "https://h.jp/docs/sub/page.html", Problem::kNone},
      {"en/a.html?x=1&y=/z", "https://h.jp/docs/sub/en/a.html?x=1&y=/z", Problem::kNone},
      {"/a//b/", "https://h.jp/a//b/", Problem::kNone},
      {"./a.html", "https://h.jp/docs/sub/a.html", Problem::kNone},
      {"a/../../b.html", "https://h.jp/docs/b.html", Problem::kNone},
      {"/a/%7e", "https://h.jp/a/%7e", Problem::kNone},
      {"a:b/c.html", nullptr, Problem::kNotHttp},
      {"a/b:c.html", "https://h.jp/docs/sub/a/b:c.html", Problem::kNone},
      {"../other.html#top", "https://h.jp/docs/other.html#top", Problem::kNone},
      {"/", "https://h.jp/", Problem::kNone},
      {"//other.jp/a", "https://other.jp/a", Problem::kNone},
      {"?lang=en", "https://h.jp/docs/sub/page.html?lang=en", Problem::kNone},
      {" \t\npage.html\n ", "https://h.jp/docs/sub/page.html", Problem::kNone},
      {"pa\nge.html", "https://h.jp/docs/sub/page.html", Problem::kNone},
      {"ペ ージ.html", "https://h.jp/docs/sub/%E3%83%9A%20%E3%83%BC%E3%82%B8.html", Problem::kNone},
      {"HTTP://H.JP/x", "HTTP://H.JP/x", Problem::kNone},
      {"http://other.jp/en/a.html?x=1&y=/z", "http://other.jp/en/a.html?x=1&y=/z", Problem::kNone},
      {"https://h.jp/en/./a/../b.html", "https://h.jp/en/b.html", Problem::kNone},
      {"", nullptr, Problem::kEmpty},
      {" \t ", nullptr, Problem::kEmpty},
      {"file:///usr/share/doc/python3/html/index.html", nullptr, Problem::kNotHttp},
      {"mailto:a@h.jp", nullptr, Problem::kNotHttp},
      {"ftp://h.jp/a", nullptr, Problem::kNotHttp},
      {"http://[::1", nullptr, Problem::kUnparsable},
      {"http://h.jp:x/", nullptr, Problem::kUnparsable},
      {"http:relative", nullptr, Problem::kUnparsable},
  };
  for (const auto& c : kCases) {
    Problem problem = Problem::kNone;
    const auto url = LinkUrl::Resolve(c.href, page, &problem);
    EXPECT_EQ(url.value_or("(refused)"), c.url ? c.url : "(refused)") << c.href;
    EXPECT_EQ(problem, c.problem) << c.href;
  }
}

TEST(LinkUrlTest, ABaseElementMovesTheDocumentBase) {
  const std::string page = "https://h.jp/docs/page.html";
  EXPECT_EQ(LinkUrl::DocumentBase(std::nullopt, page), page);
  EXPECT_EQ(LinkUrl::DocumentBase("/en/", page), "https://h.jp/en/");
  EXPECT_EQ(LinkUrl::DocumentBase("https://mirror.jp/x/", page), "https://mirror.jp/x/");
  // A base that names no http URL leaves the page's own.
  EXPECT_EQ(LinkUrl::DocumentBase("file:///tmp/", page), page);
  EXPECT_EQ(LinkUrl::DocumentBase("", page), page);
  Problem problem{};
  EXPECT_EQ(LinkUrl::Resolve("a.html", LinkUrl::DocumentBase("/en/", page), &problem), "https://h.jp/en/a.html");
}

TEST(LinkUrlTest, URLsOfOnePageCompareEqual) {
  const char* const kSame[][2] = {
      {"https://h.jp/a.html", "HTTPS://H.JP/a.html"},
      {"https://h.jp/a.html", "https://h.jp:443/a.html"},
      {"http://h.jp/a.html", "http://h.jp:80/a.html"},
      {"https://h.jp/~joe/", "https://h.jp/%7Ejoe/"},
      {"https://h.jp/%E3%83%9A", "https://h.jp/%e3%83%9a"},
      {"https://h.jp/a.html", "https://h.jp/x/../a.html"},
      {"https://h.jp/a.html", "https://h.jp/a.html#part"},
      {"https://h.jp", "https://h.jp/"},
      {"https://h.jp/a/b/?q=/x", "HTTPS://h.jp/a/./b/?q=/x"},
      {"https://h.jp/a//b", "https://h.jp/a//c/../b"},
      {"http://[::1]:8080/a", "http://[0:0:0:0:0:0:0:1]:8080/a"},
  };
  for (const auto& pair : kSame) EXPECT_EQ(LinkUrl::Compared(pair[0]), LinkUrl::Compared(pair[1])) << pair[1];
  const char* const kOther[][2] = {
      {"https://h.jp/a.html", "http://h.jp/a.html"},
      {"https://h.jp/a.html", "https://h.jp:8443/a.html"},
      {"https://h.jp/a.html", "https://h.jp/A.html"},
      {"https://h.jp/a%2Fb", "https://h.jp/a/b"},
      {"https://h.jp/a.html", "https://h.jp/a.html?x"},
      {"https://h.jp/docs/", "https://h.jp/docs"},
  };
  for (const auto& pair : kOther) EXPECT_NE(LinkUrl::Compared(pair[0]), LinkUrl::Compared(pair[1])) << pair[1];
}

}  // namespace
