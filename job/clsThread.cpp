#include "job/clsThread.h"

#include <thread>

#include "scan/clFindInFolders.h"

void clsThread::Completion::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return ended_; });
}

bool clsThread::Completion::ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

void clsThread::Completion::MarkEnded() {
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  changed_.notify_all();
}

clsThread::clsThread(RunHost& host) : clsThread(host, Messages{}) {}

clsThread::clsThread(RunHost& host, Messages messages) : host_(host), messages_(messages) {}

void clsThread::Resume() { std::thread(&clsThread::Body, this).detach(); }

void clsThread::Body(clsThread* self) {
  // The completion is kept apart so that it can be signalled after the
  // object is gone: whoever waits on it may then tear the host down.
  const std::shared_ptr<Completion> completion = self->completion_;
  self->Execute();
  delete self;
  completion->MarkEnded();
}

void clsThread::Execute() {
  processedCount_ = 0;
  try {
    clFindInFolders& scanner = host_.scanner();
    scanner.setLevel(1);
    const std::string folder = host_.targetFolder();
    // An empty list (missing folder, a file, an empty folder) has no
    // percentage to show and nothing to write: the run ends as failed.
    if (scanner.scanFolder(folder) && !scanner.entries().empty()) {
      total_ = static_cast<std::int64_t>(scanner.entries().size());
      progress_.Reset();
      ReportProgress();
      succeeded_ = host_.FinishRun(*this);
    }
  } catch (...) {
    // Whatever went wrong, the host must still hear that the run is over,
    // or its window would stay in the running state for good.
  }
  try {
    ReportFinished();
  } catch (...) {
  }
}

void clsThread::StepProgress() {
  ++processedCount_;
  ReportProgress();
}

void clsThread::ReportProgress() {
  // Reports whose text equals the last one would change neither the label
  // nor the bar; skipping them keeps a large run from waiting on the
  // display once per entry.
  if (progress_.Update(processedCount_, total_))
    host_.DeliverNotice(messages_.progress, 0, progress_.text());
}

void clsThread::ReportFinished() {
  host_.DeliverNotice(messages_.finished, succeeded_ ? 1 : 0, std::string());
}
