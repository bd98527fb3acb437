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
#include <cerrno>
#include <string>
#include <vector>

#include "FakeDirectoryLister.h"
#include "SitemapCheck.h"
#include "TestSupport.h"
#include "job/SitemapRun.h"
#include "scan/clFindInFolders.h"
#include "RunText.h"

namespace {

constexpr const char* kBase = "https://example.jp/site/";
using Path = std::vector<std::string>;

struct Outcome {
  RunResult run;
  std::vector<Path> pages;  // the URLs, decoded back to names, sorted
};

// One whole run of folder, on the disk or on the lister's tree; every
// sitemap it writes, index and parts, must parse and pass the schemas.
Outcome RunOn(const std::string& folder, DirectoryLister* lister = nullptr) {
  GenerationInputs inputs;
  inputs.baseUrl = kBase;
  inputs.changeFreq = inputs.priority = true;
  inputs.extensions = {"html"};
  ScriptedControl control;
  Outcome outcome{SitemapRun({lister, nullptr, {}}).Execute(folder, [&] { return inputs; }, control), {}};
  if (!outcome.run.written) return outcome;

  const SitemapCheck::Set set = SitemapCheck::ReadSet(outcome.run.folder, NUBIKA_SCHEMA_DIR);
  EXPECT_EQ(set.error, "");
  for (const auto& loc : set.locs) {
    const auto segments = SitemapCheck::SegmentsBelow(loc, kBase);
    EXPECT_TRUE(segments.has_value()) << loc;
    if (segments) outcome.pages.push_back(*segments);
  }
  std::sort(outcome.pages.begin(), outcome.pages.end());
  return outcome;
}

std::vector<std::string> Shown(const RunResult& result) { return LinesOf(result.warnings); }

void Touch(int folderFd, const std::string& name) {
  const int fd = openat(folderFd, name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << name;
  close(fd);
}

void Touch(const std::string& path) { Touch(AT_FDCWD, path); }

// Only what resolves to a regular file is a page: links that loop or lead
// nowhere, FIFOs and sockets are reported instead; a link to a page is a
// page. Links to folders are not entered.
TEST(HostileTrees, LinksThatLoopOrLeadNowhereAndSpecialFilesAreNoPages) {
  TempFolder site;
  ASSERT_EQ(mkdir((site / "real").c_str(), 0755), 0);
  Touch(site / "real/page.html");
  ASSERT_EQ(symlink("..", (site / "real/up").c_str()), 0);
  ASSERT_EQ(symlink(".", (site / "self").c_str()), 0);
  ASSERT_EQ(symlink("loop-b.html", (site / "loop-a.html").c_str()), 0);
  ASSERT_EQ(symlink("loop-a.html", (site / "loop-b.html").c_str()), 0);
  ASSERT_EQ(symlink("nowhere/missing.html", (site / "dangling.html").c_str()), 0);
  ASSERT_EQ(symlink("real/page.html", (site / "link.html").c_str()), 0);
  ASSERT_EQ(mkfifo((site / "fifo.html").c_str(), 0644), 0);
  ASSERT_EQ(mknod((site / "socket.html").c_str(), S_IFSOCK | 0644, 0), 0);

  const Outcome outcome = RunOn(site.path());
  ASSERT_TRUE(outcome.run.written) << ErrorOf(outcome.run);
  const std::vector<Path> expected = {{"link.html"}, {"real", "page.html"}};
  EXPECT_EQ(outcome.pages, expected);
  std::vector<std::string> warned = Shown(outcome.run);
  std::sort(warned.begin(), warned.end());
  const std::vector<std::string> expectedWarnings = {
      "not a regular file, left out: dangling.html", "not a regular file, left out: fifo.html",
      "not a regular file, left out: loop-a.html", "not a regular file, left out: loop-b.html",
      "not a regular file, left out: socket.html"};
  EXPECT_EQ(warned, expectedWarnings);
}

TEST(HostileTrees, FoldersThatCannotBeListedAreReportedAndTheRestIsWritten) {
  TempFolder out;
  const std::string root = out.path();
  FakeDirectoryLister lister;
  using Kind = ListedEntry::Kind;
  lister.Add(root, {{"open", Kind::kFolder}, {"locked", Kind::kFolder}, {"vanished", Kind::kFolder},
                    {"cut", Kind::kFolder}, {"top.html", Kind::kFile}});
  lister.Add(root + "/open", {{"inner.html", Kind::kFile}, {"locked-too", Kind::kFolder}});
  lister.Add(root + "/cut", {{"a.html", Kind::kFile}, {"b.html", Kind::kFile}, {"c.html", Kind::kFile}});
  lister.Refuse(root + "/locked", "Permission denied");
  lister.Refuse(root + "/open/locked-too", "Input/output error");
  lister.BreakOff(root + "/cut", 2, EIO);

  const Outcome outcome = RunOn(root, &lister);
  ASSERT_TRUE(outcome.run.written);
  const std::vector<std::string> expectedWarnings = {
      "could not list " + root + "/open/locked-too: Input/output error",
      "could not list " + root + "/locked: Permission denied",
      "could not list " + root + "/vanished: No such file or directory",
      "could not list all of " + root + "/cut: Input/output error"};
  EXPECT_EQ(Shown(outcome.run), expectedWarnings);
  const std::vector<Path> expected = {{"cut", "a.html"}, {"cut", "b.html"}, {"open", "inner.html"}, {"top.html"}};
  EXPECT_EQ(outcome.pages, expected);
}

// Running out of descriptors is not a folder that cannot be listed: with
// the two the walk needs the run is whole, with fewer it fails and the
// previous sitemap stays.
TEST(HostileTrees, RunningOutOfDescriptorsNeverWritesAShortSitemap) {
  TempFolder out;
  const std::string root = out.path();
  FakeDirectoryLister lister;
  std::string chain = root;
  for (int level = 0; level < 200; ++level, chain += "/c") {  // each folder is needed till its last
    lister.File(chain, "p.html");
    lister.Dir(chain, "c");
    lister.Dir(chain, "last");
  }
  lister.descriptors = 2;
  const Outcome whole = RunOn(root, &lister);
  ASSERT_TRUE(whole.run.written) << ErrorOf(whole.run);
  EXPECT_EQ(whole.pages.size(), 200u);
  EXPECT_EQ(Shown(whole.run), std::vector<std::string>{});

  const std::string previous = ReadFile(whole.run.path);
  lister.descriptors = 1;
  const Outcome starved = RunOn(root, &lister);
  EXPECT_FALSE(starved.run.written);
  EXPECT_EQ(ErrorOf(starved.run), "could not open " + root +
                                   "/c: Too many open files (the scan had let go of every descriptor it could)");
  EXPECT_EQ(ReadFile(whole.run.path), previous);
}

TEST(HostileTrees, TargetThatIsNoFolderYieldsNothingAndIsReported) {
  TempFolder site;
  Touch(site / "file.html");
  for (const std::string& target : {std::string("/dev/null"), site / "missing"}) {
    SCOPED_TRACE(target);
    clFindInFolders scanner;
    scanner.setLevel(1);
    EXPECT_TRUE(scanner.scanFolder(target));
    EXPECT_TRUE(scanner.entries().empty());
    ASSERT_EQ(scanner.unlistedFolders().size(), 1u);
    EXPECT_EQ(scanner.unlistedFolders()[0].path, target);
  }
}

// A chain of folders far deeper than a path can be long is listed whole:
// every folder is opened through its parent, never by its path.
TEST(HostileTrees, TreeDeeperThanAPathCanBeLong) {
  constexpr int kDepth = 3000;
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

  clFindInFolders scanner;
  scanner.setLevel(1);
  ASSERT_TRUE(scanner.scanFolder(site.path()));
  EXPECT_TRUE(scanner.unlistedFolders().empty());
  EXPECT_EQ(scanner.entries().size(), std::size_t{2 * kDepth});
  EXPECT_EQ(std::max_element(scanner.entries().begin(), scanner.entries().end(),
                             [](auto& a, auto& b) { return a.getLevel() < b.getLevel(); })
                ->getLevel(),
            kDepth);

  // Past the protocol's URL length the pages are left out, and counted.
  const Outcome outcome = RunOn(site.path());
  ASSERT_TRUE(outcome.run.written);
  const std::size_t fitting = (SitemapWriter::kMaxUrlLength - std::string(kBase).size() - 9) / (name.size() + 1) + 1;
  EXPECT_EQ(outcome.pages.size(), fitting);
  ASSERT_EQ(outcome.run.warnings.total(), kDepth - fitting);
  ASSERT_EQ(outcome.run.warnings.kept().size(), WarningList::kShown);
  ASSERT_EQ(Shown(outcome.run).size(), 1u);
  EXPECT_EQ(Shown(outcome.run)[0].rfind(std::to_string(kDepth - fitting) + " URLs longer than 2048", 0), 0u)
      << Shown(outcome.run)[0];
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

  const Outcome outcome = RunOn(site.path());
  ASSERT_TRUE(outcome.run.written);
  EXPECT_TRUE(outcome.run.warnings.empty());
  EXPECT_EQ(outcome.pages, expected);
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

  const Outcome outcome = RunOn(site.path());
  ASSERT_TRUE(outcome.run.written);
  EXPECT_TRUE(outcome.run.warnings.empty());
  EXPECT_EQ(outcome.pages, expected);
}

}  // namespace
