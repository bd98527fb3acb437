// Dates from the ledger: the day a page's content last changed, kept
// between runs, on real files with the run's day moved by the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <random>

#include "RunText.h"
#include "TestSupport.h"
#include "ThreadRationing.h"
#include "job/SitemapRun.h"
#include "scan/PageDigest.h"

namespace {

constexpr std::time_t kDay = 86400;
constexpr std::time_t kDay1 = 1767268800;  // 2026-01-01 12:00 UTC

std::string LocalDay(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

void SetModified(const std::string& path, std::time_t when) {
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// The real folder, but one page's size and time cannot be told while it
// is scanned, as when it is replaced just then.
class UnstampedPageLister : public PosixDirectoryLister {
 public:
  bool Stamp(FolderHandle folder, const std::string& name, FileStamp* stamp) override {
    return name != "late.html" && PosixDirectoryLister::Stamp(folder, name, stamp);
  }
};

class LedgerRunTest : public ::testing::Test {
 protected:
  LedgerRunTest() {
    inputs.baseUrl = "https://example.jp/";
    inputs.extensions = {"html"};
    inputs.lastMod = inputs.lastModFromContent = true;
    inputs.ledgerPath = state / "ledger.sqlite";
  }

  // A page written on the day given, with its modification time then.
  void Page(const std::string& name, const std::string& content, std::time_t when) {
    WriteFile(site / name, content);
    SetModified(site / name, when);
  }

  // Runs on the day given; the <lastmod> of each URL's path.
  std::map<std::string, std::string> RunOn(std::time_t day, std::function<bool()> commitGate = {},
                                           ThreadStarter startThread = nullptr) {
    SitemapRun::Environment environment = setup;
    environment.clock = [day] { return day; };
    environment.ledgerCommitGate = std::move(commitGate);
    environment.startThread = std::move(startThread);
    ScriptedControl control;
    result = SitemapRun(environment).Execute(site.path(), [&] { return inputs; }, control);
    std::map<std::string, std::string> dates;
    if (!result.written) return dates;
    const std::string text = ReadFile(site / "nubika_sitemap.xml");
    for (auto at = text.find("<loc>"); at != std::string::npos; at = text.find("<loc>", at + 1)) {
      const auto end = text.find("</loc>", at);
      const std::string path = text.substr(at + 5 + inputs.baseUrl.size(), end - at - 5 - inputs.baseUrl.size());
      const auto date = text.find("<lastmod>", end);
      dates[path] = text.substr(date + 9, 10);
    }
    return dates;
  }

  std::string Changes() const {
    std::string text;
    for (const PageHistory::Change& change : result.changes) text += std::string(1, change.kind) + " " + change.url + "\n";
    return text;
  }

  TempFolder site, state;
  GenerationInputs inputs;
  RunResult result;
  SitemapRun::Environment setup;  // what RunOn starts from
  UnstampedPageLister unstamped;
};

TEST_F(LedgerRunTest, ATreeCopiedOverItselfKeepsItsDatesAndAChangedPageAloneMoves) {
  Page("index.html", "<p>home</p>", kDay1 - 3 * kDay);
  Page("a.html", "<p>a</p>", kDay1 - 2 * kDay);
  Page("sub/b.html", "<p>b</p>", kDay1 + 5 * kDay);  // in the future: the run's day
  const auto first = RunOn(kDay1);
  ASSERT_TRUE(result.written) << ErrorOf(result);
  EXPECT_EQ(first, (std::map<std::string, std::string>{{"index.html", LocalDay(kDay1 - 3 * kDay)},
                                                        {"a.html", LocalDay(kDay1 - 2 * kDay)},
                                                        {"sub/b.html", LocalDay(kDay1)}}));
  EXPECT_EQ(result.changeCounts, (PageHistory::Counts{3, 0, 0}));

  // Day 40: every file rewritten with the same bytes and a new time.
  const std::time_t day40 = kDay1 + 39 * kDay;
  for (const char* name : {"index.html", "a.html", "sub/b.html"}) {
    WriteFile(site / name, ReadFile(site / name));
    SetModified(site / name, day40 - 600);
  }
  EXPECT_EQ(RunOn(day40), first);
  EXPECT_EQ(result.changeCounts, (PageHistory::Counts{0, 0, 0}));

  // Day 41: one page changes; its date alone moves, to its file's time.
  Page("a.html", "<p>a, again</p>", day40 + kDay - 600);
  auto expected = first;
  expected["a.html"] = LocalDay(day40 + kDay - 600);
  EXPECT_EQ(RunOn(day40 + kDay), expected);
  EXPECT_EQ(Changes(), "M https://example.jp/a.html\n");

  // A page copied in with an old time (cp -p) is new today, not then.
  Page("old.html", "<p>old</p>", kDay1 - 100 * kDay);
  expected["old.html"] = LocalDay(day40 + 2 * kDay);
  EXPECT_EQ(RunOn(day40 + 2 * kDay), expected);
}

// A page the scan could not stamp is read as it is written, written behind
// the walk or after it: its date is its file's, not the run's.
TEST_F(LedgerRunTest, APageTheScanCouldNotStampIsDatedByItsFile) {
  Page("a.html", "a", kDay1 - 3 * kDay);
  Page("late.html", "late", kDay1 - 2 * kDay);
  setup.lister = &unstamped;
  for (const int cores : {1, 2}) {
    setup.cores = cores;
    inputs.ledgerPath = state / ("ledger-" + std::to_string(cores) + ".sqlite");
    EXPECT_EQ(RunOn(kDay1), (std::map<std::string, std::string>{{"a.html", LocalDay(kDay1 - 3 * kDay)},
                                                                 {"late.html", LocalDay(kDay1 - 2 * kDay)}}))
        << cores << " cores";
  }
}

// A kept ledger is read on a thread of its own while the folder is
// scanned; without threads to be had, the run reads it itself.
TEST_F(LedgerRunTest, WithoutThreadsTheLedgerGivesTheSameDates) {
  Page("a.html", "a", kDay1);
  Page("sub/b.html", "b", kDay1 + kDay);
  const auto first = RunOn(kDay1 + 2 * kDay);
  ASSERT_TRUE(result.written) << ErrorOf(result);
  Page("a.html", "a", kDay1 + 9 * kDay);  // touched
  for (const int failAt : {1, 2, 100}) {
    ThreadRationing threads(failAt);
    EXPECT_EQ(RunOn(kDay1 + 10 * kDay, {}, threads.starter()), first) << failAt;
    EXPECT_EQ(result.changeCounts, (PageHistory::Counts{0, 0, 0})) << failAt;
    EXPECT_GE(threads.attempts(), 1) << failAt;
  }
}

TEST_F(LedgerRunTest, TheChangeListNamesAddedChangedAndRemovedUrlsInSitemapOrder) {
  Page("a.html", "a", kDay1);
  Page("b.html", "b", kDay1);
  Page("c.html", "c", kDay1);
  RunOn(kDay1 + 1);
  ASSERT_TRUE(result.written) << ErrorOf(result);
  struct Step {
    const char* what;
    std::function<void()> change;
    std::string lines;
  };
  const Step steps[] = {
      {"nothing", [] {}, ""},
      {"add", [&] { Page("d.html", "d", kDay1 + kDay); }, "A https://example.jp/d.html\n"},
      {"modify", [&] { Page("b.html", "b2", kDay1 + kDay); }, "M https://example.jp/b.html\n"},
      {"delete", [&] { std::filesystem::remove(site / "c.html"); }, "D https://example.jp/c.html\n"},
      {"rename", [&] { std::filesystem::rename(site / "a.html", site / "e.html"); },
       "A https://example.jp/e.html\nD https://example.jp/a.html\n"},
      {"all at once",
       [&] {
         Page("d.html", "d2", kDay1 + 2 * kDay);
         Page("f.html", "f", kDay1 + 2 * kDay);
         std::filesystem::remove(site / "b.html");
       },
       "M https://example.jp/d.html\nA https://example.jp/f.html\nD https://example.jp/b.html\n"},
  };
  std::time_t day = kDay1 + 2 * kDay;
  for (const Step& step : steps) {
    step.change();
    RunOn(day += kDay);
    ASSERT_TRUE(result.written) << step.what << ": " << ErrorOf(result);
    // A/M lines in the sitemap's order (the scan's), removals last.
    const std::string text = ReadFile(site / "nubika_sitemap.xml");
    const std::string lines = Changes();
    for (const PageHistory::Change& change : result.changes)
      if (change.kind != 'D') {
        EXPECT_NE(text.find(change.url), std::string::npos) << step.what;
      }
    std::vector<std::string> expected, got;
    for (std::size_t at = 0, end; (end = step.lines.find('\n', at)) != std::string::npos; at = end + 1)
      expected.push_back(step.lines.substr(at, end - at));
    for (std::size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1)
      got.push_back(lines.substr(at, end - at));
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << step.what;
    bool removals = false;
    for (const PageHistory::Change& change : result.changes) {
      if (change.kind == 'D') removals = true;
      else EXPECT_FALSE(removals) << step.what << ": a removal before " << change.url;
    }
  }
}

TEST_F(LedgerRunTest, ALedgerThatCannotBeUsedWritesNothing) {
  Page("a.html", "a", kDay1);
  RunOn(kDay1 + 1);
  ASSERT_TRUE(result.written) << ErrorOf(result);
  const std::string sitemap = ReadFile(site / "nubika_sitemap.xml");
  Page("a.html", "a changed", kDay1 + kDay);
  using Kind = RunProblem::Code;
  struct Case {
    const char* what;
    std::function<std::string()> prepare;  // the ledger's path
    Kind kind;
  };
  const std::string good = state / "ledger.sqlite";
  const std::string saved = ReadFile(good);
  const Case cases[] = {
      {"corrupt", [&] { WriteFile(state / "bad.sqlite", std::string(4096, 'x')); return state / "bad.sqlite"; },
       Kind::kLedgerUnreadable},
      {"truncated", [&] { WriteFile(state / "cut.sqlite", saved.substr(0, 100)); return state / "cut.sqlite"; },
       Kind::kLedgerUnreadable},
      {"another program's database",
       [&] {
         const std::string other = state / "other.sqlite";
         WriteFile(other, saved);
         std::string bytes = ReadFile(other);
         bytes[68] = 0x12;  // the application id
         WriteFile(other, bytes);
         return other;
       },
       Kind::kLedgerNotLedger},
      {"newer format",
       [&] {
         std::string bytes = saved;
         bytes[63] = 9;  // user_version
         WriteFile(state / "newer.sqlite", bytes);
         return state / "newer.sqlite";
       },
       Kind::kLedgerNewerFormat},
      {"in a folder that is a file",
       [&] { WriteFile(state / "plain", ""); return state / "plain/ledger.sqlite"; }, Kind::kLedgerUnwritable},
      {"a folder", [&] { std::filesystem::create_directory(state / "dir"); return state / "dir"; }, Kind::kLedgerUnwritable},
  };
  for (const Case& c : cases) {
    inputs.ledgerPath = c.prepare();
    const std::string before = std::filesystem::is_regular_file(inputs.ledgerPath) ? ReadFile(inputs.ledgerPath) : "";
    RunOn(kDay1 + 2 * kDay);
    EXPECT_FALSE(result.written) << c.what;
    EXPECT_EQ(result.problem.code, c.kind) << c.what << ": " << result.problem.detail;
    EXPECT_EQ(result.problem.path, inputs.ledgerPath) << c.what;
    EXPECT_FALSE(result.problem.detail.empty()) << c.what;
    EXPECT_EQ(ReadFile(site / "nubika_sitemap.xml"), sitemap) << c.what;
    if (!before.empty()) {
      EXPECT_EQ(ReadFile(inputs.ledgerPath), before) << c.what << ": never rebuilt";
    }
  }

  // Held by another run (one sharing the ledger from another folder).
  inputs.ledgerPath = good;
  {
    ContentLedger other;
    ASSERT_TRUE(other.Open(good, false));
    RunOn(kDay1 + 2 * kDay);
    EXPECT_FALSE(result.written);
    EXPECT_EQ(result.problem.code, Kind::kLedgerLocked) << result.problem.detail;
  }
  EXPECT_EQ(ReadFile(good), saved);
  EXPECT_EQ(RunOn(kDay1 + 2 * kDay)["a.html"], LocalDay(kDay1 + kDay));
}

TEST_F(LedgerRunTest, ALedgerWhoseCommitFailsKeepsTheSitemapAndTheNextRunDatesFromTheOldLedger) {
  Page("a.html", "a", kDay1);
  Page("b.html", "b", kDay1);
  RunOn(kDay1 + 1);
  ASSERT_TRUE(result.written) << ErrorOf(result);
  const std::string saved = ReadFile(inputs.ledgerPath);

  // b changes on day 3 and c appears; the commit of that run fails.
  Page("b.html", "b changed", kDay1 + 3 * kDay);
  Page("c.html", "c", kDay1 + 3 * kDay);
  bool asked = false;
  const auto failing = RunOn(kDay1 + 4 * kDay, [&] { asked = true; return false; });
  EXPECT_TRUE(asked);
  EXPECT_TRUE(result.written) << "the sitemap stays in place";
  EXPECT_EQ(failing, (std::map<std::string, std::string>{
                         {"a.html", LocalDay(kDay1)}, {"b.html", LocalDay(kDay1 + 3 * kDay)}, {"c.html", LocalDay(kDay1 + 3 * kDay)}}));
  EXPECT_EQ(result.problem.code, RunProblem::Code::kLedgerNotUpdated);
  EXPECT_EQ(result.problem.path, inputs.ledgerPath);
  EXPECT_FALSE(result.problem.detail.empty());
  EXPECT_FALSE(result.changeCounts) << "no change list from a ledger that was not kept";
  EXPECT_EQ(ReadFile(inputs.ledgerPath), saved);

  // The next run sees b and c as changed and added since day 1, once more.
  EXPECT_EQ(RunOn(kDay1 + 5 * kDay), failing);
  EXPECT_FALSE(result.problem) << ErrorOf(result);
  EXPECT_EQ(Changes(), "M https://example.jp/b.html\nA https://example.jp/c.html\n");
  EXPECT_NE(ReadFile(inputs.ledgerPath), saved);
}

TEST_F(LedgerRunTest, ALedgerInTheFolderIsNoPageAndTheTextDigestOverlooksTheFrame) {
  inputs.extensions = {"html", "sqlite", "sqlite-journal"};
  inputs.ledgerPath = site / "ledger.sqlite";
  inputs.digestText = true;
  const auto page = [](const std::string& footer, const std::string& script) {
    return "<html><head><title>T</title><script src=\"" + script +
           "\"></script></head><body><nav>menu</nav><main><h1>Hello</h1> <p>the   text</p></main><footer>" +
           footer + "</footer></body></html>";
  };
  Page("a.html", page("2025", "app.3f9a1c.js"), kDay1);
  EXPECT_EQ(RunOn(kDay1 + 1), (std::map<std::string, std::string>{{"a.html", LocalDay(kDay1)}}));
  Page("a.html", page("2026 and a new link", "app.77aa01.js"), kDay1 + 9 * kDay);
  EXPECT_EQ(RunOn(kDay1 + 10 * kDay)["a.html"], LocalDay(kDay1));
  EXPECT_EQ(result.changeCounts, (PageHistory::Counts{0, 0, 0}));
  // Back to bytes: the untouched file keeps its date.
  inputs.digestText = false;
  EXPECT_EQ(RunOn(kDay1 + 11 * kDay)["a.html"], LocalDay(kDay1));
  Page("a.html", page("2026", "app.000000.js"), kDay1 + 11 * kDay + 3600);
  EXPECT_EQ(RunOn(kDay1 + 12 * kDay)["a.html"], LocalDay(kDay1 + 11 * kDay + 3600));
}

// The ledger answers by path whatever it was asked before: in the order a
// folder lists its pages, in reverse, at random, and for paths it does not
// hold (before the first, between two, after the last); in small folders
// and in one too large to be searched on its own.
TEST(ContentLedgerTest, FindsEveryPathInAnyOrderOfAsking) {
  TempFolder state;
  const std::string path = state / "ledger.sqlite";
  std::vector<std::string> paths;
  for (int n = 0; n < 300; ++n) paths.push_back("d" + std::to_string(n % 7) + "/p" + std::to_string(n) + ".html");
  for (int n = 0; n < 9000; ++n) paths.push_back("big/" + std::to_string(n * 7919 % 9000));
  for (const char* odd : {"a.html", "d1.html", "d1/sub/x.html", "\xc3\xa9t\xc3\xa9.html", "z/\xff.html"}) paths.push_back(odd);
  {
    ContentLedger ledger;
    ASSERT_TRUE(ledger.Open(path, false));
    for (const std::string& page : paths) ASSERT_TRUE(ledger.Put(page, {.url = "https://example.jp/" + page}));
    ASSERT_TRUE(ledger.SetRun(kDay1, "bytes"));
    ASSERT_TRUE(ledger.Commit());
  }
  ContentLedger ledger;
  ASSERT_TRUE(ledger.Open(path, false));
  ASSERT_EQ(ledger.knownCount(), paths.size());
  std::vector<std::string> sorted = paths;
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t n = 0; n < sorted.size(); ++n) ASSERT_EQ(ledger.known(n).path, sorted[n]);

  std::vector<std::string> asked = paths;
  for (const std::string& page : paths) {
    asked.push_back(page + "x");
    asked.push_back(page.substr(0, page.size() - 1));
  }
  asked.insert(asked.end(), {"", "0", "~", "d3/", "d3/p", "d9/p1.html"});
  std::vector<std::string> reversed(asked.rbegin(), asked.rend());
  std::vector<std::string> shuffled = asked;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(20));
  for (const auto* order : {&asked, &reversed, &shuffled, &sorted}) {
    for (const std::string& page : *order) {
      const auto at = std::lower_bound(sorted.begin(), sorted.end(), page);
      const std::size_t expected =
          at != sorted.end() && *at == page ? static_cast<std::size_t>(at - sorted.begin()) : ContentLedger::kUnknown;
      ASSERT_EQ(ledger.Find(page), expected) << page;
      if (expected != ContentLedger::kUnknown) {
        EXPECT_EQ(ledger.known(expected).url, "https://example.jp/" + page);
      }
    }
  }
}

TEST(PageDigestTest, TheTextDigestSeesWhatAReaderSees) {
  const auto same = [](const std::string& a, const std::string& b) {
    return PageDigest::Of(a, PageDigest::Kind::kText) == PageDigest::Of(b, PageDigest::Kind::kText);
  };
  const std::string base =
      "<title>Hi</title><meta name=description content=\"About\"><body><main><p>One  two</p></main>"
      "<footer>f</footer></body>";
  struct Case {
    std::string other;
    bool same;
  };
  const Case cases[] = {
      {"<title>Hi</title><meta name=description content=\"About\"><body><main>\n<p>One\ntwo</p>\n</main>"
       "<footer>new footer</footer><script>x()</script></body>",
       true},
      {"<title>Hi</title><meta name=\"DESCRIPTION\" content=\"About\"><link href=app.1.css rel=stylesheet>"
       "<body><!-- built 12:00 --><main><p>One two<style>p{}</style></p><template>t</template></main></body>",
       true},
      {"<title>Hi</title><meta name=description content=\"About\"><body><main><p>One three</p></main></body>", false},
      {"<title>Ho</title><meta name=description content=\"About\"><body><main><p>One two</p></main></body>", false},
      {"<title>Hi</title><meta name=description content=\"New\"><body><main><p>One two</p></main></body>", false},
  };
  for (const Case& c : cases) EXPECT_EQ(same(base, c.other), c.same) << c.other;

  // Two <main>: the whole body counts, footer and all.
  const std::string two = "<body><main>a</main><main>b</main><footer>f</footer></body>";
  EXPECT_FALSE(same(two, "<body><main>a</main><main>b</main><footer>g</footer></body>"));
  EXPECT_EQ(PageDigest::ReaderText(two), "\n\na b f\n");
  EXPECT_EQ(PageDigest::ReaderText(base), "Hi\nAbout\nOne two\n");
  // Tokens, not a tree: references stay as written, the content of a text
  // element is text, a title or script left open runs to the end, and a
  // "<" that opens no tag is text.
  EXPECT_EQ(PageDigest::ReaderText("<body>a &amp; b<textarea>t</textarea> c 1<2<"), "\n\na &amp; b t c 1<2<\n");
  EXPECT_EQ(PageDigest::ReaderText("<main>m<template><main>x</main></template></main>b<title>T<p>"),
            "T<p>\n\nm\n");
  EXPECT_EQ(PageDigest::ReaderText("<p>a<script>if (a<b) x()</p>"), "\n\na\n");
  EXPECT_NE(PageDigest::Of("a", PageDigest::Kind::kBytes), PageDigest::Of("a ", PageDigest::Kind::kBytes));

  // White space collapses the same however it falls on the eight-byte
  // words the reader copies whole: long and short words, runs of every
  // kind of white space, control bytes and UTF-8.
  std::mt19937 random(8);
  const std::string kinds[] = {" ", "  ", "\t", "\n", "\r\n", "\f", "\x01", "\x1f", "!", "\xe3\x81\x82", "abcdefghij", "w"};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (int n = std::uniform_int_distribution<int>(0, 40)(random); n > 0; --n)
      text += kinds[std::uniform_int_distribution<std::size_t>(0, std::size(kinds) - 1)(random)];
    std::string expected;
    for (const char c : text) {
      const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
      if (!space)
        expected += c;
      else if (!expected.empty() && expected.back() != ' ')
        expected += ' ';
    }
    if (!expected.empty() && expected.back() == ' ') expected.pop_back();
    ASSERT_EQ(PageDigest::ReaderText("<body>" + text), "\n\n" + expected + "\n") << text;
  }
}

}  // namespace
