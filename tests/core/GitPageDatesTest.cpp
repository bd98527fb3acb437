// Dates from git: repositories built by the git command with back-dated
// commits, and what each page's date is, or why it has none.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>

#include "RunText.h"
#include "TestSupport.h"
#include "job/SitemapRun.h"
#include "sitemap/GitPageDates.h"

namespace {

// Noon UTC of the day "YYYY-MM-DD".
std::time_t Noon(const std::string& day) {
  std::tm parts{};
  strptime((day + " 12:00:00").c_str(), "%Y-%m-%d %H:%M:%S", &parts);
  return timegm(&parts);
}

// A repository in a scratch folder, made and changed by the git command,
// alone: no user's or system's configuration.
class Repository {
 public:
  explicit Repository(const std::string& path) : path_(path) {
    setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
    setenv("GIT_CONFIG_GLOBAL", "/dev/null", 1);
    setenv("GIT_AUTHOR_NAME", "test", 1);
    setenv("GIT_AUTHOR_EMAIL", "test@example.jp", 1);
    setenv("GIT_COMMITTER_NAME", "test", 1);
    setenv("GIT_COMMITTER_EMAIL", "test@example.jp", 1);
    std::filesystem::create_directories(path);
    Git("init -q -b main");
  }

  void Git(const std::string& arguments, const std::string& day = "2020-01-01") const {
    const std::string command = "cd '" + path_ + "' && GIT_COMMITTER_DATE='" + day + " 12:00:00 +0000' GIT_AUTHOR_DATE='" +
                                day + " 12:00:00 +0000' git " + arguments + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  void Write(const std::string& file, const std::string& text) const {
    std::filesystem::create_directories(std::filesystem::path(path_ + "/" + file).parent_path());
    WriteFile(path_ + "/" + file, text);
  }
  // Everything as it stands, committed on the day given.
  void Commit(const std::string& day) const {
    Git("add -A", day);
    Git("commit -q -m " + day, day);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The dates GitPageDates gives the pages, "-" for none.
std::map<std::string, std::string> DatesOf(const GitPageDates& dates, const std::vector<std::string>& pages) {
  std::map<std::string, std::string> days;
  for (const std::string& page : pages) {
    const std::optional<std::time_t> date = dates.DateOf(page);
    char text[16] = "-";
    if (date) {
      std::tm parts{};
      gmtime_r(&*date, &parts);
      std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    }
    days[page] = text;
  }
  return days;
}

TEST(GitPageDatesTest, EachTrackedCleanPageTakesItsLastCommitAlongFirstParents) {
  TempFolder scratch;
  const Repository repo(scratch / "repo");
  repo.Write("site/a.html", "a");
  repo.Write("site/b.html", "b");
  repo.Write("site/deep/c.html", "c");
  repo.Write("site/touched.html", "t");
  repo.Write("site/staged.html", "s");
  repo.Write("other/x.html", "x");
  repo.Commit("2020-01-05");
  repo.Write("site/b.html", "b2");
  repo.Write("other/x.html", "x2");  // outside the folder: no page of it
  repo.Commit("2020-02-10");
  // A side branch changes c on the 3rd; main merges it on the 20th.
  repo.Git("checkout -q -b side");
  repo.Write("site/deep/c.html", "c2");
  repo.Commit("2020-03-03");
  repo.Git("checkout -q main");
  repo.Write("site/a.html", "a2");
  repo.Commit("2020-03-15");
  repo.Git("merge -q --no-ff -m merge side", "2020-03-20");
  repo.Write("other/y.html", "y");
  repo.Commit("2020-04-01");
  // Not committed: a change in the work tree, one staged, a new file
  // (untracked, and one ignored), a link, and an embedded repository.
  repo.Write("site/touched.html", "t2");
  repo.Write("site/new.html", "n");
  repo.Write(".gitignore", "ignored.html\n");
  repo.Write("site/ignored.html", "i");
  std::filesystem::create_symlink("a.html", scratch / "repo/site/link.html");
  const Repository sub(scratch / "repo/site/sub");
  sub.Write("inner.html", "i");
  sub.Commit("2019-01-01");
  repo.Git("add .gitignore site/link.html site/sub", "2020-05-01");
  repo.Git("commit -q -m later", "2020-05-01");
  repo.Write("site/staged.html", "s2");
  repo.Git("add site/staged.html");

  const std::vector<std::string> pages = {"a.html",       "b.html",   "deep/c.html",  "touched.html",
                                          "staged.html",  "new.html", "ignored.html", "link.html",
                                          "sub/inner.html", "gone.html"};
  GitPageDates dates;
  dates.Read(scratch / "repo/site", pages);
  EXPECT_EQ(DatesOf(dates, pages), (std::map<std::string, std::string>{
                                       {"a.html", "2020-03-15"},
                                       {"b.html", "2020-02-10"},
                                       {"deep/c.html", "2020-03-20"},  // the merge, not the side's commit
                                       {"touched.html", "-"},
                                       {"staged.html", "-"},
                                       {"new.html", "-"},
                                       {"ignored.html", "-"},
                                       {"link.html", "-"},
                                       {"sub/inner.html", "-"},
                                       {"gone.html", "-"},
                                   }));
  EXPECT_EQ(dates.workTree(), scratch / "repo");
  EXPECT_EQ(dates.historyCut(), 0u);
  EXPECT_FALSE(dates.problem());

  // The work tree's root is a folder like any other.
  GitPageDates root;
  root.Read(scratch / "repo", {"site/b.html", "other/x.html", "other/y.html", ".gitignore"});
  EXPECT_EQ(DatesOf(root, {"site/b.html", "other/x.html", "other/y.html", ".gitignore"}),
            (std::map<std::string, std::string>{{"site/b.html", "2020-02-10"},
                                                {"other/x.html", "2020-02-10"},
                                                {"other/y.html", "2020-04-01"},
                                                {".gitignore", "2020-05-01"}}));
}

TEST(GitPageDatesTest, FoldersGitCannotDateGiveNoDates) {
  TempFolder scratch;
  // A folder whose name pathspecs would read as a pattern, holding a
  // changed page: the change is seen.
  const Repository patterned(scratch / "patterned");
  patterned.Write("s[i]te*/p.html", "p");
  patterned.Write("s[i]te*/q.html", "q");
  patterned.Commit("2021-01-01");
  patterned.Write("s[i]te*/q.html", "q2");
  const Repository unborn(scratch / "unborn");
  unborn.Write("p.html", "p");
  unborn.Git("add p.html");
  const Repository bare(scratch / "bare.git");
  bare.Git("config core.bare true");
  bare.Write("p.html", "p");
  std::filesystem::create_directories(scratch / "plain");
  WriteFile(scratch / "plain/p.html", "p");

  struct Case {
    std::string folder;
    std::map<std::string, std::string> dates;
    std::string workTree;
  };
  const std::vector<Case> cases = {
      {"patterned/s[i]te*", {{"p.html", "2021-01-01"}, {"q.html", "-"}}, scratch / "patterned"},
      {"unborn", {{"p.html", "-"}}, scratch / "unborn"},
      {"bare.git", {{"p.html", "-"}}, ""},
      {"plain", {{"p.html", "-"}}, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> pages;
    for (const auto& [page, day] : c.dates) pages.push_back(page);
    GitPageDates dates;
    dates.Read(scratch / c.folder, pages);
    EXPECT_EQ(DatesOf(dates, pages), c.dates) << c.folder;
    EXPECT_EQ(dates.workTree(), c.workTree) << c.folder;
    EXPECT_FALSE(dates.problem()) << c.folder << ": " << dates.problem()->cause;
  }
}

TEST(GitPageDatesTest, AShallowCloneCountsThePagesWhoseHistoryItCut) {
  TempFolder scratch;
  const Repository repo(scratch / "repo");
  repo.Write("old.html", "o");
  repo.Write("middle.html", "m");
  repo.Commit("2020-01-01");
  repo.Write("middle.html", "m2");
  repo.Commit("2021-01-01");
  repo.Write("new.html", "n");
  repo.Commit("2022-01-01");
  const std::vector<std::string> pages = {"old.html", "middle.html", "new.html"};
  for (const auto& [depth, expected, cut] :
       std::vector<std::tuple<int, std::map<std::string, std::string>, std::size_t>>{
           {1, {{"old.html", "-"}, {"middle.html", "-"}, {"new.html", "-"}}, 3},
           // The clone's oldest commit changed middle, but without its
           // parent nobody can tell.
           {2, {{"old.html", "-"}, {"middle.html", "-"}, {"new.html", "2022-01-01"}}, 2},
           // Deep enough, it holds all.
           {3, {{"old.html", "2020-01-01"}, {"middle.html", "2021-01-01"}, {"new.html", "2022-01-01"}}, 0},
       }) {
    const std::string clone = scratch / ("depth" + std::to_string(depth));
    ASSERT_EQ(std::system(("git clone -q --depth " + std::to_string(depth) + " file://" + repo.path() + " " + clone +
                           " 2>/dev/null")
                              .c_str()),
              0);
    GitPageDates dates;
    dates.Read(clone, pages);
    EXPECT_EQ(DatesOf(dates, pages), expected) << depth;
    EXPECT_EQ(dates.historyCut(), cut) << depth;
    EXPECT_FALSE(dates.problem()) << depth;
  }
}

// Through a run: the ledger is kept, a page whose commit date moved is a
// change, and a folder reached through a link is dated as itself.
TEST(GitPageDatesTest, ARunDatesByGitAndCountsADateMovedAsAChange) {
  TempFolder scratch;
  const Repository repo(scratch / "repo");
  repo.Write("site/a.html", "a");
  repo.Write("site/b.html", "b");
  repo.Commit("2020-01-05");
  std::filesystem::create_symlink(scratch / "repo/site", scratch / "link");
  GenerationInputs inputs;
  inputs.baseUrl = "https://example.jp/";
  inputs.extensions = {"html"};
  inputs.lastMod = inputs.lastModFromContent = inputs.lastModFromGit = true;
  inputs.ledgerPath = scratch / "ledger.sqlite";
  const auto run = [&] {
    ScriptedControl control;
    SitemapRun::Environment environment;
    environment.clock = [] { return Noon("2026-06-01"); };
    const RunResult result = SitemapRun(environment).Execute(scratch / "link", [&] { return inputs; }, control);
    EXPECT_TRUE(result.written) << ErrorOf(result);
    return result;
  };
  // Days in UTC, as the commits are dated.
  const char* zone = std::getenv("TZ");
  const std::optional<std::string> savedZone = zone ? std::optional<std::string>(zone) : std::nullopt;
  setenv("TZ", "UTC", 1);
  tzset();
  RunResult result = run();
  const std::string sitemap = ReadFile(scratch / "repo/site/nubika_sitemap.xml");
  EXPECT_NE(sitemap.find("<loc>https://example.jp/a.html</loc>\r\n\t\t<lastmod>2020-01-05</lastmod>"), std::string::npos)
      << sitemap;
  EXPECT_EQ(result.changeCounts, (PageHistory::Counts{2, 0, 0}));

  // Committing the same bytes again changes no date; a new commit of b
  // moves its date, and b is changed though its bytes are back as they were.
  repo.Write("site/b.html", "b2");
  repo.Commit("2020-02-01");
  repo.Write("site/b.html", "b");
  repo.Commit("2020-03-01");
  result = run();
  EXPECT_EQ(result.changeCounts, (PageHistory::Counts{0, 1, 0}));
  EXPECT_EQ(result.changes, (std::vector<PageHistory::Change>{{'M', "https://example.jp/b.html"}}));
  EXPECT_NE(ReadFile(scratch / "repo/site/nubika_sitemap.xml")
                .find("<loc>https://example.jp/b.html</loc>\r\n\t\t<lastmod>2020-03-01</lastmod>"),
            std::string::npos);
  EXPECT_EQ(run().changeCounts, (PageHistory::Counts{0, 0, 0}));
  if (savedZone)
    setenv("TZ", savedZone->c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
