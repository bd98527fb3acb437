#include "job/clsThread.h"

#include <system_error>

clsThread::clsThread(Host& host, std::string folder, SitemapRun::Environment environment)
    : host_(host), folder_(std::move(folder)), startThread_(environment.startThread), run_(std::move(environment)) {}

clsThread::~clsThread() {
  if (thread_.joinable()) thread_.join();
}

void clsThread::Resume() {
  if (thread_.joinable()) return;
  try {
    const auto work = [this] { Execute(); };
    thread_ = startThread_ ? startThread_(work) : std::jthread(work);
  } catch (const std::system_error& error) {
    result_ = RunResult();
    result_.folder = folder_;
    result_.problem = {.code = RunProblem::Code::kThreadUnavailable, .detail = error.code().message()};
    host_.OnFinished(false);
  }
}

void clsThread::Execute() {
  result_ = run_.Execute(folder_, [this] { return host_.InputsOfRun(); }, *this);
  // The host must hear that the run is over whatever happened, or its
  // window would stay in the running state for good.
  host_.OnFinished(result_.written && !result_.problem);
}

void clsThread::StartSteps(std::size_t total) {
  total_ = static_cast<std::int64_t>(total);
  processedCount_ = 0;
  progress_.Reset();
  ReportProgress();
}

void clsThread::StepProgress() {
  ++processedCount_;
  ReportProgress();
}

void clsThread::ReportProgress() {
  // Reports whose text equals the last one would change neither the label
  // nor the bar; skipping them keeps a large run from waiting on the
  // display once per entry.
  if (progress_.Update(processedCount_, total_)) host_.OnProgress(progress_.text());
}
