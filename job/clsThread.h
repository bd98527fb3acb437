#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <thread>

#include "job/ProgressText.h"
#include "job/SitemapRun.h"
#include "sitemap/RunControl.h"

// The worker of one run: carries a SitemapRun on a thread of its own and
// tells its host how far it got and when it is over. The host hands each
// notice to its display and returns only once it has been handled there,
// so the worker waits for the display at every notice.
class clsThread : public RunControl {
 public:
  // What the worker asks of the program that shows the run. Each call is
  // made on the worker's thread.
  class Host {
   public:
    virtual ~Host() = default;
    // The run's inputs, asked for once, as the run starts.
    virtual GenerationInputs InputsOfRun() = 0;
    // The percentage text ("33.33") has changed.
    virtual void OnProgress(const std::string& percent) = 0;
    // The run is over; result() holds how it ended.
    virtual void OnFinished(bool succeeded) = 0;
  };

  // Suspended until Resume().
  clsThread(Host& host, std::string folder, SitemapRun::Environment environment);
  // Waits for the thread: only call once the finished notice has been
  // handled, or from a thread that does not serve the notices.
  ~clsThread() override;
  clsThread(const clsThread&) = delete;
  clsThread& operator=(const clsThread&) = delete;

  // Starts the run on a thread of its own, started as the environment
  // says. When the system gives no thread, the run fails at once: the
  // finished notice is then sent from within this call, on the caller's
  // thread.
  void Resume();
  // Asks the run to stop: the scan before its next entry, the writer
  // before its next entry or part. Never cleared.
  void Terminate() { stop_.request_stop(); }

  std::stop_token stopToken() const override { return stop_.get_token(); }
  std::atomic<std::size_t>* filesSeen() override { return &filesSeen_; }
  // The files the scan has recorded so far; read from any thread.
  std::size_t filesSeenSoFar() const { return filesSeen_.load(std::memory_order_relaxed); }
  void StartSteps(std::size_t total) override;
  // Counts one list entry taken up by the writer and reports the new
  // percentage when its text has changed since the last report.
  void StepProgress() override;

  // Meaningful once the finished notice has been sent.
  const RunResult& result() const { return result_; }
  std::uint32_t processedCount() const { return processedCount_; }

 private:
  void Execute();
  void ReportProgress();

  Host& host_;
  const std::string folder_;
  const ThreadStarter startThread_;
  SitemapRun run_;
  std::stop_source stop_;
  std::atomic<std::size_t> filesSeen_{0};
  std::uint32_t processedCount_ = 0;
  std::int64_t total_ = 0;
  ProgressText progress_;
  RunResult result_;
  std::jthread thread_;
};
