#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdlib>
#include <utility>

#include "TestSupport.h"
#include "scan/clFindInFolders.h"
#include "sitemap/SitemapWriter.h"
#include "RunText.h"

namespace {


const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n";
const std::string kOpen = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\r\n";
const std::string kMobileOpen =
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\" "
    "xmlns:mobile=\"http://www.google.com/schemas/sitemap-mobile/1.0\">\r\n";
const std::string kClose = "</urlset>\r\n";

// 2026-12-08 12:00 UTC: the same local date in every time zone we test in.
constexpr std::time_t kNoon = 1796731200;

std::string Block(const std::string& loc, const std::string& extra = "") {
  return "\t<url>\r\n\t\t<loc>" + loc + "</loc>\r\n" + extra + "\t</url>\r\n";
}

GenerationInputs Inputs(std::string base, std::vector<std::string> extensions) {
  GenerationInputs inputs;
  inputs.baseUrl = std::move(base);
  inputs.extensions = std::move(extensions);
  return inputs;
}

class SitemapWriterTest : public ::testing::Test {
 protected:
  // Writes the sitemap of entries into the test's folder.
  bool Write(const std::vector<clCompositionFolder>& entries, const GenerationInputs& inputs,
             RunControl* control = nullptr, FileLayer& files = PosixFileLayer::Instance()) {
    ScriptedControl plain;
    SitemapWriter writer(files, [] { return kNoon; });
    const bool written = writer.WriteSitemap(folder.path(), entries, inputs, control ? *control : plain);
    outputPath = writer.outputPath();
    errorText = ErrorOf(writer.problem());
    urlCount = writer.urlCount();
    return written;
  }
  std::string Output() const { return ReadFile(outputPath); }

  TempFolder folder;
  std::string outputPath;
  std::string errorText;
  std::size_t urlCount = 0;
};

// Base URL " /docs " and the list html, htm; change frequency and priority.
const std::vector<clCompositionFolder> kExampleEntries = {
    {1, "index.html", 0}, {1, "img", 1}, {2, "logo.png", 0},
    {1, "sub", 1},        {2, "page.htm", 0}, {1, "readme.txt", 0}};

TEST_F(SitemapWriterTest, WritesTheExampleByteForByte) {
  GenerationInputs inputs = Inputs(" /docs ", {"html", "htm"});
  inputs.changeFreq = true;
  inputs.priority = true;
  ASSERT_TRUE(Write(kExampleEntries, inputs));
  EXPECT_EQ(outputPath, folder.path() + "/nubika_sitemap.xml");
  EXPECT_EQ(Output(), kHead + kOpen +
                          Block("/docs/index.html",
                                "\t\t<changefreq>daily</changefreq>\r\n\t\t<priority>0.8</priority>\r\n") +
                          Block("/docs/sub/page.htm",
                                "\t\t<changefreq>weekly</changefreq>\r\n\t\t<priority>0.4</priority>\r\n") +
                          kClose);
  EXPECT_EQ(urlCount, 2u);
}

TEST_F(SitemapWriterTest, WritesEveryOptionInItsPlace) {
  GenerationInputs inputs = Inputs("https://example.jp", {"html"});
  inputs.lastMod = inputs.changeFreq = inputs.priority = inputs.mobile = true;
  ASSERT_TRUE(Write({{1, "a.html", 0}}, inputs));
  EXPECT_EQ(Output(), kHead + kMobileOpen +
                          Block("https://example.jp/a.html",
                                "\t\t<lastmod>2026-12-08</lastmod>\r\n"
                                "\t\t<changefreq>weekly</changefreq>\r\n"
                                "\t\t<priority>0.4</priority>\r\n"
                                "\t\t<mobile:mobile />\r\n") +
                          kClose);
}

// An empty urlset fails the schema, so the previous sitemap is kept.
TEST_F(SitemapWriterTest, NothingSelectedWritesNothing) {
  WriteFile(folder / "nubika_sitemap.xml", "previous");
  EXPECT_FALSE(Write({}, Inputs("https://example.jp/", {"html"})));
  EXPECT_EQ(errorText, "no file matched the extension list");
  EXPECT_FALSE(Write({{1, "style.css", 0}, {1, "html", 0}}, Inputs("", {"html"})));
  EXPECT_FALSE(Write(kExampleEntries, Inputs("", {})));
  EXPECT_FALSE(Write({{1, "a.html", 0, 0, 0}}, Inputs("", {"html"})));  // not a regular file
  EXPECT_EQ(errorText, "every matching file was left out");
  EXPECT_EQ(Output(), "previous");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"nubika_sitemap.xml"});
}

// Only pages a server can send: no FIFO, device or dangling link, none of
// the program's own files, no URL over the protocol's limit. Each is
// reported; the long URLs in one line.
TEST_F(SitemapWriterTest, LeavesOutWhatNoServerCanSendAndSaysSo) {
  const std::vector<clCompositionFolder> entries = {
      {1, "page.html", 0},
      {1, "fifo.html", 0, 0, 0},
      {1, "nubika_sitemap.xml", 0},
      {1, ".nubika_sitemap.tmp-4242-0a1b2c3d", 0},
      {1, "sub", 1},
      {2, "nubika_sitemap.xml", 0},  // a page of the site, below the root
      {2, "dangling.xml", 0, 0, 0},
      {1, std::string(2100, 'x') + ".html", 0},
      {1, std::string(2200, 'y') + ".html", 0}};
  ASSERT_TRUE(Write(entries, Inputs("https://example.jp/", {"html", "xml"})));
  EXPECT_EQ(Output(), kHead + kOpen + Block("https://example.jp/page.html") +
                          Block("https://example.jp/sub/nubika_sitemap.xml") + kClose);
  EXPECT_EQ(urlCount, 2u);
  SitemapWriter writer;
  ScriptedControl control;
  ASSERT_TRUE(writer.WriteSitemap(folder.path(), entries, Inputs("https://example.jp/", {"html", "xml"}), control));
  // One entry for each page left out, one line for all the long URLs.
  ASSERT_EQ(writer.warnings().total(), 4u);
  EXPECT_EQ(writer.warnings().count(Warning::Reason::kNotRegularFile), 2u);
  EXPECT_EQ(writer.warnings().count(Warning::Reason::kUrlTooLong), 2u);
  EXPECT_EQ(writer.warnings().kept()[3].path, std::string(2200, 'y') + ".html");
  EXPECT_EQ(writer.warnings().kept()[3].count, std::string("https://example.jp/").size() + 2200 + 5);
  ASSERT_EQ(LinesOf(writer.warnings()).size(), 3u);
  EXPECT_EQ(LinesOf(writer.warnings())[0], "not a regular file, left out: fifo.html");
  EXPECT_EQ(LinesOf(writer.warnings())[1], "not a regular file, left out: sub/dangling.xml");
  EXPECT_EQ(LinesOf(writer.warnings())[2].rfind("2 URLs longer than 2048 characters left out, e.g. https://example.jp/xxx", 0), 0u);
}

TEST_F(SitemapWriterTest, MatchesExtensionsExactlyAndCaseSensitively) {
  const std::vector<clCompositionFolder> entries = {
      {1, "PAGE.HTML", 0}, {1, "page.html", 0}, {1, "README", 0}, {1, ".htaccess", 0},
      {1, "web.old", 1},   {2, "notes", 0},     {2, "x.tar.gz", 0}};
  ASSERT_TRUE(Write(entries, Inputs("", {".html", "html", "htaccess", "gz"})));
  GenerationInputs ci = Inputs("", {"html", "htaccess", "gz"});
  ci.priority = true;
  ASSERT_TRUE(Write(entries, ci));
  EXPECT_EQ(Output(), kHead + kOpen + Block("page.html", "\t\t<priority>0.4</priority>\r\n") +
                          Block(".htaccess", "\t\t<priority>0.4</priority>\r\n") +
                          Block("web.old/x.tar.gz", "\t\t<priority>0.4</priority>\r\n") + kClose);
}

TEST_F(SitemapWriterTest, IndexPagesAreNamedIndexInAnyCase) {
  GenerationInputs inputs = Inputs("/", {"html", "HTM", "PHP", "htm"});
  inputs.changeFreq = true;
  const std::vector<clCompositionFolder> entries = {
      {1, "index.html", 0},    {1, "Index.HTM", 0},   {1, "INDEX.PHP", 0},
      {1, "default.htm", 0},   {1, "index.en.html", 0}, {1, "myindex.html", 0}};
  ASSERT_TRUE(Write(entries, inputs));
  const std::string out = Output();
  const std::string daily = "daily", weekly = "weekly";
  std::size_t dailies = 0, weeklies = 0;
  for (std::size_t at = out.find(daily); at != std::string::npos; at = out.find(daily, at + 1)) ++dailies;
  for (std::size_t at = out.find(weekly); at != std::string::npos; at = out.find(weekly, at + 1)) ++weeklies;
  EXPECT_EQ(dailies, 3u);
  EXPECT_EQ(weeklies, 3u);
  EXPECT_NE(out.find("<loc>/index.html</loc>\r\n\t\t<changefreq>daily"), std::string::npos);
  EXPECT_NE(out.find("<loc>/index.en.html</loc>\r\n\t\t<changefreq>weekly"), std::string::npos);
}

TEST_F(SitemapWriterTest, IndexRuleIgnoresATurkishLocale) {
  // In Turkish, upper-casing "i" gives a dotted capital I, not "I".
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_ALL, "tr_TR.UTF-8") && !std::setlocale(LC_ALL, "tr_TR.ISO-8859-9"))
    GTEST_SKIP() << "no Turkish locale on this machine";
  GenerationInputs inputs = Inputs("", {"html"});
  inputs.priority = true;
  const bool written = Write({{1, "index.html", 0}}, inputs);
  std::setlocale(LC_ALL, saved.c_str());
  ASSERT_TRUE(written);
  EXPECT_NE(Output().find("<priority>0.8</priority>"), std::string::npos);
}

TEST_F(SitemapWriterTest, BaseUrlRules) {
  const std::vector<clCompositionFolder> entries = {{1, "sub", 1}, {2, "page.htm", 0}, {1, "index.html", 0}};
  const auto locs = [&](const std::string& base) {
    EXPECT_TRUE(Write(entries, Inputs(base, {"htm", "html"})));
    const std::string out = Output();
    std::string result;
    for (auto at = out.find("<loc>"); at != std::string::npos; at = out.find("<loc>", at + 1))
      result += out.substr(at + 5, out.find("</loc>", at) - at - 5) + " ";
    return result;
  };
  EXPECT_EQ(locs("/docs"), "/docs/sub/page.htm /docs/index.html ");
  EXPECT_EQ(locs("/docs/"), "/docs/sub/page.htm /docs/index.html ");
  EXPECT_EQ(locs("  /docs  "), "/docs/sub/page.htm /docs/index.html ");
  EXPECT_EQ(locs(""), "sub/page.htm index.html ");
  EXPECT_EQ(locs("/docs\t"), "/docs%09/sub/page.htm /docs%09/index.html ");
}

TEST_F(SitemapWriterTest, EncodesNamesAndEscapesTheLoc) {
  const std::vector<clCompositionFolder> entries = {
      {1, "sub dir", 1}, {2, "a&b.html", 0}, {1, "お知らせ", 1}, {2, "<x>'\"#?%.html", 0}};
  ASSERT_TRUE(Write(entries, Inputs("https://example.jp", {"html"})));
  EXPECT_EQ(Output(), kHead + kOpen + Block("https://example.jp/sub%20dir/a&amp;b.html") +
                          Block("https://example.jp/%E3%81%8A%E7%9F%A5%E3%82%89%E3%81%9B/"
                                "%3Cx%3E&apos;%22%23%3F%25.html") +
                          kClose);
}

TEST_F(SitemapWriterTest, SameNamesInDifferentFoldersGetTheirOwnUrls) {
  const std::vector<clCompositionFolder> entries = {
      {1, "a", 1}, {2, "index.html", 0}, {2, "b", 1}, {3, "index.html", 0}, {1, "index.html", 0}};
  ASSERT_TRUE(Write(entries, Inputs("", {"html"})));
  EXPECT_EQ(Output(), kHead + kOpen + Block("a/index.html") + Block("a/b/index.html") + Block("index.html") + kClose);
}

TEST_F(SitemapWriterTest, HasNoLevelLimit) {
  std::vector<clCompositionFolder> entries;
  std::string expected;
  for (std::uint16_t level = 1; level <= 150; ++level) {
    entries.push_back({level, "d", 1});
    expected += "d/";
  }
  entries.push_back({151, "deep.html", 0});
  ASSERT_TRUE(Write(entries, Inputs("", {"html"})));
  EXPECT_EQ(Output(), kHead + kOpen + Block(expected + "deep.html") + kClose);
}

TEST_F(SitemapWriterTest, AWriteProtectedSitemapStaysAndNothingIsCreated) {
  WriteFile(folder / "nubika_sitemap.xml", "protected");
  chmod((folder / "nubika_sitemap.xml").c_str(), 0444);
  ScriptedControl control;
  EXPECT_FALSE(Write(kExampleEntries, Inputs("", {"html"}), &control));
  EXPECT_EQ(control.steps, 0);
  EXPECT_EQ(Output(), "protected");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"nubika_sitemap.xml"});
}

TEST_F(SitemapWriterTest, TheNewSitemapKeepsTheOldModeAndALinkIsReplaced) {
  WriteFile(folder / "nubika_sitemap.xml", "old");
  chmod((folder / "nubika_sitemap.xml").c_str(), 06640);
  ASSERT_TRUE(Write(kExampleEntries, Inputs("", {"html"})));
  struct stat st;
  ASSERT_EQ(stat(outputPath.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);  // no set-ID bits handed on

  WriteFile(folder / "elsewhere.xml", "not mine");
  std::remove(outputPath.c_str());
  ASSERT_EQ(symlink("elsewhere.xml", outputPath.c_str()), 0);
  ASSERT_TRUE(Write(kExampleEntries, Inputs("", {"html"})));
  ASSERT_EQ(lstat(outputPath.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(ReadFile(folder / "elsewhere.xml"), "not mine");
}

TEST_F(SitemapWriterTest, ANewSitemapHonoursTheUmask) {
  const mode_t expected = PosixFileLayer::Instance().NewFileMode();
  ASSERT_TRUE(Write(kExampleEntries, Inputs("", {"html"})));
  struct stat st;
  ASSERT_EQ(stat(outputPath.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, expected);
}

TEST_F(SitemapWriterTest, AMissingFolderFailsWithItsPath) {
  SitemapWriter writer;
  ScriptedControl control;
  EXPECT_FALSE(writer.WriteSitemap(folder / "missing", kExampleEntries, Inputs("", {"html"}), control));
  EXPECT_NE(ErrorOf(writer.problem()).find(folder / "missing"), std::string::npos);
}

TEST_F(SitemapWriterTest, TheDateIsTakenPerFile) {
  std::time_t now = kNoon;  // the run passes midnight between the two files
  SitemapWriter writer(PosixFileLayer::Instance(), [&] { return std::exchange(now, now + 24 * 3600); });
  GenerationInputs inputs = Inputs("", {"html"});
  inputs.lastMod = true;
  ScriptedControl control;
  setenv("TZ", "UTC", 1);
  tzset();
  const std::vector<clCompositionFolder> entries = {{1, "a.html", 0}, {1, "b.html", 0}};
  ASSERT_TRUE(writer.WriteSitemap(folder.path(), entries, inputs, control));
  unsetenv("TZ");
  tzset();
  const std::string out = ReadFile(writer.outputPath());
  EXPECT_LT(out.find("<lastmod>2026-12-08</lastmod>"), out.find("<lastmod>2026-12-09</lastmod>"));
  EXPECT_NE(out.find("<lastmod>2026-12-09</lastmod>"), std::string::npos);
}

// With an absolute base URL every sitemap must pass the Sitemaps schema.
TEST_F(SitemapWriterTest, ScannedSitesValidateAgainstTheSchema) {
  const std::string schemas = NUBIKA_SCHEMA_DIR;
  ASSERT_TRUE(std::ifstream(schemas + "/sitemap.xsd").good()) << "no schema in " << schemas;

  WriteFile(folder / "site/index.html", "");
  WriteFile(folder / "site/a & b/<odd> 'name\".html", "");
  WriteFile(folder / "site/日本語/ページ.htm", "");
  WriteFile(folder / "site/100%/#hash?.html", "");
  clFindInFolders scanner;
  scanner.setLevel(1);
  ASSERT_TRUE(scanner.scanFolder(folder / "site"));
  for (bool mobile : {false, true}) {
    GenerationInputs inputs = Inputs("https://example.jp/サイト", {"html", "htm"});
    inputs.lastMod = inputs.changeFreq = inputs.priority = true;
    inputs.mobile = mobile;
    SitemapWriter writer;
    ScriptedControl control;
    ASSERT_TRUE(writer.WriteSitemap(folder / "site", scanner.entries(), inputs, control));
    EXPECT_EQ(writer.urlCount(), 4u);
    const std::string parse = "xmllint --noout --nonet '" + writer.outputPath() + "'";
    EXPECT_EQ(std::system(parse.c_str()), 0) << "does not parse";
    const std::string schema = schemas + (mobile ? "/sitemap-with-mobile.xsd" : "/sitemap.xsd");
    const std::string validate = "xmllint --noout --nonet --schema '" + schema + "' '" + writer.outputPath() + "' 2>&1";
    EXPECT_EQ(std::system(validate.c_str()), 0) << "does not validate (mobile=" << mobile << ")";
  }
}

}  // namespace
