#pragma once
#include <QObject>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>

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

 protected:
  bool event(QEvent* event) override;

 private:
  // GUI thread: runs the pending call, if any; true when there was one.
  bool RunPending();

  std::atomic<const std::function<void()>*> pending_{nullptr};
  std::atomic<bool> lingering_{false};
  std::atomic<std::uint64_t> completed_{0};
  std::uint64_t sent_ = 0;  // worker thread only
  std::exception_ptr failure_;
};
