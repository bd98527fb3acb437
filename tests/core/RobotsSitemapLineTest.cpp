// --robots-sitemap-line: robots.txt names the sitemap after a run, every
// other byte of it kept.
#include "sitemap/RobotsSitemapLine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "FaultyFileLayer.h"
#include "TestSupport.h"
#include "job/SitemapRun.h"

namespace {

const std::string kUrl = "https://h.jp/nubika_sitemap.xml";

TEST(RobotsSitemapLineTest, TheLineEndsAsTheFilesLinesEnd) {
  const std::string line = "Sitemap: " + kUrl;
  const struct {
    const char* what;
    std::string before;
    std::optional<std::string> after;  // nullopt: left as it is
  } kCases[] = {
      {"no file", "", line + "\n"},
      {"LF", "User-agent: *\nDisallow: /x/\n", "User-agent: *\nDisallow: /x/\n" + line + "\n"},
      {"LF, no last break", "User-agent: *\nDisallow: /x/", "User-agent: *\nDisallow: /x/\n" + line + "\n"},
      {"CR LF", "User-agent: *\r\nDisallow: /x/\r\n", "User-agent: *\r\nDisallow: /x/\r\n" + line + "\r\n"},
      {"BOM, CR LF, no last break", "\xEF\xBB\xBFUser-agent: *\r\nDisallow:",
       "\xEF\xBB\xBFUser-agent: *\r\nDisallow:\r\n" + line + "\r\n"},
      {"CR", "User-agent: *\rDisallow: /\r", "User-agent: *\rDisallow: /\r" + line + "\r"},
      {"a BOM alone", "\xEF\xBB\xBF", "\xEF\xBB\xBF" + line + "\n"},
      {"Latin-1 bytes kept", "# caf\xE9\n", "# caf\xE9\n" + line + "\n"},
      {"another sitemap", "Sitemap: https://h.jp/other.xml\n", "Sitemap: https://h.jp/other.xml\n" + line + "\n"},
      {"a line in a comment", "# Sitemap: " + kUrl + "\n", "# Sitemap: " + kUrl + "\n" + line + "\n"},
      {"named", "User-agent: *\nSitemap: " + kUrl + "\n", std::nullopt},
      {"named otherwise", "SITEMAP:HTTPS://H.JP:443/nubika_sitemap.xml", std::nullopt},
      {"named in a group", "User-agent: a\nSitemap: " + kUrl + " # ours\nDisallow: /\n", std::nullopt},
  };
  for (const auto& c : kCases) EXPECT_EQ(RobotsSitemapLine::Added(c.before, kUrl), c.after) << c.what;
}

class RobotsSitemapLineRunTest : public ::testing::Test {
 protected:
  RobotsSitemapLineRunTest() {
    inputs.baseUrl = "https://h.jp/";
    inputs.extensions = {"html"};
    inputs.robotsSitemapLine = true;
    WriteFile(site / "index.html", "");
  }
  RunResult Run(FileLayer* files = nullptr) {
    ScriptedControl control;
    SitemapRun::Environment environment;
    environment.files = files;
    return SitemapRun(std::move(environment)).Execute(site.path(), [&] { return inputs; }, control);
  }
  bool OnlyTheSiteFiles() const {
    for (const auto& entry : std::filesystem::directory_iterator(site.path()))
      if (entry.path().filename().string().starts_with(".nubika_sitemap.tmp-")) return false;
    return true;
  }

  TempFolder site;
  GenerationInputs inputs;
};

TEST_F(RobotsSitemapLineRunTest, ARunAddsTheLineOnceAndKeepsTheFilesMode) {
  EXPECT_FALSE(Run().problem);
  EXPECT_EQ(ReadFile(site / "robots.txt"), "Sitemap: " + kUrl + "\n");
  WriteFile(site / "robots.txt", "User-agent: *\r\nDisallow: /private/\r\n");
  ASSERT_EQ(chmod((site / "robots.txt").c_str(), 0640), 0);
  EXPECT_FALSE(Run().problem);
  EXPECT_FALSE(Run().problem);  // named now: left alone
  EXPECT_EQ(ReadFile(site / "robots.txt"), "User-agent: *\r\nDisallow: /private/\r\nSitemap: " + kUrl + "\r\n");
  struct stat status {};
  ASSERT_EQ(stat((site / "robots.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_TRUE(OnlyTheSiteFiles());
}

// Below a host's root there is no robots.txt: one warning, nothing written.
TEST_F(RobotsSitemapLineRunTest, NothingBelowTheHostsRoot) {
  inputs.baseUrl = "https://h.jp/docs/";
  const RunResult result = Run();
  EXPECT_TRUE(result.written);
  EXPECT_FALSE(result.problem);
  ASSERT_EQ(result.warnings.kept().size(), 1u);
  EXPECT_EQ(result.warnings.kept()[0].reason, Warning::Reason::kRobotsNotAtRoot);
  EXPECT_FALSE(std::filesystem::exists(site / "robots.txt"));
}

// The sitemap is in place when robots.txt cannot be replaced: the run
// says so, and robots.txt is as it was.
TEST_F(RobotsSitemapLineRunTest, ARobotsTxtThatCannotBeWrittenIsTheRunsProblem) {
  WriteFile(site / "robots.txt", "User-agent: *\n");
  FaultyFileLayer counting(FaultyFileLayer::Step::kRename, 0, EIO);
  ASSERT_FALSE(Run(&counting).problem);
  // robots.txt is read and replaced last.
  for (const FaultyFileLayer::Step step : {FaultyFileLayer::Step::kRename, FaultyFileLayer::Step::kReadWhole}) {
    const int nth = counting.CallsOf(step);
    std::filesystem::remove(site / "nubika_sitemap.xml");
    WriteFile(site / "robots.txt", "User-agent: *\n");
    FaultyFileLayer failing(step, nth, EIO);
    const RunResult result = Run(&failing);
    EXPECT_TRUE(failing.Fired()) << FaultyFileLayer::NameOf(step);
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.problem.code, RunProblem::Code::kRobotsTxtNotUpdated);
    EXPECT_EQ(result.problem.path, site / "robots.txt");
    EXPECT_TRUE(std::filesystem::exists(site / "nubika_sitemap.xml"));
    EXPECT_EQ(ReadFile(site / "robots.txt"), "User-agent: *\n");
    EXPECT_TRUE(OnlyTheSiteFiles());
  }
}

}  // namespace
