#include "job/SitemapRun.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <new>

#include "FakeDirectoryLister.h"
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
  EXPECT_TRUE(site.LeftoversOf("nubika_sitemap.xml").empty());
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

TEST(SitemapRunTest, AnUnusableBaseUrlWritesNothing) {
  TempFolder site;
  WriteFile(site / "page.html", "");
  ScriptedControl control;
  const RunResult result = SitemapRun().Execute(
      site.path(), [] { return GenerationInputs{.baseUrl = "/docs/", .extensions = {"html"}}; }, control);
  EXPECT_FALSE(result.written);
  EXPECT_EQ(result.error, "the base URL must start with http:// or https://");
  EXPECT_EQ(site.Names(), std::vector<std::string>{"page.html"});
}

}  // namespace
