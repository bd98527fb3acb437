#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "job/ProgressText.h"
#include "job/RunControl.h"
#include "job/RunHost.h"

// The worker of one run: scans the host's folder, has the host write the
// sitemap, and reports progress and the end of the run as notices that the
// host handles synchronously.
//
// Create it with new and call Resume() once: from then on the object
// belongs to its own thread and deletes itself when the body ends. Anyone
// who must know that it has gone keeps completion(), which outlives it.
class clsThread : public RunControl {
 public:
  struct Messages {
    std::uint16_t progress = RunHost::kGenProgress;
    std::uint16_t finished = RunHost::kGenFinished;
  };

  // Set as the very last act of the worker's thread.
  class Completion {
   public:
    void Wait();
    bool ended() const;

   private:
    friend class clsThread;
    void MarkEnded();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;
  };

  // Suspended, with the notice numbers 1025 and 1026 unless others are given.
  explicit clsThread(RunHost& host);
  clsThread(RunHost& host, Messages messages);
  clsThread(const clsThread&) = delete;
  clsThread& operator=(const clsThread&) = delete;
  ~clsThread() override = default;

  void Resume();

  // Asks the writer to stop before its next entry; never cleared.
  void Terminate() { terminate_ = true; }
  bool terminateRequested() const override { return terminate_; }
  // Counts one list entry taken up by the writer and reports the new
  // percentage when its text has changed since the last report.
  void StepProgress() override;

  bool succeeded() const { return succeeded_; }
  std::uint32_t processedCount() const { return processedCount_; }
  std::uint16_t progressMessage() const { return messages_.progress; }
  std::uint16_t finishedMessage() const { return messages_.finished; }
  std::shared_ptr<Completion> completion() const { return completion_; }

 private:
  static void Body(clsThread* self);
  void Execute();
  void ReportProgress();
  void ReportFinished();

  RunHost& host_;
  const Messages messages_;
  std::atomic<bool> succeeded_{false};
  std::atomic<std::uint32_t> processedCount_{0};
  std::atomic<bool> terminate_{false};
  std::int64_t total_ = 0;
  ProgressText progress_;
  std::shared_ptr<Completion> completion_ = std::make_shared<Completion>();
};
