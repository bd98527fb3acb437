// clsThread carrying whole runs for a host that behaves like the window:
// notices are handled on the host's own thread while the worker waits, and
// the stop sequence (the scanner's flag, then the thread's) comes from the
// host thread at random moments of the scan and of the writing. Every run
// must end with exactly one finished notice, and a stopped run must leave
// the previous sitemap. Built also under ThreadSanitizer.

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "FakeDirectoryLister.h"
#include "FakeHost.h"
#include "SitemapCheck.h"
#include "TempFolder.h"
#include "job/clsThread.h"
#include "scan/clFindInFolders.h"
#include "sitemap/SitemapWriter.h"

namespace {

constexpr int kFolders = 40;
constexpr int kPages = 40;

FakeDirectoryLister MakeSite() {
  FakeDirectoryLister site;
  std::vector<ListedEntry> top;
  for (int folder = 0; folder < kFolders; ++folder) {
    top.push_back({std::string("f").append(std::to_string(folder)), ListedEntry::Kind::kFolder});
    std::vector<ListedEntry> pages;
    for (int page = 0; page < kPages; ++page) pages.push_back({std::string("p").append(std::to_string(page)).append(".html")});
    site.Add("site/" + top.back().name, pages);
  }
  site.Add("site", top);
  return site;
}

// The window's share of a run. Everything but FinishRun and the notice
// hand-over runs on the host thread.
class WindowLikeHost : public RunHost {
 public:
  WindowLikeHost(FakeHost& thread, const std::string& outputFolder)
      : thread_(thread), outputFolder_(outputFolder) {}

  // StartRun: on the host thread.
  std::shared_ptr<clsThread::Completion> Start() {
    std::shared_ptr<clsThread::Completion> completion;
    thread_.Call([&] {
      scanner_.reset();
      finishedNotices_ = 0;
      worker_ = new clsThread(*this);
      completion = worker_->completion();
      running_ = true;
      worker_->Resume();
    });
    return completion;
  }

  // The stop button, pressed whenever the host thread gets to it.
  void PressStop() {
    thread_.Post([this] {
      if (!running_) return;
      scanner_.stopRequested = true;
      worker_->Terminate();
    });
  }

  std::string targetFolder() const override { return "site"; }
  clFindInFolders& scanner() override { return scanner_; }
  bool FinishRun(RunControl& control) override {
    GenerationInputs inputs;
    inputs.baseUrl = "https://example.jp/";
    inputs.extensions = {"html"};
    SitemapWriter writer;
    return writer.WriteSitemap(outputFolder_, scanner_.entries(), inputs, control);
  }
  void DeliverNotice(std::uint16_t message, std::uintptr_t wParam, const std::string&) override {
    thread_.Call([&] {
      if (message != RunHost::kGenFinished) return;
      ++finishedNotices_;
      succeeded_ = wParam == 1;
      running_ = false;
      worker_ = nullptr;  // it deletes itself once this notice returns
    });
  }

  // Read on the host thread, after the run.
  template <typename Reader>
  void Inspect(Reader reader) {
    thread_.Call([&] { reader(running_, finishedNotices_, succeeded_); });
  }

 private:
  FakeHost& thread_;
  std::string outputFolder_;
  FakeDirectoryLister site_ = MakeSite();
  clFindInFolders scanner_{&site_};
  clsThread* worker_ = nullptr;
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
    WriteWholeFile(target, "previous");
    auto completion = host.Start();
    if (run % 10 != 0) {  // every tenth run is left to finish
      for (int spin = std::uniform_int_distribution<int>(0, 3000)(random); spin > 0; --spin)
        std::this_thread::yield();
      host.PressStop();
    }
    completion->Wait();
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
    const std::string now = SitemapCheck::ReadFile(target);
    if (succeeded) {
      EXPECT_EQ(SitemapCheck::Parse(now).locs.size(), std::size_t{kFolders * kPages});
    } else {
      ++stopped;
      EXPECT_EQ(now, "previous");
    }
    EXPECT_EQ(out.LeftoversOf(SitemapWriter::kFileName), std::vector<std::string>{});
  }
  EXPECT_GT(stopped, 0);
}

}  // namespace
