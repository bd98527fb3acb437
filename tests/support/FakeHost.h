#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Stands in for the window's thread: it runs the calls that a worker hands
// it one at a time, and the worker waits until its call has run, the way a
// blocking queued call into the GUI thread works. Plain threads only, so
// ThreadSanitizer sees every access.
class FakeHost {
 public:
  FakeHost() : thread_([this] { Serve(); }) {}
  ~FakeHost() {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  // Runs call on the host thread and returns when it has run.
  void Call(std::function<void()> call) {
    std::unique_lock lock(mutex_);
    const unsigned long ticket = Enqueue(std::move(call));
    done_.wait(lock, [&] { return served_ >= ticket; });
  }

  // Queues call for the host thread and returns at once, as a user's click
  // arrives between two notices.
  void Post(std::function<void()> call) {
    std::lock_guard lock(mutex_);
    Enqueue(std::move(call));
  }

 private:
  unsigned long Enqueue(std::function<void()> call) {
    calls_.push_back(std::move(call));
    wake_.notify_all();
    return ++queued_;
  }

  void Serve() {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [&] { return closing_ || !calls_.empty(); });
      if (calls_.empty()) return;
      auto call = std::move(calls_.front());
      calls_.pop_front();
      lock.unlock();
      call();
      lock.lock();
      ++served_;
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::deque<std::function<void()>> calls_;
  unsigned long queued_ = 0;
  unsigned long served_ = 0;
  bool closing_ = false;
  std::thread thread_;
};
