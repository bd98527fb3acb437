// With threads reading folders ahead, the walk gives exactly what the walk
// that reads each folder itself gives: the same records in the same order,
// the same folders reported, and so the same sitemap bytes, on trees of
// every shape. Built also under ThreadSanitizer.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <functional>
#include <new>
#include <random>
#include <thread>
#include <utility>

#include "FakeDirectoryLister.h"
#include "SitemapCheck.h"
#include "TestSupport.h"
#include "ThreadRationing.h"
#include "job/SitemapRun.h"
#include "scan/EntryList.h"
#include "scan/ExclusionRules.h"
#include "scan/clFindInFolders.h"
#include "RunText.h"

namespace {

using Kind = ListedEntry::Kind;

struct Walked {
  bool completed = false;
  std::vector<clCompositionFolder> entries;
  std::vector<FileStamp> stamps;
  std::vector<std::string> unlisted;  // "path: reason", with "(part)" for a listing that broke off
  std::string failure;
  bool operator==(const Walked&) const = default;
};

Walked Walk(DirectoryLister* lister, const std::string& root, ScanRules rules, int readers,
            std::stop_token stop = {}) {
  clFindInFolders scanner(lister);
  rules.readers = readers;
  scanner.setRules(rules);
  scanner.setLevel(1);
  Walked walked;
  walked.completed = scanner.scanFolder(root, stop);
  walked.entries = scanner.getEntries();
  walked.stamps = scanner.stamps();
  for (const auto& folder : scanner.unlistedFolders())
    walked.unlisted.push_back(folder.path + ": " + folder.reason + (folder.partly ? " (part)" : ""));
  if (scanner.failure()) walked.failure = scanner.failure()->path + ": " + scanner.failure()->reason;
  return walked;
}

// The walks with 2, 3 and 8 readers against the one with one reader.
void ExpectSameWalks(DirectoryLister* lister, const std::string& root, const ScanRules& rules,
                     const std::string& context) {
  const Walked reference = Walk(lister, root, rules, 1);
  ASSERT_TRUE(reference.completed) << context;
  for (const int readers : {2, 3, 8}) {
    const Walked walked = Walk(lister, root, rules, readers);
    EXPECT_EQ(walked.entries, reference.entries) << context << ", " << readers << " readers";
    EXPECT_EQ(walked.stamps, reference.stamps) << context << ", " << readers << " readers";
    EXPECT_EQ(walked.unlisted, reference.unlisted) << context << ", " << readers << " readers";
  }
}

// A random tree in memory: bushy near the root, now and then a chain
// deeper than the folders the walk keeps open, folders that refuse to be
// listed or whose listing breaks off, links to folders (a second path to a folder, or one back up),
// entries no server can send and pages that ask not to be indexed.
FakeDirectoryLister RandomTree(std::uint32_t seed) {
  std::mt19937 random(seed);
  FakeDirectoryLister site;
  std::vector<std::string> folders{"root"};
  std::function<void(const std::string&, int)> grow = [&](const std::string& path, int depth) {
    const int count = depth == 0 ? 12 : static_cast<int>(random() % 9);
    for (int i = 0; i < count; ++i) {
      const std::string name = "e" + std::to_string(i);
      const unsigned kind = random() % 10;
      if (kind < 4 || depth > 10) {
        site.File(path, name + ".html");
      } else if (kind < 8 && folders.size() < 300) {
        site.Dir(path, name);
        folders.push_back(path + "/" + name);
        if (random() % 10 == 0) site.Refuse(path + "/" + name, "Permission denied");
        if (random() % 12 == 0) site.BreakOff(path + "/" + name, random() % 4, EIO);
        if (random() % 25 == 0) {
          std::string chain = path + "/" + name;
          for (int level = 0; level < 30; ++level, chain += "/c") site.Dir(chain, "c");
        }
        grow(path + "/" + name, depth + 1);
      } else if (kind == 8) {
        site.Add(path, name, Kind::kFolderLink);
        site.SameFolder(path + "/" + name, folders[random() % folders.size()]);
      } else {
        site.Add(path, name, Kind::kOther);
      }
    }
  };
  grow("root", 0);
  return site;
}

// A page's canonical and language links: to itself (by its name or in
// full), now and then to a neighbour (which leaves the page out);
// versions that point back or not, to another host, with a bad language;
// a base that moves them. self: the page's name; fromRoot: its path below
// the site's folder.
HeadLinks RandomHeadLinks(std::mt19937& random, const std::string& self, const std::string& fromRoot) {
  HeadLinks links;
  const std::string neighbour = "e" + std::to_string(random() % 12) + ".html";
  const unsigned canonical = random() % 8;
  if (canonical < 3) links.canonical = self;
  if (canonical == 3) links.canonical = neighbour;
  if (canonical == 4) links.canonical = "https://example.jp/" + fromRoot;
  if (random() % 2 == 0) {
    links.alternates = {{"ja", self}, {"en", neighbour}, {"x-default", "https://other.example/" + fromRoot}};
    if (random() % 4 == 0) links.alternates.push_back({"not a tag", self});
  }
  if (random() % 5 == 0) {
    links.base = "https://example.jp/" + fromRoot;
  }
  if (links.empty()) links.canonical = "";  // an empty href: reported, the page stays
  return links;
}

// Every warning kept, with its data, and how many there were of each
// reason.
std::vector<std::string> WarningsOf(const WarningList& warnings) {
  std::vector<std::string> all;
  for (const Warning& warning : warnings.kept())
    all.push_back(std::to_string(static_cast<int>(warning.reason)) + " " + warning.path + " " + warning.detail + " " +
                  std::to_string(warning.count) + "/" + std::to_string(warning.of));
  for (std::size_t reason = 0; reason < Warning::kReasons; ++reason)
    all.push_back(std::to_string(warnings.count(static_cast<Warning::Reason>(reason))));
  return all;
}

// A site of some thousands of entries, four levels deep, for the writing
// behind the walk: pages (some marked noindex, some with a date, some
// with a canonical link or language versions in their head), other
// files, links to folders, entries no server can send, and now and then a
// folder that cannot be listed or whose listing breaks off.
FakeDirectoryLister BushyTree(std::uint32_t seed, const std::string& root) {
  std::mt19937 random(seed);
  FakeDirectoryLister site;
  std::vector<std::string> folders{root};
  std::function<void(const std::string&, int)> grow = [&](const std::string& path, int depth) {
    const int count = 10 + static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      const std::string name = "e" + std::to_string(i);
      const std::string at = path + "/" + name;
      const unsigned kind = random() % 20;
      if (kind < 4 && depth < 3) {
        site.Dir(path, name);
        folders.push_back(at);
        if (random() % 40 == 0) site.Refuse(at, "Permission denied");
        if (random() % 40 == 0) site.BreakOff(at, random() % 8, EIO);
        grow(at, depth + 1);
      } else if (kind == 4) {
        site.Add(path, name, Kind::kFolderLink);
        site.SameFolder(at, folders[random() % folders.size()]);
      } else if (kind == 5) {
        site.Add(path, name + ".html", Kind::kOther);
      } else {
        site.File(path, name + (kind == 6 ? ".css" : ".html"));
        if (random() % 9 == 0) site.noindex.insert(at + ".html");
        if (random() % 3 == 0) site.modified[at + ".html"] = 1700000000 + static_cast<std::int64_t>(random() % 40000000);
        if (random() % 3 == 0) site.links[at + ".html"] = RandomHeadLinks(random, name + ".html", at.substr(root.size() + 1) + ".html");
      }
    }
  };
  grow(root, 0);
  return site;
}

TEST(ParallelWalk, RandomTreesInMemoryGiveTheRecordsOfOneReader) {
  ExclusionRules exclusions;
  exclusions.Add("e3/");
  exclusions.Add("**/e1/e2.html");
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    FakeDirectoryLister site = RandomTree(seed);
    for (const bool follow : {false, true}) {
      for (const bool excluding : {false, true}) {
        ScanRules rules;
        rules.exclusions = excluding ? &exclusions : nullptr;
        rules.followLinks = follow;
        ExpectSameWalks(&site, "root", rules,
                        "seed " + std::to_string(seed) + (follow ? ", links followed" : "") +
                            (excluding ? ", with exclusions" : ""));
      }
    }
  }
}

// The real disk: links into the tree, back to the root and out of it,
// links to nothing, a FIFO, a deep chain, and pages with dates and
// noindex.
class ParallelWalkOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 random(2026);
    for (int a = 0; a < 20; ++a) {
      const std::string top = "site/s" + std::to_string(a);
      for (int b = 0; b < static_cast<int>(random() % 6); ++b) {
        const std::string folder = top + "/d" + std::to_string(b);
        for (int page = 0; page < static_cast<int>(random() % 15); ++page)
          WriteFile(space / (folder + "/p" + std::to_string(page) + ".html"),
                    page % 4 ? "<p>" : "<head><meta name=robots content=noindex></head>");
        if (b == 0) WriteFile(space / (folder + "/deeper/still/index.html"), "");
      }
      WriteFile(space / (top + "/index.html"), "");
    }
    std::string chain = space / "site/chain";
    for (int level = 0; level < 200; ++level) chain += "/c";
    WriteFile(chain + "/end.html", "");
    WriteFile(space / "outside/away.html", "");
    ASSERT_EQ(symlink("s1", (space / "site/to-s1").c_str()), 0);
    ASSERT_EQ(symlink("..", (space / "site/s2/up").c_str()), 0);
    ASSERT_EQ(symlink((space / "outside").c_str(), (space / "site/s3/out").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (space / "site/s4/gone.html").c_str()), 0);
    ASSERT_EQ(mkfifo((space / "site/s5/pipe.html").c_str(), 0644), 0);
  }

  TempFolder space{TempFolder::Place::kMemory};
};

TEST_F(ParallelWalkOnDisk, RecordsDatesAndNoindexAreThoseOfOneReader) {
  ExclusionRules exclusions;
  exclusions.Add("d2/");
  exclusions.Add("/s7");
  for (const bool follow : {false, true}) {
    ScanRules rules;
    rules.exclusions = &exclusions;
    rules.followLinks = follow;
    // Pages at every other level only, so that a level wrong by one shows.
    rules.isPage = [](std::string_view name, std::uint16_t level) { return name.ends_with(".html") && level % 2 == 0; };
    rules.readModified = rules.readStamps = rules.checkNoindex = true;
    ExpectSameWalks(nullptr, space / "site", rules, follow ? "links followed" : "links not followed");
  }
}

TEST_F(ParallelWalkOnDisk, TheSitemapIsTheSameByteForByte) {
  GenerationInputs inputs;
  inputs.baseUrl = "https://example.jp/";
  inputs.extensions = {"html"};
  inputs.lastMod = inputs.lastModFromFile = true;
  inputs.priority = inputs.changeFreq = true;
  inputs.skipNoindex = inputs.folderUrls = inputs.followLinks = true;
  inputs.exclude = {"d3/"};
  std::string written[2];
  for (const int readers : {1, 8}) {
    ScriptedControl control;
    SitemapRun::Environment environment;
    environment.clock = [] { return std::time_t{1765152000}; };
    environment.readers = readers;
    const RunResult result = SitemapRun(environment).Execute(space / "site", [&] { return inputs; }, control);
    ASSERT_TRUE(result.written) << ErrorOf(result);
    written[readers == 1 ? 0 : 1] = ReadFile(result.path);
  }
  EXPECT_NE(written[0].find("/chain/c/"), std::string::npos);
  EXPECT_EQ(written[1], written[0]);
}

// Written behind the walk or after it, the set is the same byte for byte,
// and so are the warnings: random trees with folder URLs, exclusions,
// links, noindex, dates from the files, parts and gzip, canonical links,
// language versions and a robots.txt. The walk is slowed, so that the
// writing thread surely takes up entries while it goes on.
TEST(ParallelWalk, TheSetWrittenBehindTheWalkIsTheOneWrittenAfterIt) {
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TempFolder out(TempFolder::Place::kMemory);
    FakeDirectoryLister site = BushyTree(seed, out.path());
    site.onList = [](const std::string&) { std::this_thread::sleep_for(std::chrono::microseconds(50)); };
    GenerationInputs inputs;
    inputs.baseUrl = "https://example.jp/";
    inputs.extensions = {"html"};
    inputs.lastMod = inputs.lastModFromFile = inputs.priority = inputs.mobile = true;
    inputs.skipNoindex = inputs.folderUrls = true;
    inputs.indexNames = {"e1.html", "e0.html"};
    inputs.followLinks = seed % 2 == 0;
    inputs.gzip = seed % 3 == 0;
    inputs.exclude = {"e3/", "**/e1/e2.html"};
    inputs.canonical = inputs.hreflang = inputs.robotsTxt = true;
    std::map<std::string, std::string> written[2];
    std::vector<std::string> warned[2];
    std::size_t stepped[2] = {};
    for (const int readers : {1, 4}) {
      WriteFile(out / "robots.txt", "User-agent: *\nDisallow: /*e5.html$\nDisallow: /e2/e6/\nAllow: /e2/e6/e7.html\n");
      ScriptedControl control;
      SitemapRun::Environment environment{&site, nullptr, [] { return std::time_t{1765152000}; }, readers};
      environment.urlsPerPart = 40;
      environment.cores = readers == 1 ? 1 : 2;
      const RunResult result = SitemapRun(environment).Execute(out.path(), [&] { return inputs; }, control);
      ASSERT_TRUE(result.written) << ErrorOf(result);
      ASSERT_GT(result.partCount, 2u);
      const int side = readers == 1 ? 0 : 1;
      written[side] = out.Files();
      warned[side] = WarningsOf(result.warnings);
      if (side == 0) {
        // The search engine options took part.
        using Reason = Warning::Reason;
        for (const Reason reason : {Reason::kCanonicalElsewhere, Reason::kCanonicalEmpty, Reason::kRobotsDisallowed,
                                    Reason::kHreflangNotReciprocal, Reason::kHreflangBadLanguage})
          EXPECT_GT(result.warnings.count(reason), 0u) << static_cast<int>(reason);
      }
      stepped[side] = control.total;
      for (const auto& [name, bytes] : written[side]) std::remove((out / name).c_str());
    }
    EXPECT_EQ(written[1], written[0]);
    EXPECT_EQ(warned[1], warned[0]);
    if (!inputs.gzip) {
      EXPECT_TRUE(std::any_of(written[0].begin(), written[0].end(), [](const auto& file) {
        return file.second.find("<xhtml:link") != std::string::npos;
      }));
    }
    // On one core every entry is written after the walk; behind it, only
    // what was left at its end.
    if (stepped[0] > 2 * EntryList::kPublishEvery) {
      EXPECT_LT(stepped[1], stepped[0]);
    }
  }
}

// Dates from content written behind the walk, the scan's stamps beside
// its records, are those written after it: a first run with a new ledger,
// and a second with the ledger read while the folder is scanned.
TEST(ParallelWalk, ContentDatesBehindTheWalkAreThoseAfterIt) {
  TempFolder space(TempFolder::Place::kMemory);
  // Each page changed on a day of its own, so that a stamp taken for
  // another page's shows.
  constexpr std::time_t kNow = 1765152000;
  for (int folder = 0; folder < 40; ++folder) {
    for (int page = 0; page < 80; ++page) {
      const std::string path = space / ("site/f" + std::to_string(folder) + "/p" + std::to_string(page) + ".html");
      WriteFile(path, "<p>" + std::to_string(folder * page) + "</p>");
      const timespec changed{kNow - 400 * 86400 + (folder * 80 + page) % 365 * 86400, 0};
      const timespec times[2] = {changed, changed};
      ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
  }
  GenerationInputs inputs;
  inputs.baseUrl = "https://example.jp/";
  inputs.extensions = {"html"};
  inputs.lastMod = inputs.lastModFromContent = true;
  std::string written[2][2];
  std::size_t stepped[2] = {};
  for (const int cores : {1, 2}) {
    inputs.ledgerPath = space / ("ledger-" + std::to_string(cores) + ".sqlite");
    for (const int run : {0, 1}) {
      ScriptedControl control;
      SitemapRun::Environment environment;
      environment.clock = [] { return kNow; };
      environment.cores = cores;
      environment.urlsPerPart = 500;
      const RunResult result = SitemapRun(environment).Execute(space / "site", [&] { return inputs; }, control);
      ASSERT_TRUE(result.written) << ErrorOf(result);
      ASSERT_TRUE(result.changeCounts);
      EXPECT_EQ(result.changeCounts->added, run == 0 ? 3200u : 0u);
      const SitemapCheck::Set set = SitemapCheck::ReadSet(space / "site", NUBIKA_SCHEMA_DIR);
      EXPECT_EQ(set.error, "");
      // A page's date is the day its file changed.
      for (const std::string page : {"f0/p5.html", "f39/p79.html"}) {
        struct stat status {};
        ASSERT_EQ(stat((space / ("site/" + page)).c_str(), &status), 0);
        std::tm local{};
        localtime_r(&status.st_mtime, &local);
        char day[16];
        std::strftime(day, sizeof day, "%Y-%m-%d", &local);
        std::string text;
        for (const std::string& urlset : set.texts) text += urlset;
        const std::size_t at = text.find(page + "</loc>");
        ASSERT_NE(at, std::string::npos) << page;
        EXPECT_EQ(text.substr(text.find("<lastmod>", at) + 9, 10), day) << page;
      }
      // The index names its parts by their content.
      written[cores - 1][run] = ReadFile(space / "site/nubika_sitemap.xml");
      stepped[cores - 1] = control.total;
    }
  }
  EXPECT_EQ(written[1][0], written[0][0]);
  EXPECT_EQ(written[1][1], written[0][1]);
  EXPECT_LT(stepped[1], stepped[0]);  // the second core wrote behind the walk
}

// A stop asked for while workers read ahead ends the walk, and the next
// walk of the same scanner is whole.
TEST(ParallelWalk, AStopWhileReadingAheadEndsTheWalk) {
  FakeDirectoryLister site = RandomTree(7);
  const Walked whole = Walk(&site, "root", {}, 1);
  for (const int stopAt : {1, 5, 40}) {
    std::stop_source stop;
    int lists = 0;
    site.onList = [&](const std::string&) {
      if (++lists == stopAt) stop.request_stop();
    };
    const Walked stopped = Walk(&site, "root", {}, 4, stop.get_token());
    site.onList = nullptr;
    EXPECT_FALSE(stopped.completed) << stopAt;
    EXPECT_LT(stopped.entries.size(), whole.entries.size()) << stopAt;
    EXPECT_EQ(Walk(&site, "root", {}, 4), whole) << stopAt;
  }
}

// Under a descriptor limit the walk, and the readers ahead of it, hold
// fewer folders open, down to the two the walk needs; below that the scan
// gives up rather than leave folders out. The fake lister's limit counts
// the folders open on every thread.
TEST(ParallelWalk, AShortageOfDescriptorsIsWaitedOutOrGivesUp) {
  int shortages = 0;  // opens refused with two descriptors: the case was met
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    FakeDirectoryLister site = RandomTree(seed);
    const Walked whole = Walk(&site, "root", {}, 1);
    for (const int readers : {1, 4}) {
      for (const int descriptors : {2, 3, 6}) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(readers) + " readers, " +
                     std::to_string(descriptors) + " descriptors");
        site.descriptors = descriptors;
        site.outOfDescriptors = 0;
        EXPECT_EQ(Walk(&site, "root", {}, readers), whole);
        if (descriptors == 2) shortages += site.outOfDescriptors;
      }
      site.descriptors = 1;
      const Walked starved = Walk(&site, "root", {}, readers);
      EXPECT_FALSE(starved.completed);
      EXPECT_LT(starved.entries.size(), whole.entries.size());
      EXPECT_EQ(starved.failure.substr(starved.failure.find(':')), ": Too many open files");
      site.descriptors = 0;
    }
  }
  EXPECT_GT(shortages, 0);
}

// Threads the system refuses, from the first on, leave the walk with
// fewer readers ahead and the same records; a stop still ends it, and
// anything else a start throws leaves no thread behind.
TEST(ParallelWalk, RefusedThreadsMeanFewerReadersAhead) {
  FakeDirectoryLister site = RandomTree(11);
  const Walked whole = Walk(&site, "root", {}, 1);
  const auto startingThrough = [](ThreadStarter start) {
    ScanRules rules;
    rules.startThread = std::move(start);
    return rules;
  };
  for (const int failAt : {1, 2, 3}) {
    ThreadRationing threads(failAt);
    clFindInFolders scanner(&site);
    ScanRules rules = startingThrough(threads.starter());
    rules.readers = 4;
    scanner.setRules(rules);
    scanner.setLevel(1);
    ASSERT_TRUE(scanner.scanFolder("root"));
    EXPECT_EQ(scanner.getEntries(), whole.entries) << failAt;
    ASSERT_TRUE(scanner.readerShortfall()) << failAt;
    EXPECT_EQ(scanner.readerShortfall()->asked, 3);
    EXPECT_EQ(scanner.readerShortfall()->started, failAt - 1);

    ThreadRationing stopped(failAt);
    std::stop_source stop;
    site.onList = [&](const std::string&) { stop.request_stop(); };
    EXPECT_FALSE(Walk(&site, "root", startingThrough(stopped.starter()), 4, stop.get_token()).completed);
    site.onList = nullptr;
  }
  int starts = 0;
  const ThreadStarter failing = [&](std::function<void()> work) {
    if (++starts == 2) throw std::bad_alloc();
    return std::jthread(std::move(work));
  };
  EXPECT_THROW(Walk(&site, "root", startingThrough(failing), 4), std::bad_alloc);
}

}  // namespace
