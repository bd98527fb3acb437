#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// Runs one piece of work on the calling thread and on a second thread at
// the same time, for work that shares itself out (each side takes the next
// item until none is left). The second thread is started on first use and
// kept, since a scan hands over work once per folder.
class BothCores {
 public:
  BothCores() = default;
  ~BothCores();
  BothCores(const BothCores&) = delete;
  BothCores& operator=(const BothCores&) = delete;

  // Returns once both sides have finished work. An exception on the second
  // side is raised again here.
  void Run(const std::function<void()>& work);

 private:
  void Serve();

  std::thread second_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const std::function<void()>* work_ = nullptr;
  std::uint64_t posted_ = 0;
  std::uint64_t finished_ = 0;
  std::exception_ptr failure_;
  bool closing_ = false;
};
