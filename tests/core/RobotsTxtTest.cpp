#include "sitemap/RobotsTxt.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr bool kAllowed = true, kDisallowed = false;

struct Row {
  const char* robots;
  const char* agent;
  const char* path;
  bool allowed;
};

// Taken from the rules and examples of RFC 9309 (sections 2.1 to 2.5, 5.1, 5.2).
const Row kRows[] = {
    // No file's worth of rules, or none for the crawler: everything allowed.
    {"", "*", "/a", kAllowed},
    {"# nothing but a comment\n", "*", "/a", kAllowed},
    {"user-agent: other\ndisallow: /\n", "*", "/a", kAllowed},
    {"disallow: /\n", "*", "/a", kAllowed},  // a rule before any group
    {"user-agent: *\ndisallow:\n", "*", "/a", kAllowed},  // an empty rule says nothing
    // Prefix matching, case-sensitive paths.
    {"user-agent: *\ndisallow: /private\n", "*", "/private", kDisallowed},
    {"user-agent: *\ndisallow: /private\n", "*", "/private/a.html", kDisallowed},
    {"user-agent: *\ndisallow: /private\n", "*", "/privateer.html", kDisallowed},
    {"user-agent: *\ndisallow: /private\n", "*", "/Private/a.html", kAllowed},
    {"user-agent: *\ndisallow: /private/\n", "*", "/private", kAllowed},
    {"user-agent: *\ndisallow: /\n", "*", "/index.html", kDisallowed},
    // The longest match wins, whichever comes first; allow wins a tie.
    {"user-agent: *\nallow: /docs/public/\ndisallow: /docs/\n", "*", "/docs/public/a.html", kAllowed},
    {"user-agent: *\nallow: /docs/public/\ndisallow: /docs/\n", "*", "/docs/other.html", kDisallowed},
    {"user-agent: *\ndisallow: /docs/public/\nallow: /docs/\n", "*", "/docs/public/a.html", kDisallowed},
    {"user-agent: *\ndisallow: /page\nallow: /page\n", "*", "/page.html", kAllowed},
    {"user-agent: *\nallow: /page\ndisallow: /page\n", "*", "/page.html", kAllowed},
    {"user-agent: *\nallow: /$\ndisallow: /\n", "*", "/", kAllowed},
    {"user-agent: *\nallow: /$\ndisallow: /\n", "*", "/page.html", kDisallowed},
    // "*" and "$".
    {"user-agent: *\ndisallow: /*.pdf$\n", "*", "/files/a.pdf", kDisallowed},
    {"user-agent: *\ndisallow: /*.pdf$\n", "*", "/files/a.pdf.html", kAllowed},
    {"user-agent: *\ndisallow: /*.php\n", "*", "/a/b.php?x=1", kDisallowed},
    {"user-agent: *\ndisallow: /a*b*c\n", "*", "/a-x-b-y-c.html", kDisallowed},
    {"user-agent: *\ndisallow: /a*b*c\n", "*", "/a-x-c-y-b.html", kAllowed},
    {"user-agent: *\ndisallow: /exact.html$\n", "*", "/exact.html", kDisallowed},
    {"user-agent: *\ndisallow: /exact.html$\n", "*", "/exact.html5", kAllowed},
    {"user-agent: *\ndisallow: /a$b\n", "*", "/a$b.html", kDisallowed},  // "$" inside is a character
    {"user-agent: *\ndisallow: *\n", "*", "/anything", kDisallowed},
    {"user-agent: *\ndisallow: /**/x\n", "*", "/y/x", kDisallowed},
    // Percent-encoded and raw octets alike, escapes of unreserved characters decoded.
    {"user-agent: *\ndisallow: /foo/bar/%62%61%7A\n", "*", "/foo/bar/baz", kDisallowed},
    {"user-agent: *\ndisallow: /foo/bar/baz\n", "*", "/foo/bar/%62%61%7A", kDisallowed},
    {"user-agent: *\ndisallow: /foo/bar/ツ\n", "*", "/foo/bar/%E3%83%84", kDisallowed},
    {"user-agent: *\ndisallow: /foo/bar/%e3%83%84\n", "*", "/foo/bar/%E3%83%84", kDisallowed},
    {"user-agent: *\ndisallow: /~joe/\n", "*", "/%7Ejoe/index.html", kDisallowed},
    {"user-agent: *\ndisallow: /a%2Fb\n", "*", "/a/b", kAllowed},  // an escaped "/" is not a "/"
    {"user-agent: *\ndisallow: /foo/bar?baz=quz\n", "*", "/foo/bar?baz=quz", kDisallowed},
    // Groups: the crawler's own, in any case, else "*"; grouped agents; merged groups.
    {"user-agent: *\ndisallow: /\n\nuser-agent: Googlebot\nallow: /\n", "Googlebot", "/a", kAllowed},
    {"user-agent: *\ndisallow: /\n\nuser-agent: Googlebot\nallow: /\n", "Bingbot", "/a", kDisallowed},
    {"User-Agent: GOOGLEBOT\nDisallow: /a\n", "googlebot", "/a", kDisallowed},
    {"user-agent: googlebot/2.1\ndisallow: /a\n", "Googlebot", "/a", kDisallowed},
    {"user-agent: googlebot-news\ndisallow: /a\n", "Googlebot", "/a", kAllowed},
    {"user-agent: a\nuser-agent: b\ndisallow: /x\n", "b", "/x", kDisallowed},
    {"user-agent: a\nuser-agent: b\ndisallow: /x\n", "a", "/x", kDisallowed},
    {"user-agent: a\ndisallow: /x\nuser-agent: b\ndisallow: /y\n", "b", "/x", kAllowed},
    {"user-agent: a\ndisallow: /x\n\nuser-agent: b\nuser-agent: a\ndisallow: /y\n", "a", "/x", kDisallowed},
    {"user-agent: a\ndisallow: /x\n\nuser-agent: b\nuser-agent: a\ndisallow: /y\n", "a", "/y", kDisallowed},
    {"user-agent: *\ndisallow: /x\nsitemap: https://h/s.xml\ndisallow: /y\n", "*", "/y", kDisallowed},
    {"user-agent: Googlebot\ndisallow: /g\n", "*", "/g", kAllowed},
    // Keys in any case, blanks and comments around, unknown lines passed by.
    {"USER-AGENT:*\nDISALLOW:/x # why\n", "*", "/x", kDisallowed},
    {"  user-agent :  *  \n\tdisallow\t:\t/x\t\n", "*", "/x/y", kDisallowed},
    {"user-agent: *\ncrawl-delay: 5\nfoo bar\ndisallow: /x\n", "*", "/x", kDisallowed},
    {"user-agent: *\n# disallow: /x\n", "*", "/x", kAllowed},
    // A byte order mark, CR LF, CR alone, no final line break.
    {"\xEF\xBB\xBFuser-agent: *\ndisallow: /x\n", "*", "/x", kDisallowed},
    {"user-agent: *\r\ndisallow: /x\r\nallow: /x/y\r\n", "*", "/x/y", kAllowed},
    {"user-agent: *\r\ndisallow: /x\r\n", "*", "/x", kDisallowed},
    {"user-agent: *\rdisallow: /x\r", "*", "/x", kDisallowed},
    {"user-agent: *\ndisallow: /x", "*", "/x", kDisallowed},
    // robots.txt itself is always allowed.
    {"user-agent: *\ndisallow: /\n", "*", "/robots.txt", kAllowed},
};

TEST(RobotsTxtTest, ConformanceTable) {
  for (const Row& row : kRows) {
    const RobotsTxt robots(row.robots, row.agent);
    EXPECT_EQ(robots.Allows(row.path), row.allowed)
        << "robots.txt:\n" << row.robots << "\nagent " << row.agent << ", path " << row.path;
  }
}

// 600 KiB: a rule within the first 500 KiB counts, one beyond it (or cut
// by the limit) does not.
TEST(RobotsTxtTest, OnlyTheFirst500KiBAreRead) {
  std::string text = "user-agent: *\ndisallow: /early\n";
  const std::string filler = "# " + std::string(1000, 'x') + "\n";
  while (text.size() + filler.size() < RobotsTxt::kMaxBytes) text += filler;
  text += "#" + std::string(RobotsTxt::kMaxBytes - 10 - text.size() - 2, 'y') + "\n";
  text += "disallow: /cut-by-the-limit\n";
  while (text.size() < 600 * 1024) text += filler;
  text += "disallow: /late\n";
  ASSERT_GT(text.size(), 600u * 1024);
  const RobotsTxt robots(text, "*");
  EXPECT_FALSE(robots.Allows("/early/a.html"));
  EXPECT_TRUE(robots.Allows("/cut-by-the-limit/a.html"));
  EXPECT_TRUE(robots.Allows("/late/a.html"));
}

TEST(RobotsTxtTest, SitemapLinesAndProductTokens) {
  const RobotsTxt robots("Sitemap: https://h/a.xml\nuser-agent: *\nSITEMAP:https://h/b.xml # c\nsitemap:\n", "*");
  EXPECT_EQ(robots.sitemaps(), (std::vector<std::string>{"https://h/a.xml", "https://h/b.xml"}));
  for (const char* good : {"*", "Googlebot", "my-bot_x"}) EXPECT_TRUE(RobotsTxt::IsProductToken(good)) << good;
  for (const char* bad : {"", "Googlebot/2.1", "two words", "**", "bot2"}) EXPECT_FALSE(RobotsTxt::IsProductToken(bad)) << bad;
}

}  // namespace
