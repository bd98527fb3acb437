#include "job/clsThread.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "FakeDirectoryLister.h"
#include "FaultyFileLayer.h"
#include "TestSupport.h"
#include "job/ProgressText.h"
#include "RunText.h"

namespace {

// Stands in for the window: records every notice, and the run's result as
// the window reads it when the finished notice arrives.
class RecordingHost : public clsThread::Host {
 public:
  GenerationInputs InputsOfRun() override {
    ++inputsAsked;
    if (failInputs) throw std::runtime_error("the window is gone");
    GenerationInputs inputs;
    inputs.baseUrl = "https://example.jp/";
    inputs.extensions = {"html"};
    return inputs;
  }
  void OnProgress(const std::string& percent) override {
    progress.push_back(percent);
    if (onProgress) onProgress(percent);
  }
  void OnFinished(bool succeeded) override {
    finished.push_back(succeeded);
    result = worker->result();
  }

  clsThread* worker = nullptr;
  std::function<void(const std::string&)> onProgress;
  bool failInputs = false;
  int inputsAsked = 0;
  std::vector<std::string> progress;
  std::vector<bool> finished;
  RunResult result;
};

class ClsThreadTest : public ::testing::Test {
 protected:
  // One run to its end; the worker's thread is gone when this returns.
  void Run(FileLayer* files = nullptr, int cores = 0) {
    SitemapRun::Environment environment{&site, files, {}};
    environment.cores = cores;
    clsThread worker(host, folder.path(), environment);
    host.worker = &worker;
    worker.Resume();
  }
  void Files(std::vector<std::string> names) {
    for (const auto& name : names) site.File(folder.path(), name);
  }

  TempFolder folder;
  FakeDirectoryLister site;
  RecordingHost host;
};

// Without a thread for the run, it fails at once and says why.
TEST_F(ClsThreadTest, ARunWithoutAThreadFailsAndFinishes) {
  Files({"a.html"});
  clsThread worker(host, folder.path(), SitemapRun::Environment{&site, nullptr, {}, 1, [](std::function<void()>) -> std::jthread {
                     throw std::system_error(EAGAIN, std::generic_category());
                   }});
  host.worker = &worker;
  worker.Resume();
  EXPECT_EQ(host.finished, std::vector<bool>{false});
  EXPECT_EQ(ErrorOf(host.result), "could not start the run: Resource temporarily unavailable");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{});
}

TEST_F(ClsThreadTest, ThreeEntriesReportEachPercentageThenSuccess) {
  Files({"a.html", "b.html", "c.css"});
  Run();
  EXPECT_EQ(host.progress, (std::vector<std::string>{"0.00", "33.33", "66.67", "100.00"}));
  EXPECT_EQ(host.finished, std::vector<bool>{true});
  EXPECT_EQ(host.inputsAsked, 1);  // when the run starts, for the scan and the writer
  EXPECT_EQ(host.result.urlCount, 2u);
  EXPECT_EQ(host.result.path, folder / "nubika_sitemap.xml");
}

TEST_F(ClsThreadTest, AFailedWriteEndsAsFailedWithTheReason) {
  Files({"a.html"});
  FaultyFileLayer files(FaultyFileLayer::Step::kCreateTemp, 1, ENOSPC);
  Run(&files);
  EXPECT_EQ(host.progress, std::vector<std::string>{"0.00"});
  EXPECT_EQ(host.finished, std::vector<bool>{false});
  EXPECT_TRUE(host.result.writerRan);
  EXPECT_NE(ErrorOf(host.result).find("No space left on device"), std::string::npos) << ErrorOf(host.result);
}

TEST_F(ClsThreadTest, AnEmptyOrMissingFolderEndsAtOnceWithoutProgress) {
  Run();  // the fake disk holds nothing at the folder
  EXPECT_TRUE(host.progress.empty());
  EXPECT_EQ(host.finished, std::vector<bool>{false});
  EXPECT_FALSE(host.result.writerRan);
  EXPECT_TRUE(host.result.problem);
}

// A large list reports each distinct text once, in the order and with the
// values that one report per entry would have shown. On one core, the
// whole list is written once the scan is over.
TEST_F(ClsThreadTest, RepeatedPercentagesAreDeliveredOnce) {
  constexpr std::uint32_t kEntries = 70001;
  for (std::uint32_t i = 0; i < kEntries; ++i) site.File(folder.path(), "p" + std::to_string(i) + ".html");
  Run(nullptr, 1);
  std::vector<std::string> expected;
  for (std::uint32_t i = 0; i <= kEntries; ++i) {
    std::string text = ProgressText::Format(i, kEntries);
    if (expected.empty() || expected.back() != text) expected.push_back(std::move(text));
  }
  EXPECT_EQ(host.progress, expected);
}

TEST_F(ClsThreadTest, TerminateStopsTheScanOrTheWriter) {
  Files({"a.html", "b.html"});
  site.onList = [this](const std::string&) { host.worker->Terminate(); };
  Run();
  EXPECT_EQ(host.finished, std::vector<bool>{false});
  EXPECT_TRUE(host.result.stopped);
  EXPECT_FALSE(host.result.writerRan);

  RecordingHost writing;
  host = writing;
  site.onList = nullptr;
  Files({"c", "d"});
  WriteFile(folder / "nubika_sitemap.xml", "previous");
  host.onProgress = [this](const std::string& percent) {
    if (percent == "25.00") host.worker->Terminate();
  };
  Run();
  EXPECT_EQ(host.progress, (std::vector<std::string>{"0.00", "25.00"}));
  EXPECT_EQ(host.finished, std::vector<bool>{false});
  EXPECT_TRUE(host.result.stopped);
  EXPECT_EQ(ReadFile(folder / "nubika_sitemap.xml"), "previous");
}

TEST_F(ClsThreadTest, AFailingDisplayEndsTheRunAsFailedWithItsReason) {
  Files({"a.html"});
  host.failInputs = true;
  Run();
  EXPECT_EQ(host.finished, std::vector<bool>{false});
  EXPECT_EQ(ErrorOf(host.result), "the window is gone");

  RecordingHost failingProgress;
  host = failingProgress;
  host.onProgress = [](const std::string&) { throw std::runtime_error("display"); };
  Run();
  EXPECT_EQ(host.finished, std::vector<bool>{false});
  EXPECT_EQ(ErrorOf(host.result), "display");
}

}  // namespace
