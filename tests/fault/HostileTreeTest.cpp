// Folder trees that try to break the scan: links that loop or lead
// nowhere, folders that refuse to be listed, a tree deeper than a path can
// be long, a huge folder and names of every byte. Each run must end, and
// what it writes must be a sitemap that an XML parser and the schema accept
// with one URL per page that was reachable.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FakeDirectoryLister.h"
#include "SitemapCheck.h"
#include "TempFolder.h"
#include "scan/clFindInFolders.h"
#include "sitemap/SitemapWriter.h"

namespace {

constexpr const char* kBase = "https://example.jp/site/";
using Path = std::vector<std::string>;

class NeverStop : public RunControl {
 public:
  bool terminateRequested() const override { return false; }
  void StepProgress() override {}
};

struct RunResult {
  bool written = false;
  std::vector<clFindInFolders::UnlistedFolder> unlisted;
  std::vector<Path> pages;  // the URLs, decoded back to names, sorted
  std::size_t longUrls = 0;
};

// One run as the programs make it: scan at level 1, then write. The
// sitemap goes to writeTo (the scanned folder unless the tree is fake).
// URLs past the protocol's 2,048 characters are written and reported, and
// the schema rejects them; trees that make such URLs skip the schema.
RunResult ScanAndWrite(const std::string& folder, const std::string& writeTo, DirectoryLister* lister = nullptr) {
  clFindInFolders scanner(lister);
  scanner.setLevel(1);
  EXPECT_TRUE(scanner.scanFolder(folder));
  RunResult result;
  result.unlisted = scanner.unlistedFolders();
  GenerationInputs inputs;
  inputs.baseUrl = kBase;
  inputs.changeFreq = inputs.priority = true;
  inputs.extensions = {"html"};
  NeverStop control;
  SitemapWriter writer;
  result.written = writer.WriteSitemap(writeTo, scanner.entries(), inputs, control);
  if (!result.written) return result;
  result.longUrls = writer.longUrls().size();

  const std::string xml = SitemapCheck::ReadFile(writer.outputPath());
  const auto parsed = SitemapCheck::Parse(xml);
  EXPECT_TRUE(parsed.wellFormed) << parsed.error;
  if (result.longUrls == 0 && SitemapCheck::FileExists(NUBIKA_SCHEMA_DIR "/sitemap.xsd")) {
    EXPECT_EQ(SitemapCheck::Validate(xml, NUBIKA_SCHEMA_DIR), "");
  }
  for (const auto& loc : parsed.locs) {
    const auto segments = SitemapCheck::SegmentsBelow(loc, kBase);
    EXPECT_TRUE(segments.has_value()) << loc;
    if (segments) result.pages.push_back(*segments);
  }
  std::sort(result.pages.begin(), result.pages.end());
  return result;
}

void Touch(int folderFd, const std::string& name) {
  const int fd = openat(folderFd, name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << name;
  close(fd);
}

void Touch(const std::string& path) { Touch(AT_FDCWD, path); }

TEST(HostileTrees, LinksThatLoopOrLeadNowhereEndTheRun) {
  TempFolder site;
  ASSERT_EQ(mkdir((site / "real").c_str(), 0755), 0);
  Touch(site / "real/page.html");
  ASSERT_EQ(symlink("..", (site / "real/up").c_str()), 0);
  ASSERT_EQ(symlink(".", (site / "self").c_str()), 0);
  ASSERT_EQ(symlink("loop-b.html", (site / "loop-a.html").c_str()), 0);
  ASSERT_EQ(symlink("loop-a.html", (site / "loop-b.html").c_str()), 0);
  ASSERT_EQ(symlink("nowhere/missing.html", (site / "dangling.html").c_str()), 0);

  const RunResult result = ScanAndWrite(site.path(), site.path());
  ASSERT_TRUE(result.written);
  EXPECT_TRUE(result.unlisted.empty());
  // Links to folders are never entered; links to nothing count as files.
  const std::vector<Path> expected = {{"dangling.html"}, {"loop-a.html"}, {"loop-b.html"}, {"real", "page.html"}};
  EXPECT_EQ(result.pages, expected);
}

TEST(HostileTrees, FoldersThatCannotBeListedAreReportedAndTheRestIsWritten) {
  FakeDirectoryLister lister;
  using Kind = ListedEntry::Kind;
  lister.Add("root", {{"open", Kind::kFolder}, {"locked", Kind::kFolder}, {"vanished", Kind::kFolder},
                      {"top.html", Kind::kFile}});
  lister.Add("root/open", {{"inner.html", Kind::kFile}, {"locked-too", Kind::kFolder}});
  lister.Refuse("root/locked", "Permission denied");
  lister.Refuse("root/open/locked-too", "Input/output error");
  TempFolder out;

  const RunResult result = ScanAndWrite("root", out.path(), &lister);
  ASSERT_TRUE(result.written);
  ASSERT_EQ(result.unlisted.size(), 3u);
  EXPECT_EQ(result.unlisted[0].path, "root/open/locked-too");
  EXPECT_EQ(result.unlisted[0].reason, "Input/output error");
  EXPECT_EQ(result.unlisted[1].path, "root/locked");
  EXPECT_EQ(result.unlisted[1].reason, "Permission denied");
  EXPECT_EQ(result.unlisted[2].path, "root/vanished");
  const std::vector<Path> expected = {{"open", "inner.html"}, {"top.html"}};
  EXPECT_EQ(result.pages, expected);
}

TEST(HostileTrees, TargetThatIsNoFolderYieldsNothingAndIsReported) {
  TempFolder site;
  Touch(site / "file.html");
  for (const std::string& target : {site / "file.html", std::string("/dev/null"), site / "missing"}) {
    SCOPED_TRACE(target);
    clFindInFolders scanner;
    scanner.setLevel(1);
    EXPECT_TRUE(scanner.scanFolder(target));
    EXPECT_TRUE(scanner.entries().empty());
    ASSERT_EQ(scanner.unlistedFolders().size(), 1u);
    EXPECT_EQ(scanner.unlistedFolders()[0].path, target);
  }
}

// A chain of folders whose paths outgrow PATH_MAX: the folders that can
// still be named are listed, the first one that cannot is reported, and the
// sitemap holds the page of every listed level.
TEST(HostileTrees, TreeDeeperThanAPathCanBeLong) {
  constexpr int kDepth = 2000;
  const std::string name = "deep-folder";
  TempFolder site(TempFolder::Place::kMemory);
  int fd = open(site.path().c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
  for (int level = 0; level < kDepth; ++level) {
    Touch(fd, "page.html");
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0) << level;
    const int child = openat(fd, name.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    ASSERT_GE(child, 0) << level;
    close(fd);
    fd = child;
  }
  close(fd);

  const RunResult result = ScanAndWrite(site.path(), site.path());
  ASSERT_TRUE(result.written);
  ASSERT_EQ(result.unlisted.size(), 1u);
  const std::string& tooDeep = result.unlisted[0].path;
  EXPECT_GE(tooDeep.size(), std::size_t{PATH_MAX});
  EXPECT_LT(tooDeep.size() - name.size() - 1, std::size_t{PATH_MAX});
  EXPECT_EQ(result.unlisted[0].reason, "File name too long");

  const std::size_t listedLevels = (tooDeep.size() - site.path().size()) / (name.size() + 1);
  ASSERT_EQ(result.pages.size(), listedLevels);
  RecordProperty("listed_levels", static_cast<int>(listedLevels));
  EXPECT_GT(result.longUrls, 0u);
  for (std::size_t depth = 0; depth < listedLevels; ++depth) {
    Path expected(depth, name);
    expected.push_back("page.html");
    EXPECT_NE(std::find(result.pages.begin(), result.pages.end(), expected), result.pages.end()) << depth;
  }
}

TEST(HostileTrees, FolderOfTwoHundredThousandEntries) {
  constexpr int kCount = 200000;
  TempFolder site(TempFolder::Place::kMemory);
  ASSERT_EQ(mkdir((site / "huge").c_str(), 0755), 0);
  const int fd = open((site / "huge").c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
  std::vector<Path> expected;
  for (int n = 0; n < kCount; ++n) {
    char fileName[32];
    std::snprintf(fileName, sizeof fileName, "p%06d.html", n);
    Touch(fd, fileName);
    expected.push_back({"huge", fileName});
  }
  close(fd);

  const RunResult result = ScanAndWrite(site.path(), site.path());
  ASSERT_TRUE(result.written);
  EXPECT_TRUE(result.unlisted.empty());
  EXPECT_EQ(result.pages, expected);
}

// Every byte but "/" and NUL, alone and all together, in file and folder
// names: each must come back out of its URL unchanged.
TEST(HostileTrees, NamesOfEveryByte) {
  TempFolder site;
  std::vector<Path> expected;
  std::string lowBytes, highBytes;
  for (int byte = 1; byte <= 0xFF; ++byte) {
    if (byte == '/') continue;
    (byte < 0x80 ? lowBytes : highBytes).push_back(static_cast<char>(byte));
    const std::string name = std::string("b") + static_cast<char>(byte) + ".html";
    Touch(site / name);
    expected.push_back({name});
  }
  ASSERT_EQ(mkdir((site / lowBytes).c_str(), 0755), 0);
  ASSERT_EQ(mkdir((site / highBytes).c_str(), 0755), 0);
  Touch(site / (lowBytes + "/" + highBytes + ".html"));
  Touch(site / (highBytes + "/" + lowBytes + ".html"));
  expected.push_back({lowBytes, highBytes + ".html"});
  expected.push_back({highBytes, lowBytes + ".html"});
  std::sort(expected.begin(), expected.end());

  const RunResult result = ScanAndWrite(site.path(), site.path());
  ASSERT_TRUE(result.written);
  EXPECT_TRUE(result.unlisted.empty());
  EXPECT_EQ(result.pages, expected);
}

}  // namespace
