#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <thread>

#include "FakeDirectoryLister.h"
#include "GatedLister.h"
#include "TestSupport.h"
#include "scan/ExclusionRules.h"
#include "scan/FolderIdSet.h"
#include "scan/clFindInFolders.h"

namespace {

using Kind = ListedEntry::Kind;
using FakeLister = FakeDirectoryLister;

std::vector<clCompositionFolder> Scan(clFindInFolders& scanner, const std::string& root,
                                      bool* completed = nullptr, std::stop_token stop = {}) {
  scanner.reset();
  scanner.setLevel(1);
  const bool result = scanner.scanFolder(root, stop);
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

// The identities of listed folders: every one kept through the table's
// growth, the same inode on two devices two folders, a zero identity (a
// test lister's) one like any other.
TEST(ScanTest, TheListedFoldersAreKeptByIdentity) {
  FolderIdSet listed;
  constexpr std::uint64_t kFolders = 5000;
  for (std::uint64_t device : {0u, 1u}) {
    for (std::uint64_t inode = 0; inode < kFolders; ++inode) {
      ASSERT_TRUE(listed.insert({device, inode})) << device << ":" << inode;
      ASSERT_FALSE(listed.insert({device, inode})) << device << ":" << inode;
    }
  }
  EXPECT_EQ(listed.size(), 2 * kFolders);
  for (std::uint64_t inode = 0; inode < kFolders; ++inode)
    ASSERT_TRUE(listed.contains({0, inode}) && listed.contains({1, inode})) << inode;
  EXPECT_FALSE(listed.contains({2, 0}));
  EXPECT_FALSE(listed.contains({0, kFolders}));
  listed.clear();
  EXPECT_FALSE(listed.contains({0, 0}));
  EXPECT_TRUE(listed.insert({0, 0}));
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

TEST(ScanTest, AStopKeepsWhatWasFoundAndRestoresTheLevel) {
  FakeLister site = ExampleSite();
  clFindInFolders scanner(&site);
  std::stop_source stop;
  stop.request_stop();
  bool completed = true;
  EXPECT_TRUE(Scan(scanner, "/site", &completed, stop.get_token()).empty());
  EXPECT_FALSE(completed);
  EXPECT_EQ(scanner.getLevel(), 1);

  // Asked for while a subfolder is being listed: what came before stays.
  std::stop_source inside;
  site.onList = [&](const std::string& path) {
    if (path == "/site/docs") inside.request_stop();
  };
  const std::vector<clCompositionFolder> expected = {{1, "index.html", 0}, {1, "docs", 1}};
  EXPECT_EQ(Scan(scanner, "/site", &completed, inside.get_token()), expected);
  EXPECT_FALSE(completed);
  EXPECT_EQ(scanner.getLevel(), 1);

  // The next scan starts afresh and does not append to the last.
  site.onList = nullptr;
  EXPECT_EQ(Scan(scanner, "/site", &completed).size(), 5u);
  EXPECT_TRUE(completed);
}

TEST(ScanTest, LinksToFoldersAreEnteredOnlyWhenFollowedAndEachFolderOnce) {
  FakeLister site;
  site.Add("/site", "loop", Kind::kFolderLink);  // a link back to "/site"
  site.Add("/site", "out", Kind::kFolderLink);   // a link out of the tree
  site.File("/site", "a.html");
  site.SameFolder("/site/loop", "/site");
  site.File("/site/out", "outside.html");
  clFindInFolders scanner(&site);
  const std::vector<clCompositionFolder> notFollowed = {{1, "loop", 1}, {1, "out", 1}, {1, "a.html", 0}};
  EXPECT_EQ(Scan(scanner, "/site"), notFollowed);
  EXPECT_EQ(site.listed, std::vector<std::string>{"/site"});

  clFindInFolders::Rules following;
  following.followLinks = true;
  scanner.setRules(following);
  const std::vector<clCompositionFolder> followed = {
      {1, "loop", 1}, {1, "out", 1}, {2, "outside.html", 0}, {1, "a.html", 0}};
  EXPECT_EQ(Scan(scanner, "/site"), followed);
}

TEST(ScanTest, ExcludedEntriesAreNeitherRecordedNorListed) {
  FakeLister site = ExampleSite();
  site.File("/site/docs/img", "logo.png");
  ExclusionRules exclusions;
  exclusions.Add("docs/img");
  exclusions.Add("top.css");
  clFindInFolders scanner(&site);
  clFindInFolders::Rules rules;
  rules.exclusions = &exclusions;
  scanner.setRules(rules);
  const std::vector<clCompositionFolder> expected = {{1, "index.html", 0}, {1, "docs", 1}, {2, "a.html", 0}};
  EXPECT_EQ(Scan(scanner, "/site"), expected);
  EXPECT_EQ(site.listed, (std::vector<std::string>{"/site", "/site/docs"}));
}

TEST(ScanTest, PagesLearnTheirDateAndNoindexOnlyWhenAskedAndOnlyPages) {
  FakeLister site = ExampleSite();
  site.modified = {{"/site/index.html", 100}, {"/site/top.css", 200}, {"/site/docs/a.html", 300}};
  site.noindex = {"/site/docs/a.html"};
  clFindInFolders scanner(&site);
  scanner.setRules({.isPage = [](std::string_view name, std::uint16_t) { return name.ends_with(".html"); },
                    .readModified = true,
                    .checkNoindex = true});
  std::map<std::string, clCompositionFolder> byName;
  for (const auto& entry : Scan(scanner, "/site")) byName[entry.name()] = entry;
  EXPECT_EQ(byName["index.html"].modified(), 100);
  EXPECT_EQ(byName["top.css"].modified(), 0);  // not a page: never asked
  EXPECT_EQ(byName["a.html"].modified(), 300);
  EXPECT_TRUE(byName["a.html"].isNoindex());
  EXPECT_FALSE(byName["index.html"].isNoindex());
  EXPECT_TRUE(scanner.stamps().empty()) << "not asked for";

  // Stamps alone: kept beside the records, one for each entry, for pages only.
  scanner.setRules({.isPage = [](std::string_view name, std::uint16_t) { return name.ends_with(".html"); },
                    .readStamps = true});
  const auto entries = Scan(scanner, "/site");
  const std::vector<FileStamp> stamps = scanner.stamps();
  ASSERT_EQ(stamps.size(), entries.size());
  std::map<std::string, std::int64_t> stamped;
  for (std::size_t n = 0; n < entries.size(); ++n) {
    EXPECT_EQ(entries[n].modified(), 0) << entries[n].name();
    if (entries[n].isStamped()) stamped[entries[n].name()] = stamps[n].modified;
  }
  EXPECT_EQ(stamped, (std::map<std::string, std::int64_t>{{"index.html", 100}, {"a.html", 300}}));
}

// However deep the tree, only a few folders are open at a time, and a
// folder released on the way down is reopened on the way back up.
TEST(ScanTest, ADeepBushyTreeHoldsFewFoldersOpen) {
  FakeLister site;
  std::string path = "/deep";
  for (int level = 0; level < 300; ++level) {
    site.Dir(path, "d");
    site.Dir(path, "side");
    site.File(path + "/side", "s.html");
    path += "/d";
  }
  clFindInFolders scanner(&site);
  const auto entries = Scan(scanner, "/deep");
  EXPECT_EQ(entries.size(), 900u);
  EXPECT_TRUE(scanner.unlistedFolders().empty());
  EXPECT_LE(site.mostOpen, clFindInFolders::kMaxOpenFolders + 2);
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

// A listing that breaks off keeps the entries read before, and is reported
// as listed in part; one that breaks off before its first entry is a
// folder that cannot be listed.
TEST(ScanTest, AListingThatBreaksOffKeepsWhatWasReadAndIsReported) {
  FakeLister site = ExampleSite();
  site.File("/site/docs", "b.html");
  site.BreakOff("/site/docs", 2, EIO);
  site.BreakOff("/site/docs/img", 0, EIO);
  clFindInFolders scanner(&site);
  bool completed = false;
  const std::vector<clCompositionFolder> expected = {
      {1, "index.html", 0}, {1, "docs", 1}, {2, "a.html", 0}, {2, "img", 1}, {1, "top.css", 0}};
  EXPECT_EQ(Scan(scanner, "/site", &completed), expected);
  EXPECT_TRUE(completed);
  ASSERT_EQ(scanner.unlistedFolders().size(), 2u);
  EXPECT_EQ(scanner.unlistedFolders()[0].path, "/site/docs");
  EXPECT_EQ(scanner.unlistedFolders()[0].reason, "Input/output error");
  EXPECT_TRUE(scanner.unlistedFolders()[0].partly);
  EXPECT_EQ(scanner.unlistedFolders()[1].path, "/site/docs/img");
  EXPECT_FALSE(scanner.unlistedFolders()[1].partly);
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
  EXPECT_EQ(scanner.getEntries(), expected);
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
  ASSERT_EQ(mkfifo((root / "fifo.html").c_str(), 0644), 0);

  clFindInFolders scanner;
  bool completed = false;
  const auto entries = Scan(scanner, root.path(), &completed);
  EXPECT_TRUE(completed);
  std::map<std::string, clCompositionFolder> byName;
  for (const auto& entry : entries) byName[entry.name()] = entry;
  EXPECT_EQ(entries.size(), 11u);
  EXPECT_EQ(byName["to-root"].getIsFolder(), 1);
  EXPECT_EQ(byName["loop"].getIsFolder(), 1);
  EXPECT_EQ(byName["loop"].getLevel(), 2);
  EXPECT_EQ(byName["dangling"].getIsFolder(), 0);
  EXPECT_FALSE(byName["dangling"].isRegularFile());  // no server can send it
  EXPECT_EQ(byName["link.html"].getIsFolder(), 0);
  EXPECT_TRUE(byName["link.html"].isRegularFile());
  EXPECT_FALSE(byName["fifo.html"].isRegularFile());
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

// A folder swapped for a link to "/" after its parent was listed is not
// entered: the scan opens exactly the folder it listed, or nothing.
TEST(ScanTest, AFolderSwappedForALinkDuringTheScanIsNotEntered) {
  TempFolder root;
  WriteFile(root / "sub/page.html", "");
  WriteFile(root / "top.html", "");
  GatedLister lister;
  clFindInFolders scanner(&lister);
  std::vector<clCompositionFolder> entries;
  std::thread scan([&] { entries = Scan(scanner, root.path()); });
  lister.gate.WaitForArrival();
  std::filesystem::remove_all(root / "sub");
  ASSERT_EQ(symlink("/", (root / "sub").c_str()), 0);
  lister.gate.Open();
  scan.join();

  EXPECT_EQ(entries.size(), 2u);  // sub and top.html, nothing from "/"
  ASSERT_EQ(scanner.unlistedFolders().size(), 1u);
  EXPECT_EQ(scanner.unlistedFolders()[0].path, root / "sub");
}

}  // namespace
