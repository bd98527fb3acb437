#pragma once
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "sitemap/GzipStream.h"

// A GzipStream fed on a thread of its own, so that compressing a part
// overlaps building it. The text goes over in chunks through a short
// queue: however large the part, only a few chunks are ever held. Where
// no thread can be started the text is compressed on the caller's thread.
// The sink is called on the compressing thread only, and never after
// Finish or a failed Write has returned.
class BackgroundGzip {
 public:
  explicit BackgroundGzip(GzipStream::Sink sink);
  // Stops compressing: a member not finished is left incomplete.
  ~BackgroundGzip();
  BackgroundGzip(const BackgroundGzip&) = delete;
  BackgroundGzip& operator=(const BackgroundGzip&) = delete;

  // False once compressing or the sink failed; the thread is over then.
  bool Write(std::string_view text);
  // The whole member is through the sink; false when anything failed.
  bool Finish();

 private:
  bool Hand(bool last);
  void Compress();
  void Stop();

  GzipStream stream_;
  std::string chunk_;
  bool threaded_ = false;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;  // guarded by mutex_, as are the flags below
  bool last_ = false;              // the queue's last chunk ends the member
  bool quit_ = false;              // asked to stop early
  bool done_ = false;              // the compressing thread has finished
  bool failed_ = false;
  std::thread thread_;
};
