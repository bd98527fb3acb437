#include "scan/BothCores.h"

#include <exception>
#include <utility>

BothCores::~BothCores() {
  if (!second_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  second_.join();
}

void BothCores::Run(const std::function<void()>& work) {
  if (!second_.joinable()) second_ = std::thread(&BothCores::Serve, this);
  std::uint64_t ticket;
  {
    std::lock_guard lock(mutex_);
    work_ = &work;
    ticket = ++posted_;
  }
  changed_.notify_all();
  work();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return finished_ == ticket; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BothCores::Serve() {
  std::uint64_t done = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return closing_ || posted_ > done; });
    if (closing_) return;
    const std::function<void()>* work = work_;
    lock.unlock();
    try {
      (*work)();
    } catch (...) {
      std::lock_guard relock(mutex_);
      failure_ = std::current_exception();
    }
    lock.lock();
    finished_ = done = posted_;
    changed_.notify_all();
  }
}
