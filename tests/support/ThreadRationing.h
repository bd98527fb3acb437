#pragma once
#include <atomic>
#include <cerrno>
#include <memory>
#include <system_error>
#include <thread>

#include "scan/ScanRules.h"

// Gives threads as a system under a thread limit does: the first ones
// start, and from the failAt-th on (1 the first) every start fails with
// EAGAIN, as std::thread does when the system gives no more.
class ThreadRationing {
 public:
  explicit ThreadRationing(int failAt) : failAt_(failAt) {}

  ThreadStarter starter() {
    return [this](std::function<void()> work) {
      if (++attempts_ >= failAt_) throw std::system_error(EAGAIN, std::generic_category());
      return std::jthread(std::move(work));
    };
  }
  int attempts() const { return attempts_; }

 private:
  const int failAt_;
  std::atomic<int> attempts_{0};
};
