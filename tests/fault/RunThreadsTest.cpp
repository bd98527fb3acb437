// The run's threads without Qt: the scan and the writer on a worker
// thread, progress handed synchronously to a host thread, and a stop asked
// for from the host at random moments. Built also under ThreadSanitizer,
// where any unsynchronised access between the threads fails the test.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "FakeDirectoryLister.h"
#include "FakeHost.h"
#include "SitemapCheck.h"
#include "TestSupport.h"
#include "ThreadRationing.h"
#include "job/ProgressText.h"
#include "job/SitemapRun.h"
#include "scan/clFindInFolders.h"
#include "sitemap/SitemapWriter.h"
#include "RunText.h"

namespace {

constexpr int kFolders = 60;
constexpr int kPagesPerFolder = 50;
constexpr std::size_t kEntries = kFolders * (1 + kPagesPerFolder);

FakeDirectoryLister SiteAt(const std::string& root) {
  FakeDirectoryLister site;
  std::vector<ListedEntry> top;
  for (int folder = 0; folder < kFolders; ++folder) {
    const std::string name = std::string("f").append(std::to_string(folder));
    top.push_back({name, ListedEntry::Kind::kFolder});
    std::vector<ListedEntry> pages;
    for (int page = 0; page < kPagesPerFolder; ++page)
      pages.push_back({std::string("p").append(std::to_string(page)).append(".html"), ListedEntry::Kind::kFile});
    site.Add(root + "/" + name, pages);
  }
  site.Add(root, top);
  return site;
}

FakeDirectoryLister& Site() {
  static FakeDirectoryLister lister = SiteAt("root");
  return lister;
}

// The worker's side of a run: progress goes to the host and waits there;
// the stop is asked for by the host and seen by the worker.
class HostedControl : public RunControl {
 public:
  HostedControl(FakeHost& host, std::int64_t total, std::uint32_t stopAt)
      : host_(host), total_(total), stopAt_(stopAt) {}

  std::stop_token stopToken() const override { return stop_.get_token(); }
  void StepProgress() override {
    const std::uint32_t step = ++steps_;
    host_.Call([this, step] {
      if (text_.Update(step, total_)) ++textsShown_;
      if (step == stopAt_) stop_.request_stop();
    });
  }
  int textsShown() const { return textsShown_; }

 private:
  FakeHost& host_;
  std::int64_t total_;
  std::uint32_t stopAt_;
  std::stop_source stop_;
  std::uint32_t steps_ = 0;
  ProgressText text_;  // touched on the host thread only
  int textsShown_ = 0;
};

TEST(RunThreads, ScanStoppedFromAnotherThreadEndsAndTheScannerIsReusable) {
  clFindInFolders scanner(&Site());
  std::mt19937 random(6);
  int stopped = 0;
  for (int run = 0; run < 100; ++run) {
    scanner.reset();
    scanner.setLevel(1);
    bool completed = true;
    std::stop_source stop;
    std::thread worker([&] { completed = scanner.scanFolder("root", stop.get_token()); });
    for (int spin = std::uniform_int_distribution<int>(0, 2000)(random); spin > 0; --spin)
      std::this_thread::yield();
    stop.request_stop();
    worker.join();
    if (!completed) {
      ++stopped;
      EXPECT_LT(scanner.entries().size(), kEntries);
    } else {
      EXPECT_EQ(scanner.entries().size(), kEntries);
    }
  }
  scanner.reset();
  scanner.setLevel(1);
  EXPECT_TRUE(scanner.scanFolder("root"));
  EXPECT_EQ(scanner.entries().size(), kEntries);
  RecordProperty("stopped_scans", stopped);
}

// Stops at every kind of moment of the writing stage, from the first entry
// to after the last: a stopped run leaves the previous sitemap, a finished
// one the complete new one, and neither leaves a temporary file.
TEST(RunThreads, WritingStoppedFromTheHostKeepsThePreviousSitemap) {
  clFindInFolders scanner(&Site());
  scanner.setLevel(1);
  ASSERT_TRUE(scanner.scanFolder("root"));
  TempFolder out;
  const std::string target = out / SitemapWriter::kFileName;
  WriteFile(target, "previous");
  GenerationInputs inputs;
  inputs.baseUrl = "https://example.jp/";
  inputs.extensions = {"html"};

  std::mt19937 random(7);
  std::uniform_int_distribution<std::uint32_t> moment(1, kEntries + 1);  // kEntries + 1: never
  FakeHost host;
  for (int run = 0; run < 40; ++run) {
    const std::uint32_t stopAt = run == 0 ? kEntries + 1 : moment(random);
    HostedControl control(host, static_cast<std::int64_t>(kEntries), stopAt);
    bool written = false;
    std::thread worker([&] {
      SitemapWriter writer;
      written = writer.WriteSitemap(out.path(), scanner.entries(), inputs, control);
    });
    worker.join();
    SCOPED_TRACE("stop at entry " + std::to_string(stopAt));
    EXPECT_EQ(written, stopAt > kEntries);
    EXPECT_GT(control.textsShown(), 0);
    const std::string now = ReadFile(target);
    if (written) {
      EXPECT_EQ(SitemapCheck::Parse(now).locs.size(), std::size_t{kFolders * kPagesPerFolder});
      WriteFile(target, "previous");
    } else {
      EXPECT_EQ(now, "previous");
    }
    EXPECT_EQ(out.Leftovers(), std::vector<std::string>{});
  }
}

// A system that gives fewer threads than asked for, none at all, some or
// all but the last: the run ends at once with the sitemap one reader
// writes, and says once how many of the threads that read folders ahead
// it had. The thread that writes behind the walk is asked for first; the
// run writes without it as on one core.
TEST(RunThreads, ThreadsTheSystemRefusesMeanFewerReadersAndOneWarning) {
  TempFolder out;
  FakeDirectoryLister site = SiteAt(out.path());
  GenerationInputs inputs;
  inputs.baseUrl = "https://example.jp/";
  inputs.extensions = {"html"};
  const auto run = [&](int readers, ThreadStarter start) {
    ScriptedControl control;
    const SitemapRun::Environment environment{&site, nullptr, [] { return std::time_t{1765152000}; }, readers,
                                              std::move(start)};
    return SitemapRun(environment).Execute(out.path(), [&] { return inputs; }, control);
  };
  const RunResult alone = run(1, nullptr);
  ASSERT_TRUE(alone.written) << ErrorOf(alone);
  ASSERT_TRUE(alone.warnings.empty());
  const std::string expected = ReadFile(alone.path);
  // 5 readers: the walk and 4 threads, after the writing thread.
  for (const auto& [failAt, readersStarted] : {std::pair{1, 0}, {2, 0}, {4, 2}, {5, 3}}) {
    SCOPED_TRACE("thread " + std::to_string(failAt) + " refused");
    ThreadRationing threads(failAt);
    const auto began = std::chrono::steady_clock::now();
    const RunResult result = run(5, threads.starter());
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
    ASSERT_TRUE(result.written) << ErrorOf(result);
    EXPECT_EQ(ReadFile(result.path), expected);
    // The readers stop asking at their first refusal.
    EXPECT_EQ(threads.attempts(), std::max(failAt, 2));
    EXPECT_EQ(LinesOf(result.warnings),
              std::vector<std::string>{"could start only " + std::to_string(readersStarted) +
                                       " of 4 threads that read folders ahead (Resource temporarily "
                                       "unavailable); the folders were read with fewer"});
  }
}

}  // namespace
