#include "job/SitemapRun.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <new>

#include "FakeDirectoryLister.h"
#include "SitemapCheck.h"
#include "TestSupport.h"

namespace {

GenerationInputs SomeInputs() {
  GenerationInputs inputs;
  inputs.baseUrl = "https://example.jp/";
  inputs.extensions = {"html"};
  return inputs;
}

RunResult RunOn(const std::string& folder, SitemapRun::Environment environment = {}) {
  ScriptedControl control;
  return SitemapRun(std::move(environment)).Execute(folder, SomeInputs, control);
}

// The real disk, out of memory at the nth write.
class ExhaustedFileLayer : public PosixFileLayer {
 public:
  bool Write(int fd, const char* data, std::size_t size, std::string* error) override {
    if (++writes_ == 2) throw std::bad_alloc();
    return PosixFileLayer::Write(fd, data, size, error);
  }

 private:
  int writes_ = 0;
};

class ExhaustedLister : public FakeDirectoryLister {
 public:
  bool List(FolderHandle, std::vector<ListedEntry>*, std::string*) override { throw std::bad_alloc(); }
};

TEST(SitemapRunTest, RunningOutOfMemoryAnywhereFailsAndKeepsThePreviousSitemap) {
  TempFolder site;
  for (int i = 0; i < 20000; ++i) WriteFile(site / ("page-with-a-long-name-" + std::to_string(i) + ".html"), "");
  WriteFile(site / "nubika_sitemap.xml", "previous");

  ExhaustedFileLayer files;
  RunResult writing = RunOn(site.path(), {nullptr, &files, {}});
  EXPECT_FALSE(writing.written);
  EXPECT_EQ(writing.error, "out of memory");

  ExhaustedLister lister;
  lister.Dir(site.path(), "x");
  RunResult scanning = RunOn(site.path(), {&lister, nullptr, {}});
  EXPECT_FALSE(scanning.written);
  EXPECT_EQ(scanning.error, "out of memory");

  EXPECT_EQ(ReadFile(site / "nubika_sitemap.xml"), "previous");
  EXPECT_TRUE(site.Leftovers().empty());
}

TEST(SitemapRunTest, OneRuleTellsWhichFolderAPathStandsFor) {
  TempFolder site;
  WriteFile(site / "page.html", "");
  std::string folder, error;
  EXPECT_TRUE(SitemapRun::ResolveFolder(site.path(), &folder, &error));
  EXPECT_EQ(folder, site.path());
  EXPECT_TRUE(SitemapRun::ResolveFolder(site / "page.html", &folder, &error));
  EXPECT_EQ(folder, site.path());

  const auto home = std::filesystem::current_path();
  std::filesystem::current_path(site.path());
  EXPECT_TRUE(SitemapRun::ResolveFolder("page.html", &folder, &error));
  std::filesystem::current_path(home);
  EXPECT_EQ(folder, std::filesystem::canonical(site.path()).string());  // in full, not "."

  for (const std::string& refused : {std::string(), std::string("/dev/null"), site / "missing"}) {
    error.clear();
    EXPECT_FALSE(SitemapRun::ResolveFolder(refused, &folder, &error)) << refused;
    EXPECT_FALSE(error.empty());
  }
}

// The real disk, with a link flipped to another folder, as an atomic
// deploy does, the first time the run lists its folder: after the lock,
// before the scan and the writing.
class FlippingFileLayer : public PosixFileLayer {
 public:
  FlippingFileLayer(std::string link, std::string newTarget)
      : link_(std::move(link)), newTarget_(std::move(newTarget)) {}
  bool ListFolder(int folder, std::vector<std::string>* names, std::string* error) override {
    if (!flipped_) {
      flipped_ = true;
      const std::string fresh = link_ + ".new";
      EXPECT_EQ(symlink(newTarget_.c_str(), fresh.c_str()), 0);
      EXPECT_EQ(rename(fresh.c_str(), link_.c_str()), 0);
    }
    return PosixFileLayer::ListFolder(folder, names, error);
  }

 private:
  std::string link_, newTarget_;
  bool flipped_ = false;
};

TEST(SitemapRunTest, TheFolderLockedIsTheFolderScannedAndWritten) {
  TempFolder deploy;
  WriteFile(deploy / "release-a/a.html", "");
  WriteFile(deploy / "release-b/b.html", "");
  // B's own set, and a user's file that looks like a temporary one.
  const std::vector<std::string> ofB = {"b.html", "nubika_sitemap-20200101000000-1.xml.gz", "nubika_sitemap.xml",
                                        ".nubika_sitemap.xml.backup"};
  for (const std::string& name : ofB) WriteFile(deploy / ("release-b/" + name), "b's " + name);
  ASSERT_EQ(symlink("release-a", (deploy / "current").c_str()), 0);

  FlippingFileLayer files(deploy / "current", "release-b");
  ScriptedControl control;
  GenerationInputs inputs = SomeInputs();
  inputs.gzip = true;
  const RunResult result =
      SitemapRun({nullptr, &files, {}}).Execute(deploy / "current", [&] { return inputs; }, control);
  ASSERT_TRUE(result.written) << result.error;
  EXPECT_EQ(SitemapCheck::ReadSet(deploy / "release-a", NUBIKA_SCHEMA_DIR).locs,
            std::vector<std::string>{"https://example.jp/a.html"});
  std::vector<std::string> inB, expected = ofB;
  for (const auto& entry : std::filesystem::directory_iterator(deploy / "release-b"))
    inB.push_back(entry.path().filename());
  std::sort(inB.begin(), inB.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(inB, expected);
  for (const std::string& name : ofB) EXPECT_EQ(ReadFile(deploy / ("release-b/" + name)), "b's " + name) << name;
}

TEST(SitemapRunTest, AnUnusableBaseUrlWritesNothing) {
  TempFolder site;
  WriteFile(site / "page.html", "");
  ScriptedControl control;
  GenerationInputs inputs = SomeInputs();
  inputs.baseUrl = "/docs/";
  const RunResult result = SitemapRun().Execute(site.path(), [&] { return inputs; }, control);
  EXPECT_FALSE(result.written);
  EXPECT_EQ(result.error, "the base URL is not usable: /docs/");
  EXPECT_EQ(site.Names(), std::vector<std::string>{"page.html"});
}

}  // namespace

namespace {

// What each option adds to a run, on real files.
class SelectionOptionsTest : public ::testing::Test {
 protected:
  std::vector<std::string> Locs(const GenerationInputs& inputs) {
    ScriptedControl control;
    result = SitemapRun().Execute(site.path(), [&] { return inputs; }, control);
    EXPECT_TRUE(result.written) << result.error;
    std::vector<std::string> locs;
    const std::string text = ReadFile(site / "nubika_sitemap.xml");
    for (auto at = text.find("<loc>"); at != std::string::npos; at = text.find("<loc>", at + 1))
      locs.push_back(text.substr(at + 5, text.find("</loc>", at) - at - 5));
    std::sort(locs.begin(), locs.end());
    return locs;
  }

  TempFolder site;
  RunResult result;
};

TEST_F(SelectionOptionsTest, DatesFromTheFilesAreTheirDaysWhereTheRunIs) {
  WriteFile(site / "a.html", "");
  WriteFile(site / "sub/b.html", "");
  const timespec times[2] = {{1676417400, 0}, {1676417400, 0}};  // 2023-02-14 23:30 UTC
  ASSERT_EQ(utimensat(AT_FDCWD, (site / "a.html").c_str(), times, 0), 0);
  GenerationInputs inputs = SomeInputs();
  inputs.lastMod = inputs.lastModFromFile = true;
  const char* zone = getenv("TZ");
  const std::string saved = zone ? zone : "";
  struct stat status;
  ASSERT_EQ(stat((site / "sub/b.html").c_str(), &status), 0);
  for (const auto& [tz, day] : {std::pair{"UTC", "2023-02-14"}, std::pair{"Asia/Tokyo", "2023-02-15"}}) {
    setenv("TZ", tz, 1);
    tzset();
    Locs(inputs);
    const std::string text = ReadFile(site / "nubika_sitemap.xml");
    EXPECT_NE(text.find("a.html</loc>\r\n\t\t<lastmod>" + std::string(day) + "</lastmod>"), std::string::npos) << tz;
    char created[16];
    std::strftime(created, sizeof created, "%Y-%m-%d", std::localtime(&status.st_mtime));
    EXPECT_NE(text.find(std::string("b.html</loc>\r\n\t\t<lastmod>") + created), std::string::npos) << tz;
  }
  zone ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST_F(SelectionOptionsTest, ExcludedAndNoindexPagesAreLeftOut) {
  for (const char* page : {"a.html", "drafts/b.html", "c.bak", "keep.bak", "deep/drafts/d.html", "404.html"})
    WriteFile(site / page, "");
  WriteFile(site / "hidden.html", "<html><head><META NAME=Robots CONTENT=\"NOINDEX, follow\"></head></html>");
  WriteFile(site / "body.html", "<html><head><title>x</title></head><body>noindex</body></html>");
  GenerationInputs inputs = SomeInputs();
  inputs.extensions = {"html", "bak"};
  inputs.exclude = {"# drafts anywhere, a 404 page and backups but one", "drafts/", "404.html", "*.bak",
                    "!keep.bak"};
  const std::string base = "https://example.jp/";
  EXPECT_EQ(Locs(inputs), (std::vector<std::string>{base + "a.html", base + "body.html", base + "hidden.html",
                                                    base + "keep.bak"}));
  inputs.skipNoindex = true;
  EXPECT_EQ(Locs(inputs), (std::vector<std::string>{base + "a.html", base + "body.html", base + "keep.bak"}));
  EXPECT_EQ(result.warnings.shown(), std::vector<std::string>{"1 page marked noindex left out"});
}

// When the exclusions take every page the run says so, whether the scan
// found nothing at all or only what is no page; a malformed pattern stops
// the run before anything is touched.
TEST_F(SelectionOptionsTest, ExclusionsThatLeaveNoPageAreNamed) {
  WriteFile(site / "a.html", "");
  WriteFile(site / "drafts/b.html", "");
  WriteFile(site / "style.css", "");
  GenerationInputs inputs = SomeInputs();
  const auto failure = [&] {
    ScriptedControl control;
    const RunResult run = SitemapRun().Execute(site.path(), [&] { return inputs; }, control);
    EXPECT_FALSE(run.written);
    return run.error;
  };
  inputs.exclude = {"*.html", "drafts/"};
  EXPECT_EQ(failure(), "every page is excluded: the exclusion patterns left out 1 page and 1 folder");
  inputs.exclude = {"*"};
  EXPECT_EQ(failure(), site.path() + ": every page is excluded: the exclusion patterns left out 1 page, 1 folder "
                                     "and 1 other entry");
  inputs.exclude = {"*.css"};
  inputs.extensions = {"php"};
  EXPECT_EQ(failure(), "no file matched the extension list");  // the exclusions took no page
  inputs.exclude = {"ok", "[abc"};
  EXPECT_EQ(failure(), "exclusion pattern 2 is malformed: [abc");
  EXPECT_EQ(site.Names(), (std::vector<std::string>{"a.html", "drafts", "style.css"}));
}

// The writer starts every URL with the base in its normal form.
TEST_F(SelectionOptionsTest, TheBaseUrlIsWrittenNormalised) {
  WriteFile(site / "a.html", "");
  GenerationInputs inputs = SomeInputs();
  inputs.baseUrl = " HTTPS://Example.JP/x/../docs/./ ";
  EXPECT_EQ(Locs(inputs), std::vector<std::string>{"https://example.jp/docs/a.html"});
}

// An index page stands for its folder; where a folder holds two, the one
// first in the list does.
TEST_F(SelectionOptionsTest, IndexPagesBecomeTheirFoldersUrls) {
  for (const char* page : {"index.html", "page.html", "docs/index.htm", "docs/a/index.html", "both/index.htm",
                           "both/index.html", "other/Index.html"})
    WriteFile(site / page, "");
  GenerationInputs inputs = SomeInputs();
  inputs.extensions = {"html", "htm"};
  inputs.folderUrls = true;
  const std::string base = "https://example.jp/";
  EXPECT_EQ(Locs(inputs), (std::vector<std::string>{base, base + "both/", base + "both/index.htm", base + "docs/",
                                                    base + "docs/a/", base + "other/Index.html",
                                                    base + "page.html"}));
  inputs.indexNames = {"index.htm", "index.html"};
  EXPECT_EQ(Locs(inputs), (std::vector<std::string>{base, base + "both/", base + "both/index.html", base + "docs/",
                                                    base + "docs/a/", base + "other/Index.html",
                                                    base + "page.html"}));
}

// Followed links are entered wherever they lead, each real folder once.
TEST_F(SelectionOptionsTest, FollowedLinksEnterEachFolderOnce) {
  TempFolder outside;
  WriteFile(site / "a.html", "");
  WriteFile(outside / "o.html", "");
  ASSERT_EQ(symlink(site.path().c_str(), (site / "loop").c_str()), 0);
  ASSERT_EQ(symlink(outside.path().c_str(), (site / "out").c_str()), 0);
  ASSERT_EQ(symlink(outside.path().c_str(), (site / "out-again").c_str()), 0);
  GenerationInputs inputs = SomeInputs();
  const std::string base = "https://example.jp/";
  EXPECT_EQ(Locs(inputs), std::vector<std::string>{base + "a.html"});
  inputs.followLinks = true;
  const auto locs = Locs(inputs);
  ASSERT_EQ(locs.size(), 2u);
  EXPECT_EQ(locs[0], base + "a.html");
  EXPECT_TRUE(locs[1] == base + "out/o.html" || locs[1] == base + "out-again/o.html") << locs[1];
}

}  // namespace
