// What --canonical, --robots-txt and --hreflang make of real pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "SitemapCheck.h"
#include "TestSupport.h"
#include "cli/ProblemText.h"
#include "job/SitemapRun.h"

namespace {

std::string Page(const std::string& head) {
  return "<!DOCTYPE html><html><head><title>t</title>" + head + "</head><body><p>text</p></body></html>\n";
}

class SearchSelectionTest : public ::testing::Test {
 protected:
  SearchSelectionTest() {
    inputs.baseUrl = "https://h.jp/";
    inputs.extensions = {"html"};
  }
  // The run's locs, sorted; the sitemap is checked against the schemas.
  std::set<std::string> Locs() {
    ScriptedControl control;
    result = SitemapRun().Execute(site.path(), [&] { return inputs; }, control);
    EXPECT_TRUE(result.written) << ProblemText::OfRunProblem(result.problem);
    const auto set = SitemapCheck::ReadSet(site.path(), NUBIKA_SCHEMA_DIR);
    EXPECT_EQ(set.error, "");
    return {set.locs.begin(), set.locs.end()};
  }
  // The command line's lines, which name each reason and its data.
  std::vector<std::string> Lines() const {
    std::size_t more = 0;
    return ProblemText::WarningLines(result.warnings, &more);
  }
  std::size_t WarningsWith(const std::string& text) const {
    const std::vector<std::string> shown = Lines();
    return std::count_if(shown.begin(), shown.end(), [&](const std::string& w) { return w.find(text) != w.npos; });
  }

  TempFolder site;
  GenerationInputs inputs;
  RunResult result;
};

TEST_F(SearchSelectionTest, PagesWhoseCanonicalIsAnotherAreLeftOut) {
  const struct {
    const char* path;
    const char* head;
    bool stays;
  } kPages[] = {
      {"absolute.html", "<link rel=canonical href=\"https://h.jp/absolute.html\">", true},
      {"sub/relative.html", "<link rel=canonical href=\"relative.html\">", true},
      {"sub/based.html", "<base href=\"/sub/\"><link rel=canonical href=\"based.html\">", true},
      {"upper.html", "<link rel=canonical href=\"HTTPS://H.JP/upper.html\">", true},
      {"port.html", "<link rel=canonical href=\"https://h.jp:443/port.html\">", true},
      {"~joe.html", "<link rel=canonical href=\"/%7Ejoe.html\">", true},
      {"fragment.html", "<link rel=canonical href=\"#top\">", true},
      {"copy.html", "<link rel=canonical href=\"/absolute.html\">", false},
      {"mirrored.html", "<link rel=canonical href=\"https://mirror.example/mirrored.html\">", false},
      {"sub/other-base.html", "<base href=\"/elsewhere/\"><link rel=canonical href=\"other-base.html\">", false},
      {"http.html", "<link rel=canonical href=\"http://h.jp/http.html\">", false},
      {"empty.html", "<link rel=canonical href=\"\">", true},
      {"broken.html", "<link rel=canonical href=\"https://[::1\">", true},
      {"file.html", "<link rel=canonical href=\"file:///usr/share/doc/file.html\">", true},
      {"in-body.html", "</head><body><link rel=canonical href=\"/absolute.html\">", true},
  };
  std::set<std::string> staying;
  for (const auto& page : kPages) {
    WriteFile(site / page.path, Page(page.head));
    if (page.stays) staying.insert("https://h.jp/" + std::string(page.path) == "https://h.jp/~joe.html"
                                       ? "https://h.jp/~joe.html"
                                       : "https://h.jp/" + std::string(page.path));
  }
  const std::set<std::string> all = Locs();
  EXPECT_EQ(all.size(), std::size(kPages));  // without the option, every page
  inputs.canonical = true;
  EXPECT_EQ(Locs(), staying);
  EXPECT_EQ(WarningsWith("canonical elsewhere: "), 4u);
  EXPECT_EQ(WarningsWith("canonical elsewhere: copy.html -> https://h.jp/absolute.html"), 1u);
  for (const char* ignored : {"canonical ignored (empty) on 1 page, kept: empty.html",
                              "canonical ignored (not a URL) on 1 page, kept: broken.html -> https://[::1",
                              "canonical ignored (not an http or https URL) on 1 page, kept: file.html"})
    EXPECT_EQ(WarningsWith(ignored), 1u) << ignored;
}

// An index page whose canonical is its folder's URL is that page, whether
// it is written as its folder's URL or as its file's; in the latter case
// one warning points to --folder-urls.
TEST_F(SearchSelectionTest, AnIndexPageMayNameItsFolderAsCanonical) {
  WriteFile(site / "docs/index.html", Page("<link rel=canonical href=\"https://h.jp/docs/\">"));
  WriteFile(site / "en/index.html", Page("<link rel=canonical href=\"/en/\">"));
  WriteFile(site / "ja/index.html", Page("<link rel=canonical href=\"/ja/index.html\">"));
  inputs.canonical = true;
  EXPECT_EQ(Locs(), (std::set<std::string>{"https://h.jp/docs/index.html", "https://h.jp/en/index.html",
                                          "https://h.jp/ja/index.html"}));
  EXPECT_EQ(WarningsWith("2 index pages name their folder's URL as canonical"), 1u);
  EXPECT_EQ(WarningsWith("--folder-urls"), 1u);
  inputs.folderUrls = true;
  EXPECT_EQ(Locs(), (std::set<std::string>{"https://h.jp/docs/", "https://h.jp/en/", "https://h.jp/ja/"}));
  EXPECT_TRUE(result.warnings.empty());
}

TEST_F(SearchSelectionTest, TheSitesRobotsTxtLeavesOutWhatItDisallows) {
  for (const char* page : {"index.html", "private/a.html", "private/public/b.html", "drafts.html", "c.html"})
    WriteFile(site / page, "");
  WriteFile(site / "robots.txt",
            "\xEF\xBB\xBFUser-agent: *\r\nDisallow: /private/\r\nAllow: /private/public/\r\n\r\n"
            "User-agent: Googlebot\r\nDisallow: /drafts\r\nSitemap: https://h.jp/nubika_sitemap.xml");
  inputs.robotsTxt = true;
  EXPECT_EQ(Locs(), (std::set<std::string>{"https://h.jp/c.html", "https://h.jp/drafts.html", "https://h.jp/index.html",
                                          "https://h.jp/private/public/b.html"}));
  EXPECT_EQ(Lines(), std::vector<std::string>{"disallowed by robots.txt: private/a.html (Disallow: /private/)"});
  inputs.robotsAgent = "googlebot";
  EXPECT_EQ(Locs(), (std::set<std::string>{"https://h.jp/c.html", "https://h.jp/index.html",
                                          "https://h.jp/private/a.html", "https://h.jp/private/public/b.html"}));
  // Below the host's root there is no robots.txt of its own: nothing left out.
  inputs.baseUrl = "https://h.jp/docs/";
  EXPECT_EQ(Locs().size(), 5u);
  EXPECT_EQ(Lines(), std::vector<std::string>{"robots.txt left alone: the base URL https://h.jp/docs/ is not a host's "
                                              "root, which alone has one; no page is left out and no Sitemap: line "
                                              "added"});
  // Every page disallowed: no sitemap, the cause named.
  inputs.baseUrl = "https://h.jp/";
  inputs.robotsAgent = "*";
  WriteFile(site / "robots.txt", "user-agent: *\ndisallow: /\n");
  const std::string before = ReadFile(site / "nubika_sitemap.xml");
  ScriptedControl control;
  result = SitemapRun().Execute(site.path(), [&] { return inputs; }, control);
  EXPECT_FALSE(result.written);
  EXPECT_EQ(result.problem.code, RunProblem::Code::kEveryMatchLeftOut);
  EXPECT_EQ(WarningsWith("more pages disallowed by robots.txt"), 0u);
  EXPECT_EQ(WarningsWith("disallowed by robots.txt: "), 5u);
  EXPECT_EQ(WarningsWith("robots.txt has no Sitemap: line for https://h.jp/nubika_sitemap.xml"), 1u);
  EXPECT_EQ(ReadFile(site / "nubika_sitemap.xml"), before);
}

TEST_F(SearchSelectionTest, LanguageVersionsAreWrittenAndTheirClustersChecked) {
  const std::string cluster =
      "<link rel=alternate hreflang=en href=/en/><link rel=alternate hreflang=ja href=\"https://h.jp/ja/\">"
      "<link rel=alternate hreflang=de href=/de/index.html><link rel=alternate hreflang=x-default href=/>";
  for (const char* page : {"index.html", "en/index.html", "ja/index.html", "de/index.html"})
    WriteFile(site / page, Page(cluster));
  WriteFile(site / "a.html", Page("<link rel=alternate hreflang=en href=a.html><link rel=alternate hreflang=fr "
                                  "href=b.html><link rel=alternate hreflang=de href=hidden.html>"
                                  "<link rel=alternate hreflang=english href=c.html>"));
  WriteFile(site / "b.html", Page("<link rel=alternate hreflang=fr href=b.html>"));
  WriteFile(site / "c.html", "");
  WriteFile(site / "hidden.html", Page("<meta name=robots content=noindex>"));
  inputs.hreflang = true;
  inputs.skipNoindex = true;
  inputs.mobile = true;
  EXPECT_EQ(Locs().size(), 7u);
  const std::string text = ReadFile(site / "nubika_sitemap.xml");
  EXPECT_NE(text.find("<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\" xmlns:mobile=\"http://"
                      "www.google.com/schemas/sitemap-mobile/1.0\" xmlns:xhtml=\"http://www.w3.org/1999/xhtml\">\r\n"),
            text.npos);
  const std::string versions =
      "\t\t<mobile:mobile />\r\n"
      "\t\t<xhtml:link rel=\"alternate\" hreflang=\"en\" href=\"https://h.jp/en/\"/>\r\n"
      "\t\t<xhtml:link rel=\"alternate\" hreflang=\"ja\" href=\"https://h.jp/ja/\"/>\r\n"
      "\t\t<xhtml:link rel=\"alternate\" hreflang=\"de\" href=\"https://h.jp/de/index.html\"/>\r\n"
      "\t\t<xhtml:link rel=\"alternate\" hreflang=\"x-default\" href=\"https://h.jp/\"/>\r\n\t</url>\r\n";
  int members = 0;
  for (const std::string& block : SitemapCheck::UrlBlocks(text))
    if (block.find("/index.html</loc>") != block.npos) members += block.ends_with(versions) ? 1 : 100;
  EXPECT_EQ(members, 4);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"hreflang not returned: a.html -> https://h.jp/b.html does not link back",
                                      "hreflang alternate not in the sitemap: a.html -> https://h.jp/hidden.html",
                                      "hreflang \"english\" is no language tag, alternate left out: a.html",
                                      "hreflang not returned: a.html -> https://h.jp/c.html does not link back",
                                      "1 page marked noindex left out"}));
}

// With none of the options, pages with links give the sitemap as before.
TEST_F(SearchSelectionTest, WithTheOptionsOffNothingChanges) {
  WriteFile(site / "a.html", Page("<link rel=canonical href=/b.html><link rel=alternate hreflang=en href=/b.html>"));
  WriteFile(site / "b.html", "");
  WriteFile(site / "robots.txt", "user-agent: *\ndisallow: /\n");
  EXPECT_EQ(Locs().size(), 2u);
  std::string expected = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n"
                         "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\r\n";
  for (const std::string& loc : SitemapCheck::Parse(ReadFile(site / "nubika_sitemap.xml")).locs)
    expected += "\t<url>\r\n\t\t<loc>" + loc + "</loc>\r\n\t</url>\r\n";
  EXPECT_EQ(ReadFile(site / "nubika_sitemap.xml"), expected + "</urlset>\r\n");
  EXPECT_TRUE(result.warnings.empty());
}

}  // namespace
