#pragma once
#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>

// Hands calls from a worker thread to the GUI thread and lets the worker
// wait until each has run: the worker's notices are synchronous.
//
// A large run hands over some ten thousand notices, and a wake-up of a
// sleeping thread costs tens of microseconds on a busy or virtual machine.
// So the GUI thread, having run a call, waits a little for the next one
// before it goes back to its event loop, and the worker waits for its call
// to have run by spinning before it sleeps: while notices come fast,
// neither thread sleeps between them. The GUI thread never stays away from
// its event loop for longer than a frame, so the window stays live.
class GuiHandover : public QObject {
 public:
  explicit GuiHandover(QObject* parent = nullptr);

  // Worker thread: runs call on this object's thread and returns once it
  // has run; an exception it raised is raised again here.
  void Run(const std::function<void()>& call);

  // GUI thread: waits up to timeout for a call and runs it and those that
  // follow fast. For a GUI thread that waits for the worker in a loop of
  // its own, where the event that announces a call may not be delivered
  // (a loop nested in the delivery of another posted event).
  void ServeFor(std::chrono::milliseconds timeout);

 private:
  // GUI thread: runs the pending call, then the next ones as they come
  // while they come fast.
  void Serve();
  // GUI thread: runs the pending call, if any; true when there was one.
  bool RunPending();

  std::atomic<const std::function<void()>*> pending_{nullptr};
  std::atomic<bool> lingering_{false};
  std::atomic<std::uint64_t> completed_{0};
  std::mutex sleeping_;  // guards either side's sleep
  std::condition_variable woken_;      // the worker's: its call has run
  std::condition_variable callReady_;  // the GUI thread's, in ServeFor
  std::uint64_t sent_ = 0;  // worker thread only
  std::exception_ptr failure_;
};
