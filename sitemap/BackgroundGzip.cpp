#include "sitemap/BackgroundGzip.h"

#include <system_error>

namespace {

constexpr std::size_t kChunkSize = 1 << 18;
constexpr std::size_t kQueuedChunks = 4;

}  // namespace

BackgroundGzip::BackgroundGzip(GzipStream::Sink sink) : stream_(std::move(sink)) {
  chunk_.reserve(kChunkSize);
  try {
    thread_ = std::thread(&BackgroundGzip::Compress, this);
    threaded_ = true;
  } catch (const std::system_error&) {
    threaded_ = false;  // no thread to be had: compress as the text comes
  }
}

BackgroundGzip::~BackgroundGzip() { Stop(); }

void BackgroundGzip::Stop() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BackgroundGzip::Compress() {
  for (;;) {
    std::string chunk;
    bool last = false;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return quit_ || !queue_.empty() || last_; });
      if (quit_) break;
      if (!queue_.empty()) {
        chunk = std::move(queue_.front());
        queue_.pop_front();
      }
      last = last_ && queue_.empty();
    }
    changed_.notify_all();  // room in the queue
    const bool ok = stream_.Write(chunk) && (!last || stream_.Finish());
    if (!ok || last) {
      const std::lock_guard lock(mutex_);
      failed_ = !ok;
      break;
    }
  }
  const std::lock_guard lock(mutex_);
  done_ = true;
  changed_.notify_all();
}

// Hands the chunk under way over, waiting while the queue is full.
bool BackgroundGzip::Hand(bool last) {
  if (!threaded_) {
    const bool ok = stream_.Write(chunk_) && (!last || stream_.Finish());
    chunk_.clear();
    return ok;
  }
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_ || queue_.size() < kQueuedChunks; });
    if (!done_) {
      queue_.push_back(std::move(chunk_));
      last_ = last;
    }
  }
  changed_.notify_all();
  chunk_ = std::string();
  if (!last) chunk_.reserve(kChunkSize);
  bool failed;
  {
    std::unique_lock lock(mutex_);
    if (last) changed_.wait(lock, [&] { return done_; });
    failed = failed_ || (done_ && !last);
  }
  if (failed || last) thread_.join();
  return !failed;
}

bool BackgroundGzip::Write(std::string_view text) {
  if (threaded_ && !thread_.joinable()) return false;  // failed before
  chunk_.append(text);
  return chunk_.size() < kChunkSize || Hand(false);
}

bool BackgroundGzip::Finish() {
  if (threaded_ && !thread_.joinable()) return false;
  return Hand(true);
}
