#include <gtest/gtest.h>
#include <unistd.h>

#include "scan/clFindInFolders.h"
#include "TestSupport.h"

namespace {

using testing_support::TempFolder;
using testing_support::WriteFile;
using Kind = ListedEntry::Kind;

// The in-memory tree, also noting every folder the scan asks for.
class FakeLister : public FakeDirectoryLister {
 public:
  bool List(const std::string& path, std::vector<ListedEntry>* entries, FolderId* id,
            std::string* error) override {
    listed.push_back(path);
    return FakeDirectoryLister::List(path, entries, id, error);
  }
  std::vector<std::string> listed;
};

std::vector<clCompositionFolder> Scan(clFindInFolders& scanner, const std::string& root,
                                      bool* completed = nullptr) {
  scanner.reset();
  scanner.setLevel(1);
  const bool result = scanner.scanFolder(root);
  if (completed) *completed = result;
  return scanner.getEntries();
}

// The chosen folder holds index.html, docs/ and top.css, in that listing
// order; docs holds a.html and an empty folder img.
FakeLister ExampleSite() {
  FakeLister site;
  site.File("/site", "index.html");
  site.Dir("/site", "docs");
  site.File("/site", "top.css");
  site.File("/site/docs", "a.html");
  site.Dir("/site/docs", "img");
  return site;
}

TEST(ScanTest, ListsTheTreeInPreOrderWithLevels) {
  FakeLister site = ExampleSite();
  clFindInFolders scanner(&site);
  bool completed = false;
  const auto entries = Scan(scanner, "/site", &completed);

  const std::vector<clCompositionFolder> expected = {
      {1, "index.html", 0}, {1, "docs", 1}, {2, "a.html", 0}, {2, "img", 1}, {1, "top.css", 0}};
  EXPECT_TRUE(completed);
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(scanner.getLevel(), 1);
  EXPECT_EQ(scanner.lastFolder(), "/site");
  EXPECT_TRUE(scanner.unlistedFolders().empty());
}

TEST(ScanTest, StopBeforeTheFirstEntryLeavesTheListEmpty) {
  FakeLister site = ExampleSite();
  clFindInFolders scanner(&site);
  scanner.setLevel(1);
  scanner.stopRequested = true;
  EXPECT_FALSE(scanner.scanFolder("/site"));
  EXPECT_TRUE(scanner.entries().empty());
  EXPECT_EQ(scanner.getLevel(), 1);
}

// A lister that asks the scanner to stop once it has listed a given folder,
// i.e. while entries of the tree remain to be examined.
class StoppingLister : public FakeLister {
 public:
  StoppingLister(FakeLister site, std::string stopAfter) : FakeLister(std::move(site)), stopAfter_(std::move(stopAfter)) {}
  bool List(const std::string& path, std::vector<ListedEntry>* entries, FolderId* id, std::string* error) override {
    const bool listed = FakeLister::List(path, entries, id, error);
    if (path == stopAfter_ && scanner) scanner->stopRequested = true;
    return listed;
  }
  clFindInFolders* scanner = nullptr;

 private:
  std::string stopAfter_;
};

TEST(ScanTest, StopInsideASubfolderKeepsWhatWasFoundAndRestoresTheLevel) {
  StoppingLister site(ExampleSite(), "/site/docs");
  clFindInFolders scanner(&site);
  site.scanner = &scanner;
  bool completed = true;
  const auto entries = Scan(scanner, "/site", &completed);

  EXPECT_FALSE(completed);
  const std::vector<clCompositionFolder> expected = {{1, "index.html", 0}, {1, "docs", 1}};
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(scanner.getLevel(), 1);
}

TEST(ScanTest, ResetClearsAStopAndTheListForTheNextRun) {
  FakeLister site = ExampleSite();
  clFindInFolders scanner(&site);
  scanner.stopRequested = true;
  scanner.scanFolder("/site");
  bool completed = false;
  EXPECT_EQ(Scan(scanner, "/site", &completed).size(), 5u);
  EXPECT_TRUE(completed);
  EXPECT_EQ(Scan(scanner, "/site").size(), 5u);  // a second run does not append to the first
}

TEST(ScanTest, LinksToFoldersAreRecordedButNeverEntered) {
  FakeLister site;
  site.Add("/site", "loop", Kind::kFolderLink);  // e.g. a link back to "/site" or to "/"
  site.File("/site", "a.html");
  site.File("/site/loop", "never.html");
  clFindInFolders scanner(&site);
  const std::vector<clCompositionFolder> expected = {{1, "loop", 1}, {1, "a.html", 0}};
  EXPECT_EQ(Scan(scanner, "/site"), expected);
  EXPECT_EQ(site.listed, std::vector<std::string>{"/site"});
}

TEST(ScanTest, ASecondPathToTheSameFolderIsRecordedButNotListedAgain) {
  FakeLister site;
  site.Dir("/site", "real");
  site.Dir("/site", "mounted");  // a bind mount of /site/real
  site.File("/site/real", "page.html");
  site.SameFolder("/site/mounted", "/site/real");
  // A mount of the root inside itself would otherwise never end.
  site.Dir("/site/real", "again");
  site.SameFolder("/site/real/again", "/site");
  clFindInFolders scanner(&site);
  const std::vector<clCompositionFolder> expected = {
      {1, "real", 1}, {2, "page.html", 0}, {2, "again", 1}, {1, "mounted", 1}};
  EXPECT_EQ(Scan(scanner, "/site"), expected);
}

TEST(ScanTest, AnUnlistableFolderAddsNothingAndIsReported) {
  FakeLister site = ExampleSite();
  site.Refuse("/site/docs", "Permission denied");
  clFindInFolders scanner(&site);
  bool completed = false;
  const std::vector<clCompositionFolder> expected = {{1, "index.html", 0}, {1, "docs", 1}, {1, "top.css", 0}};
  EXPECT_EQ(Scan(scanner, "/site", &completed), expected);
  EXPECT_TRUE(completed);
  ASSERT_EQ(scanner.unlistedFolders().size(), 1u);
  EXPECT_EQ(scanner.unlistedFolders()[0].path, "/site/docs");
  EXPECT_EQ(scanner.unlistedFolders()[0].reason, "Permission denied");
}

TEST(ScanTest, AMissingRootYieldsAnEmptyListAndTrue) {
  FakeLister nothing;
  clFindInFolders scanner(&nothing);
  bool completed = false;
  EXPECT_TRUE(Scan(scanner, "/missing", &completed).empty());
  EXPECT_TRUE(completed);
  EXPECT_EQ(scanner.unlistedFolders().size(), 1u);
}

TEST(ScanTest, AFolderAtTheDeepestLevelIsRecordedButNotListed) {
  FakeLister site;
  site.Dir("/deep", "bottom");
  site.File("/deep/bottom", "x.html");
  site.File("/deep", "after.html");
  clFindInFolders scanner(&site);
  scanner.setLevel(clFindInFolders::kMaxLevel);
  EXPECT_TRUE(scanner.scanFolder("/deep"));
  const std::vector<clCompositionFolder> expected = {{65535, "bottom", 1}, {65535, "after.html", 0}};
  EXPECT_EQ(scanner.entries(), expected);
  ASSERT_EQ(scanner.unlistedFolders().size(), 1u);
  EXPECT_EQ(scanner.unlistedFolders()[0].path, "/deep/bottom");
}

TEST(ScanTest, RealFoldersLinksAndOddNames) {
  TempFolder root;
  WriteFile(root / "sub/page.html", "");
  WriteFile(root / ".hidden/inside.html", "");
  WriteFile(root / "...", "");
  WriteFile(root / "お知らせ.html", "");
  ASSERT_EQ(symlink("/", (root / "to-root").c_str()), 0);
  ASSERT_EQ(symlink(root.path().c_str(), (root / "sub/loop").c_str()), 0);
  ASSERT_EQ(symlink("missing-target", (root / "dangling").c_str()), 0);
  ASSERT_EQ(symlink("sub/page.html", (root / "link.html").c_str()), 0);

  clFindInFolders scanner;
  bool completed = false;
  const auto entries = Scan(scanner, root.path(), &completed);
  EXPECT_TRUE(completed);
  std::map<std::string, clCompositionFolder> byName;
  for (const auto& entry : entries) byName[entry.name()] = entry;
  EXPECT_EQ(entries.size(), 10u);
  EXPECT_EQ(byName["to-root"].getIsFolder(), 1);
  EXPECT_EQ(byName["loop"].getIsFolder(), 1);
  EXPECT_EQ(byName["loop"].getLevel(), 2);
  EXPECT_EQ(byName["dangling"].getIsFolder(), 0);
  EXPECT_EQ(byName["link.html"].getIsFolder(), 0);
  EXPECT_EQ(byName["inside.html"].getLevel(), 2);
  EXPECT_EQ(byName.count("..."), 1u);
  EXPECT_EQ(byName.count("お知らせ.html"), 1u);
  EXPECT_EQ(byName.count("."), 0u);
}

TEST(ScanTest, PreOrderHoldsOnTheRealDisk) {
  TempFolder root;
  WriteFile(root / "a/b/c/deep.html", "");
  WriteFile(root / "a/x.html", "");
  clFindInFolders scanner;
  // Each record's level is at most one more than the previous record's,
  // and the one right after a folder with children is one level deeper.
  const auto entries = Scan(scanner, root.path() + "/");  // a trailing separator changes nothing
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].name(), "a");
  for (std::size_t i = 1; i < entries.size(); ++i)
    EXPECT_LE(entries[i].getLevel(), entries[i - 1].getLevel() + 1);
  const auto deep = std::find_if(entries.begin(), entries.end(), [](auto& e) { return e.name() == "deep.html"; });
  EXPECT_EQ(deep->getLevel(), 4);
}

}  // namespace
