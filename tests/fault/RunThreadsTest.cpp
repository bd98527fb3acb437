// The run's threads without Qt: the scan and the writer on a worker
// thread, progress handed synchronously to a host thread, and a stop asked
// for from the host at random moments. Built also under ThreadSanitizer,
// where any unsynchronised access between the threads fails the test.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "FakeDirectoryLister.h"
#include "FakeHost.h"
#include "FaultyFileLayer.h"
#include "SitemapCheck.h"
#include "TestSupport.h"
#include "ThreadRationing.h"
#include "job/ProgressText.h"
#include "job/SitemapRun.h"
#include "scan/EntryList.h"
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

// The walk appends on one thread while a reader takes on another: the
// reader sees every record once and in order, whatever the size of the
// chunks (those read through are filled again) and however the two
// threads take turns, and after the close it takes what is left.
TEST(RunThreads, AReaderTakesTheRecordsWhileTheWalkAppendsThem) {
  std::mt19937 random(23);
  for (int round = 0; round < 30; ++round) {
    const std::size_t perChunk = 1 + random() % 70;
    const std::size_t count = round == 0 ? 0 : random() % 6000;
    SCOPED_TRACE(std::to_string(count) + " records, " + std::to_string(perChunk) + " a chunk");
    EntryList list(perChunk);
    EntryList::Reader reader(list);
    std::vector<std::string> taken;
    const int pauses = static_cast<int>(random() % 3);
    std::thread behind([&] {
      while (const clCompositionFolder* record = reader.NextWhileOpen()) {
        taken.push_back(record->name());
        if (pauses == 1 && taken.size() % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    for (std::size_t i = 0; i < count; ++i) {
      EXPECT_EQ(list.Append(std::uint16_t{1}, "r" + std::to_string(i) + "-with-a-name-on-the-heap", 0).getLevel(), 1);
      if (pauses == 2 && i % 700 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    list.Close();
    behind.join();
    const std::size_t takenBehind = taken.size();
    while (const clCompositionFolder* record = reader.Next()) taken.push_back(record->name());
    ASSERT_EQ(taken.size(), count);
    EXPECT_EQ(reader.taken(), count);
    // Behind the walk, only what it published before the close.
    EXPECT_LE(takenBehind, count - count % EntryList::kPublishEvery);
    for (std::size_t i = 0; i < count; ++i)
      ASSERT_EQ(taken[i], "r" + std::to_string(i) + "-with-a-name-on-the-heap");
  }
}

// Stops at random moments of runs that write behind the walk, into parts
// and with gzip: a stopped run leaves the previous set as it was, byte for
// byte, and no file of its own; one that ends writes the new set whole.
TEST(RunThreads, StopsWhileWritingBehindTheWalkKeepThePreviousSet) {
  TempFolder out(TempFolder::Place::kMemory);
  FakeDirectoryLister site;
  std::vector<ListedEntry> top;
  for (int folder = 0; folder < 40; ++folder) {
    const std::string name = "f" + std::to_string(folder);
    top.push_back({name, ListedEntry::Kind::kFolder});
    for (int page = 0; page < 150; ++page) site.File(out / name, "p" + std::to_string(page) + ".html");
  }
  site.Add(out.path(), top);
  site.onList = [](const std::string&) { std::this_thread::sleep_for(std::chrono::microseconds(200)); };
  std::mt19937 random(11);
  int stopped = 0;
  for (int run = 0; run < 24; ++run) {
    GenerationInputs inputs;
    inputs.baseUrl = "https://example.jp/";
    inputs.extensions = {"html"};
    inputs.gzip = run % 2 == 1;
    SitemapRun::Environment environment{&site, nullptr, [] { return std::time_t{1765152000}; }, 4};
    environment.urlsPerPart = 500;
    environment.cores = 2;
    const auto write = [&](bool priority, ScriptedControl& control) {
      inputs.priority = priority;
      return SitemapRun(environment).Execute(out.path(), [&] { return inputs; }, control);
    };
    ScriptedControl whole;
    ASSERT_TRUE(write(false, whole).written);
    const auto previous = out.Files();
    // A stop during the walk, from another thread, or during what is left
    // to write once it is over.
    const bool inTheWalk = run % 3 != 2;
    const int stepsBeforeStop = inTheWalk || run % 6 == 5 ? -1 : static_cast<int>(random() % (whole.total + 1));
    ScriptedControl control(stepsBeforeStop);
    const auto stopAfter = std::chrono::microseconds(random() % 15000);
    std::thread stopper([&] {
      if (!inTheWalk) return;
      std::this_thread::sleep_for(stopAfter);
      control.stop.request_stop();
    });
    const RunResult result = write(true, control);
    stopper.join();
    SCOPED_TRACE("run " + std::to_string(run) + (inTheWalk ? ", stop in the walk" : ", stop while writing"));
    if (!result.written) {
      ++stopped;
      EXPECT_TRUE(result.stopped) << ErrorOf(result);
      EXPECT_EQ(out.Files(), previous);
    } else {
      const SitemapCheck::Set set = SitemapCheck::ReadSet(out.path(), NUBIKA_SCHEMA_DIR);
      EXPECT_EQ(set.error, "");
      EXPECT_EQ(set.locs.size(), std::size_t{40 * 150});
    }
  }
  EXPECT_GT(stopped, 0);
}

// A part that cannot be written while the walk goes on ends the walk
// too: the run fails with the reason, and the previous set stays.
TEST(RunThreads, AWriteFailingBehindTheWalkEndsTheWalk) {
  TempFolder out(TempFolder::Place::kMemory);
  FakeDirectoryLister site = SiteAt(out.path());
  // In the failing run the second half of the folders lists slowly, so that
  // the walk is still going, whatever the machine's load, when the writer
  // fails in the first half.
  std::atomic<bool> slowSecondHalf = false;
  site.onList = [&slowSecondHalf](const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    const bool late = slowSecondHalf && name.size() > 1 && name[0] == 'f' &&
                      name.find_first_not_of("0123456789", 1) == std::string::npos &&
                      std::stoi(name.substr(1)) >= kFolders / 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(late ? 100 : 2));
  };
  GenerationInputs inputs;
  inputs.baseUrl = "https://example.jp/";
  inputs.extensions = {"html"};
  SitemapRun::Environment environment{&site, nullptr, [] { return std::time_t{1765152000}; }, 4};
  environment.urlsPerPart = 100;
  environment.cores = 2;
  ScriptedControl first;
  ASSERT_TRUE(SitemapRun(environment).Execute(out.path(), [&] { return inputs; }, first).written);
  const auto previous = out.Files();
  site.listed.clear();
  slowSecondHalf = true;
  inputs.priority = true;  // parts of other names than the previous set's
  FaultyFileLayer files(FaultyFileLayer::Step::kCreateTemp, 3, ENOSPC);
  environment.files = &files;
  ScriptedControl control;
  const RunResult result = SitemapRun(environment).Execute(out.path(), [&] { return inputs; }, control);
  EXPECT_FALSE(result.written);
  EXPECT_FALSE(result.stopped);
  EXPECT_NE(ErrorOf(result).find("No space left on device"), std::string::npos) << ErrorOf(result);
  EXPECT_LT(site.listed.size(), std::size_t{kFolders});  // the walk ended early
  EXPECT_EQ(control.steps, 0);  // it never reached the writing after the walk
  EXPECT_EQ(out.Files(), previous);
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
    SitemapRun::Environment environment{&site, nullptr, [] { return std::time_t{1765152000}; }, readers,
                                        std::move(start)};
    environment.cores = 2;
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
