#include "sitemap/SitemapSet.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "FaultyFileLayer.h"
#include "SitemapCheck.h"
#include "TestSupport.h"
#include "sitemap/SitemapFiles.h"
#include "sitemap/SitemapWriter.h"

namespace {

const std::string kBase = "https://example.jp/";

std::string Block(const std::string& loc) { return "\t<url>\r\n\t\t<loc>" + loc + "</loc>\r\n\t</url>\r\n"; }

std::vector<std::string> Parts(const TempFolder& folder) {
  std::vector<std::string> parts;
  for (const std::string& name : folder.Names())
    if (SitemapFiles::IsPart(name)) parts.push_back(name);
  return parts;
}

// Pages p0.html ... in the root, and the blocks a single sitemap of them
// would hold.
std::vector<clCompositionFolder> Pages(std::size_t count, std::vector<std::string>* blocks = nullptr) {
  std::vector<clCompositionFolder> entries;
  for (std::size_t i = 0; i < count; ++i) {
    entries.emplace_back(1, "p" + std::to_string(i) + ".html", 0);
    if (blocks) blocks->push_back(Block(kBase + entries.back().name()));
  }
  return entries;
}

bool Write(const TempFolder& folder, const std::vector<clCompositionFolder>& entries, bool gzip = false,
           SitemapWriter* writer = nullptr) {
  GenerationInputs inputs;
  inputs.baseUrl = kBase;
  inputs.extensions = {"html"};
  inputs.gzip = gzip;
  SitemapWriter own;
  ScriptedControl control;
  return (writer ? *writer : own).WriteSitemap(folder.path(), entries, inputs, control);
}

// A folder held open, as a run holds the folder it writes.
struct HeldFolder {
  explicit HeldFolder(const TempFolder& folder) : fd(open(folder.path().c_str(), O_RDONLY | O_DIRECTORY)) {}
  ~HeldFolder() { close(fd); }
  const int fd;
};

std::vector<std::string> BlocksOf(const SitemapCheck::Set& set) {
  std::vector<std::string> blocks;
  for (const std::string& text : set.texts) {
    auto part = SitemapCheck::UrlBlocks(text);
    blocks.insert(blocks.end(), part.begin(), part.end());
  }
  return blocks;
}

// Past 50,000 URLs the sitemap becomes an index of parts that hold, in
// order, exactly the blocks one sitemap would have held.
TEST(SitemapSetTest, ManyPagesGiveAnIndexOfPartsWithTheSameBlocksInOrder) {
  TempFolder folder(TempFolder::Place::kMemory);
  std::vector<std::string> expected;
  SitemapWriter writer;
  ASSERT_TRUE(Write(folder, Pages(120000, &expected), false, &writer));
  EXPECT_EQ(writer.partCount(), 3u);
  EXPECT_EQ(writer.urlCount(), 120000u);
  const SitemapCheck::Set set = SitemapCheck::ReadSet(folder.path(), NUBIKA_SCHEMA_DIR);
  ASSERT_EQ(set.error, "");
  ASSERT_EQ(set.parts.size(), 3u);
  EXPECT_EQ(BlocksOf(set), expected);
  EXPECT_EQ(SitemapCheck::UrlBlocks(set.texts[0]).size(), SitemapSet::kMaxUrls);
  auto named = set.parts;
  std::sort(named.begin(), named.end());
  EXPECT_EQ(Parts(folder), named);
}

// 49,000 URLs of 1,100 characters come to about 55 MB: two parts, each
// within the byte limit.
TEST(SitemapSetTest, TheByteLimitSplitsLongUrls) {
  TempFolder folder(TempFolder::Place::kMemory);
  std::vector<clCompositionFolder> entries = {{1, std::string(250, 'a'), 1}, {2, std::string(250, 'b'), 1},
                                              {3, std::string(250, 'c'), 1}, {4, std::string(250, 'd'), 1}};
  for (int i = 0; i < 49000; ++i) entries.emplace_back(5, std::string(80, 'p') + std::to_string(100000 + i) + ".html", 0);
  SitemapWriter writer;
  ASSERT_TRUE(Write(folder, entries, false, &writer));
  const SitemapCheck::Set set = SitemapCheck::ReadSet(folder.path(), NUBIKA_SCHEMA_DIR);
  ASSERT_EQ(set.error, "");
  EXPECT_GT(set.locs.front().size(), 1100u);
  ASSERT_EQ(set.parts.size(), 2u);
  EXPECT_EQ(set.locs.size(), 49000u);
  for (const std::string& text : set.texts) EXPECT_LE(text.size(), SitemapSet::kMaxBytes);
}

// A later run takes away the parts no index names any more, and only
// files of the parts' exact pattern.
TEST(SitemapSetTest, ALaterRunLeavesNoStalePartsAndNothingElseIsTaken) {
  TempFolder folder(TempFolder::Place::kMemory);
  const std::vector<std::string> mine = {"nubika_sitemap-notes.txt", "nubika_sitemap-2026-1.xml",
                                         "nubika_sitemap-20260101000000-01.xml", "nubika_sitemap.xml.bak"};
  for (const std::string& name : mine) WriteFile(folder / name, "mine");
  ASSERT_TRUE(Write(folder, Pages(120000)));
  const auto first = Parts(folder);
  ASSERT_EQ(first.size(), 3u);

  // Fewer pages, twice: the parts the first index named alone live one run
  // longer.
  ASSERT_TRUE(Write(folder, Pages(60000)));
  const auto lived = Parts(folder);
  for (const auto& part : first) EXPECT_EQ(std::count(lived.begin(), lived.end(), part), 1) << part;
  ASSERT_TRUE(Write(folder, Pages(60000)));
  const auto second = SitemapCheck::ReadSet(folder.path(), NUBIKA_SCHEMA_DIR);
  EXPECT_EQ(second.locs.size(), 60000u);
  auto named = second.parts;
  std::sort(named.begin(), named.end());
  EXPECT_EQ(Parts(folder), named);

  ASSERT_TRUE(Write(folder, Pages(10)));  // one sitemap again, twice
  EXPECT_EQ(Parts(folder), named);
  ASSERT_TRUE(Write(folder, Pages(10)));
  EXPECT_TRUE(Parts(folder).empty());
  for (const std::string& name : mine) EXPECT_EQ(ReadFile(folder / name), "mine") << name;
}

// Parts are named after their content: a part that would not change keeps
// its name, its file and its bytes; one the last index named lives one run
// longer; parts of the old pattern go by the same rule.
TEST(SitemapSetTest, AnUnchangedPartKeepsItsFileAndAReplacedOneLivesOneRunLonger) {
  for (const bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    TempFolder folder(TempFolder::Place::kMemory);
    const std::string old = gzip ? "nubika_sitemap-20250101000000-1.xml.gz" : "nubika_sitemap-20250101000000-1.xml";
    WriteFile(folder / old, "an earlier version's part");
    const auto inodes = [&] {
      std::map<std::string, std::pair<ino_t, std::string>> files;
      for (const std::string& name : Parts(folder)) {
        struct stat status;
        EXPECT_EQ(stat((folder / name).c_str(), &status), 0);
        files[name] = {status.st_ino, ReadFile(folder / name)};
      }
      return files;
    };
    std::vector<clCompositionFolder> pages = Pages(120000);
    ASSERT_TRUE(Write(folder, pages, gzip));
    const auto first = inodes();
    ASSERT_EQ(first.size(), 3u);  // the old part: not named by the index replaced
    const auto written = SitemapCheck::ReadSet(folder.path(), NUBIKA_SCHEMA_DIR);
    ASSERT_EQ(written.parts.size(), 3u);
    for (std::size_t i = 0; i < written.parts.size(); ++i)
      EXPECT_EQ(written.parts[i], SitemapFiles::PartName(written.texts[i], gzip));
    EXPECT_FALSE(first.contains(old));

    // The last page changes: only the third part is new.
    pages.back().setName("changed.html");
    ASSERT_TRUE(Write(folder, pages, gzip));
    const auto second = inodes();
    ASSERT_EQ(second.size(), 4u);
    std::size_t kept = 0;
    for (const auto& [name, file] : first) {
      ASSERT_TRUE(second.contains(name)) << name << " is named by the index replaced";
      if (second.at(name) == file) ++kept;
    }
    EXPECT_EQ(kept, 3u) << "same names, inodes and bytes";
    const auto set = SitemapCheck::ReadSet(folder.path(), NUBIKA_SCHEMA_DIR);
    ASSERT_EQ(set.error, "");
    EXPECT_EQ(set.parts.size(), 3u);
    std::size_t named = 0;
    for (const std::string& part : set.parts) named += first.contains(part);
    EXPECT_EQ(named, 2u);

    ASSERT_TRUE(Write(folder, pages, gzip));  // the first run's third part: named by neither index
    auto third = inodes();
    EXPECT_EQ(third.size(), 3u);
    for (const std::string& part : set.parts) EXPECT_EQ(third.at(part), second.at(part)) << part;
  }
}

TEST(SitemapSetTest, GzipPartsHoldThePlainPartsBytes) {
  TempFolder plain(TempFolder::Place::kMemory), zipped(TempFolder::Place::kMemory);
  ASSERT_TRUE(Write(plain, Pages(60000)));
  ASSERT_TRUE(Write(zipped, Pages(60000), true));
  const auto plainSet = SitemapCheck::ReadSet(plain.path(), NUBIKA_SCHEMA_DIR);
  const auto zippedSet = SitemapCheck::ReadSet(zipped.path(), NUBIKA_SCHEMA_DIR);
  ASSERT_EQ(zippedSet.error, "");
  EXPECT_EQ(zippedSet.texts, plainSet.texts);
  for (const std::string& part : zippedSet.parts) EXPECT_TRUE(part.ends_with(".xml.gz")) << part;

  // A site that fits one file still gets an index, of one part.
  ASSERT_TRUE(Write(zipped, Pages(3), true));
  const auto small = SitemapCheck::ReadSet(zipped.path(), NUBIKA_SCHEMA_DIR);
  EXPECT_EQ(small.parts.size(), 1u);
  EXPECT_EQ(small.locs.size(), 3u);
  EXPECT_EQ(Parts(zipped).size(), 3u);  // with the two the index replaced named
  ASSERT_TRUE(Write(zipped, Pages(3), true));
  EXPECT_EQ(Parts(zipped), small.parts);
}

// Each part's date in the index is the latest of its pages'.
TEST(SitemapSetTest, EachPartIsDatedByItsLatestPage) {
  TempFolder folder;
  const HeldFolder held(folder);
  SitemapSet set(PosixFileLayer::Instance(), held.fd, folder.path(), {false, false, true, kBase, 2});
  ASSERT_TRUE(set.Open());
  for (const char* date : {"2024-05-01", "2025-01-31", "2023-12-31", "2022-01-01"})
    ASSERT_TRUE(set.Add(Block(kBase + date), date));
  ASSERT_TRUE(set.Finish({}));
  const std::string index = ReadFile(folder / "nubika_sitemap.xml");
  const auto first = index.find("<lastmod>2025-01-31</lastmod>");
  EXPECT_NE(first, std::string::npos);
  EXPECT_GT(index.find("<lastmod>2023-12-31</lastmod>"), first);
  EXPECT_EQ(SitemapCheck::Validate(index, NUBIKA_SCHEMA_DIR), "");
}

// A failing step anywhere in writing a set of parts leaves the previous
// set whole, and none of the new files.
TEST(SitemapSetTest, AFailureAtAnyStepLeavesThePreviousSet) {
  using Step = FaultyFileLayer::Step;
  TempFolder folder;
  const HeldFolder held(folder);
  const auto write = [&](FileLayer& files, std::size_t blocks, const std::string& tag) {
    SitemapSet set(files, held.fd, folder.path(), {false, false, false, kBase, 3});
    bool ok = set.Open();
    for (std::size_t i = 0; ok && i < blocks; ++i) ok = set.Add(Block(kBase + tag + std::to_string(i)), "");
    return ok && set.Finish({});
  };
  ASSERT_TRUE(write(PosixFileLayer::Instance(), 7, "old"));
  const auto previous = SitemapCheck::ReadSet(folder.path(), NUBIKA_SCHEMA_DIR);
  ASSERT_EQ(previous.parts.size(), 3u);
  const auto files = folder.Names();

  FaultyFileLayer counting(Step::kInspect, 0, 0);
  ASSERT_TRUE(write(counting, 10, "new"));
  // Twice: the parts of the set the first replaced live one run longer.
  ASSERT_TRUE(write(PosixFileLayer::Instance(), 7, "old"));
  ASSERT_TRUE(write(PosixFileLayer::Instance(), 7, "old"));
  ASSERT_EQ(folder.Names(), files);
  // The same set once more: each part is held until it is known to be
  // unchanged, so only the index is written.
  FaultyFileLayer unchanged(Step::kInspect, 0, 0);
  ASSERT_TRUE(write(unchanged, 7, "old"));
  EXPECT_EQ(unchanged.CallsOf(Step::kWrite), 1);
  ASSERT_EQ(folder.Names(), files);
  int cases = 0;
  for (Step step : {Step::kInspect, Step::kCreateTemp, Step::kSetMode, Step::kWrite, Step::kFlush, Step::kClose,
                    Step::kRename}) {
    for (int nth = 1; nth <= counting.CallsOf(step); ++nth, ++cases) {
      SCOPED_TRACE(std::string(FaultyFileLayer::NameOf(step)) + " #" + std::to_string(nth));
      FaultyFileLayer failing(step, nth, EIO);
      EXPECT_FALSE(write(failing, 10, "new"));
      EXPECT_EQ(SitemapCheck::ReadSet(folder.path(), NUBIKA_SCHEMA_DIR).locs, previous.locs);
      EXPECT_EQ(folder.Names(), files);
    }
  }
  EXPECT_GE(cases, 20);
  RecordProperty("cases", cases);
}

}  // namespace

namespace {

// With language versions, every part of an index declares their namespace,
// last among its attributes; the blocks' bytes count towards the limit.
TEST(SitemapSetTest, EveryPartDeclaresTheXhtmlNamespace) {
  TempFolder folder;
  const HeldFolder held(folder);
  const std::string version = "\t\t<xhtml:link rel=\"alternate\" hreflang=\"en\" href=\"" + kBase + "en/\"/>\r\n";
  const auto block = [&](int n) {
    return "\t<url>\r\n\t\t<loc>" + kBase + std::to_string(n) + "</loc>\r\n\t\t<mobile:mobile />\r\n" + version +
           "\t</url>\r\n";
  };
  SitemapSet::Options options{.mobile = true, .baseUrl = kBase, .maxUrls = 1000, .xhtml = true};
  options.maxBytes = 250 + 2 * block(0).size();  // two blocks fit a part, not three
  SitemapSet set(PosixFileLayer::Instance(), held.fd, folder.path(), options);
  ASSERT_TRUE(set.Open());
  for (int n = 0; n < 5; ++n) ASSERT_TRUE(set.Add(block(n), ""));
  ASSERT_TRUE(set.Finish({}));
  const auto read = SitemapCheck::ReadSet(folder.path(), NUBIKA_SCHEMA_DIR);
  EXPECT_EQ(read.error, "");
  ASSERT_EQ(read.parts.size(), 3u);
  for (const std::string& text : read.texts)
    EXPECT_NE(text.find("xmlns:mobile=\"http://www.google.com/schemas/sitemap-mobile/1.0\" "
                        "xmlns:xhtml=\"http://www.w3.org/1999/xhtml\">\r\n"),
              std::string::npos);
}

}  // namespace
