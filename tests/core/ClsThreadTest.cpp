#include "job/clsThread.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "job/ProgressText.h"
#include "scan/clFindInFolders.h"

namespace {

// A disk held in memory: folder path -> file names in it.
class MapLister : public DirectoryLister {
 public:
  std::map<std::string, std::vector<std::string>> folders;
  std::function<void()> onList;

  bool List(const std::string& path, std::vector<ListedEntry>* entries, FolderId* id,
            std::string* error) override {
    if (onList) onList();
    const auto found = folders.find(path);
    if (found == folders.end()) {
      *error = "no such folder";
      return false;
    }
    for (const auto& name : found->second) entries->push_back({name, ListedEntry::Kind::kFile});
    id->inode = std::hash<std::string>()(path);
    return true;
  }
};

struct Notice {
  std::uint16_t message;
  std::uintptr_t wParam;
  std::string text;
};

// Stands in for the window: records every notice, and writes by stepping
// once per list entry, as the sitemap writer does.
class FakeHost : public RunHost {
 public:
  MapLister lister;
  clFindInFolders scan{&lister};
  std::string folder = "/site";
  bool writeResult = true;
  bool finishCalled = false;
  std::function<void(const Notice&)> onNotice;
  std::function<void()> duringFinish;
  std::vector<Notice> notices;
  std::mutex mutex;

  std::string targetFolder() const override { return folder; }
  clFindInFolders& scanner() override { return scan; }

  bool FinishRun(RunControl& control) override {
    finishCalled = true;
    if (duringFinish) duringFinish();
    for (std::size_t i = 0; i < scan.entries().size(); ++i) {
      if (control.terminateRequested()) return false;
      control.StepProgress();
    }
    return writeResult;
  }

  void DeliverNotice(std::uint16_t message, std::uintptr_t wParam, const std::string& text) override {
    std::lock_guard lock(mutex);
    notices.push_back({message, wParam, text});
    if (onNotice) onNotice(notices.back());
  }

  std::vector<std::string> ProgressTexts() const {
    std::vector<std::string> texts;
    for (const auto& notice : notices)
      if (notice.message == kGenProgress) texts.push_back(notice.text);
    return texts;
  }
};

// Runs one worker to its end and returns it still resolvable through the
// completion, which is all that outlives it.
void RunToEnd(FakeHost& host, clsThread::Messages messages = clsThread::Messages{},
              std::function<void(clsThread*)> beforeResume = {}) {
  host.scan.reset();
  auto* worker = new clsThread(host, messages);
  auto completion = worker->completion();
  if (beforeResume) beforeResume(worker);
  worker->Resume();
  completion->Wait();
  EXPECT_TRUE(completion->ended());
}

TEST(ClsThread, ThreeEntriesReportEachPercentageThenSuccess) {
  FakeHost host;
  host.lister.folders["/site"] = {"a.html", "b.html", "c.css"};
  RunToEnd(host);

  EXPECT_EQ(host.ProgressTexts(), (std::vector<std::string>{"0.00", "33.33", "66.67", "100.00"}));
  ASSERT_FALSE(host.notices.empty());
  EXPECT_EQ(host.notices.back().message, RunHost::kGenFinished);
  EXPECT_EQ(host.notices.back().wParam, 1u);
  for (const auto& notice : host.notices) EXPECT_EQ(notice.message == RunHost::kGenProgress ? 0u : 1u, notice.wParam);
}

TEST(ClsThread, FailedWriteEndsWithZeroFlag) {
  FakeHost host;
  host.lister.folders["/site"] = {"a.html"};
  host.writeResult = false;
  RunToEnd(host);
  EXPECT_EQ(host.ProgressTexts(), (std::vector<std::string>{"0.00", "100.00"}));
  EXPECT_EQ(host.notices.back().message, RunHost::kGenFinished);
  EXPECT_EQ(host.notices.back().wParam, 0u);
}

TEST(ClsThread, EmptyOrMissingFolderEndsAtOnceWithoutProgress) {
  for (bool exists : {true, false}) {
    FakeHost host;
    if (exists) host.lister.folders["/site"] = {};
    RunToEnd(host);
    EXPECT_FALSE(host.finishCalled);
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].message, RunHost::kGenFinished);
    EXPECT_EQ(host.notices[0].wParam, 0u);
  }
}

TEST(ClsThread, GivenNoticeNumbersAreUsed) {
  FakeHost host;
  host.lister.folders["/site"] = {"a.html"};
  RunToEnd(host, {2001, 2002});
  ASSERT_EQ(host.notices.size(), 3u);
  EXPECT_EQ(host.notices[0].message, 2001);
  EXPECT_EQ(host.notices[1].message, 2001);
  EXPECT_EQ(host.notices[2].message, 2002);
}

// A large list reports each distinct text once, in the order and with the
// values that one report per entry would have shown.
TEST(ClsThread, RepeatedPercentagesAreDeliveredOnce) {
  constexpr std::uint32_t kEntries = 70001;
  FakeHost host;
  auto& names = host.lister.folders["/site"];
  for (std::uint32_t i = 0; i < kEntries; ++i) names.push_back(std::string("p").append(std::to_string(i)).append(".html"));
  RunToEnd(host);

  std::vector<std::string> expected;
  for (std::uint32_t i = 0; i <= kEntries; ++i) {
    std::string text = ProgressText::Format(i, kEntries);
    if (expected.empty() || expected.back() != text) expected.push_back(std::move(text));
  }
  EXPECT_EQ(host.ProgressTexts(), expected);
}

TEST(ClsThread, StopDuringScanSkipsTheWriter) {
  FakeHost host;
  host.lister.folders["/site"] = {"a.html", "b.html"};
  host.lister.onList = [&host] { host.scan.stopRequested = true; };
  RunToEnd(host);
  EXPECT_FALSE(host.finishCalled);
  ASSERT_EQ(host.notices.size(), 1u);
  EXPECT_EQ(host.notices[0].wParam, 0u);
}

TEST(ClsThread, TerminateReachesTheWriterAndStopsIt) {
  FakeHost host;
  host.lister.folders["/site"] = {"a", "b", "c", "d"};
  clsThread* running = nullptr;
  host.onNotice = [&](const Notice& notice) {
    if (notice.text == "25.00") running->Terminate();
  };
  RunToEnd(host, clsThread::Messages{}, [&](clsThread* worker) { running = worker; });
  EXPECT_EQ(host.ProgressTexts(), (std::vector<std::string>{"0.00", "25.00"}));
  EXPECT_EQ(host.notices.back().message, RunHost::kGenFinished);
  EXPECT_EQ(host.notices.back().wParam, 0u);
}

TEST(ClsThread, ExceptionsEndTheRunAsFailed) {
  FakeHost throwingWriter;
  throwingWriter.lister.folders["/site"] = {"a.html"};
  throwingWriter.duringFinish = [] { throw std::runtime_error("disk gone"); };
  RunToEnd(throwingWriter);
  EXPECT_EQ(throwingWriter.notices.back().message, RunHost::kGenFinished);
  EXPECT_EQ(throwingWriter.notices.back().wParam, 0u);

  // A display that fails on a progress notice, as a failing synchronous
  // call would: the finished notice still comes.
  FakeHost throwingDisplay;
  throwingDisplay.lister.folders["/site"] = {"a.html"};
  throwingDisplay.onNotice = [](const Notice& notice) {
    if (notice.message == RunHost::kGenProgress) throw std::runtime_error("display");
  };
  RunToEnd(throwingDisplay);
  EXPECT_FALSE(throwingDisplay.finishCalled);
  EXPECT_EQ(throwingDisplay.notices.back().message, RunHost::kGenFinished);
  EXPECT_EQ(throwingDisplay.notices.back().wParam, 0u);
}

TEST(ClsThread, StartsWithCleanState) {
  FakeHost host;
  auto* worker = new clsThread(host);
  EXPECT_FALSE(worker->succeeded());
  EXPECT_EQ(worker->processedCount(), 0u);
  EXPECT_FALSE(worker->terminateRequested());
  EXPECT_EQ(worker->progressMessage(), 1025);
  EXPECT_EQ(worker->finishedMessage(), 1026);
  delete worker;  // never resumed, so still ours
}

}  // namespace
