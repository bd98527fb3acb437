// clsThread carrying whole runs for a host that behaves like the window:
// notices are handled on the host's own thread while the worker waits, and
// the stop sequence (the scanner's flag, then the thread's) comes from the
// host thread at random moments of the scan and of the writing. Every run
// must end with exactly one finished notice, and a stopped run must leave
// the previous sitemap. Built also under ThreadSanitizer.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <thread>

#include "FakeDirectoryLister.h"
#include "FakeHost.h"
#include "SitemapCheck.h"
#include "TestSupport.h"
#include "job/clsThread.h"

namespace {

constexpr int kFolders = 40;
constexpr int kPages = 40;

void AddSite(FakeDirectoryLister* site, const std::string& root) {
  std::vector<ListedEntry> top;
  for (int folder = 0; folder < kFolders; ++folder) {
    top.push_back({std::string("f").append(std::to_string(folder)), ListedEntry::Kind::kFolder});
    std::vector<ListedEntry> pages;
    for (int page = 0; page < kPages; ++page) pages.push_back({std::string("p").append(std::to_string(page)).append(".html")});
    site->Add(root + "/" + top.back().name, pages);
  }
  site->Add(root, top);
}

// The window's share of a run: the worker is made, stopped and forgotten
// on the host thread, and every notice is handled there while the worker
// waits.
class WindowLikeHost : public clsThread::Host {
 public:
  WindowLikeHost(FakeHost& thread, const std::string& folder) : thread_(thread), folder_(folder) {
    AddSite(&site_, folder);
  }
  ~WindowLikeHost() override {
    thread_.Call([this] { worker_.reset(); });
  }

  // StartRun: on the host thread.
  void Start() {
    thread_.Call([this] {
      worker_.reset();  // the last one sent its finished notice already
      finishedNotices_ = 0;
      running_ = true;
      worker_ = std::make_unique<clsThread>(*this, folder_, SitemapRun::Environment{&site_, nullptr, {}});
      worker_->Resume();
    });
  }

  // The stop button, pressed whenever the host thread gets to it.
  void PressStop() {
    thread_.Post([this] {
      if (running_) worker_->Terminate();
    });
  }

  void WaitForEnd() {
    for (bool running = true; running; std::this_thread::sleep_for(std::chrono::milliseconds(1)))
      thread_.Call([&] { running = running_; });
  }

  GenerationInputs InputsOfRun() override {
    GenerationInputs inputs;
    thread_.Call([&] {
      inputs.baseUrl = "https://example.jp/";
      inputs.extensions = {"html"};
    });
    return inputs;
  }
  void OnProgress(const std::string&) override {
    thread_.Call([] {});
  }
  void OnFinished(bool succeeded) override {
    thread_.Call([&] {
      ++finishedNotices_;
      succeeded_ = succeeded;
      running_ = false;
    });
  }

  // Read on the host thread, after the run.
  template <typename Reader>
  void Inspect(Reader reader) {
    thread_.Call([&] { reader(running_, finishedNotices_, succeeded_); });
  }

 private:
  FakeHost& thread_;
  std::string folder_;
  FakeDirectoryLister site_;
  std::unique_ptr<clsThread> worker_;
  bool running_ = false;
  int finishedNotices_ = 0;
  bool succeeded_ = false;
};

TEST(ClsThreadStops, StopAtRandomMomentsEndsEveryRunAndKeepsThePreviousSitemap) {
  TempFolder out;
  const std::string target = out / SitemapWriter::kFileName;
  FakeHost hostThread;
  WindowLikeHost host(hostThread, out.path());
  std::mt19937 random(1025);
  int stopped = 0;
  for (int run = 0; run < 60; ++run) {
    WriteFile(target, "previous");
    host.Start();
    if (run % 10 != 0) {  // every tenth run is left to finish
      for (int spin = std::uniform_int_distribution<int>(0, 3000)(random); spin > 0; --spin)
        std::this_thread::yield();
      host.PressStop();
    }
    host.WaitForEnd();
    bool succeeded = false;
    host.Inspect([&](bool running, int finishedNotices, bool success) {
      EXPECT_FALSE(running);
      EXPECT_EQ(finishedNotices, 1);
      succeeded = success;
    });
    SCOPED_TRACE("run " + std::to_string(run));
    if (run % 10 == 0) {
      EXPECT_TRUE(succeeded);
    }
    const std::string now = ReadFile(target);
    if (succeeded) {
      EXPECT_EQ(SitemapCheck::Parse(now).locs.size(), std::size_t{kFolders * kPages});
    } else {
      ++stopped;
      EXPECT_EQ(now, "previous");
    }
    EXPECT_EQ(out.Leftovers(), std::vector<std::string>{});
  }
  EXPECT_GT(stopped, 0);
}

}  // namespace
