#include "app/GuiHandover.h"

#include <QCoreApplication>
#include <chrono>
#include <thread>

namespace {

// How long either side keeps waiting before it sleeps, and how long the
// GUI thread may stay away from its event loop at a time.
constexpr auto kLinger = std::chrono::microseconds(300);
constexpr auto kSpin = std::chrono::microseconds(300);
constexpr auto kFrame = std::chrono::milliseconds(8);

void Relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

}  // namespace

GuiHandover::GuiHandover(QObject* parent) : QObject(parent) {}

void GuiHandover::Run(const std::function<void()>& call) {
  const std::uint64_t ticket = ++sent_;
  {
    std::lock_guard lock(sleeping_);
    pending_.store(&call);
  }
  callReady_.notify_one();
  // A lingering GUI thread takes the call by itself; otherwise it must be
  // woken. Should it stop lingering just now, it looks once more after.
  if (!lingering_.load()) QMetaObject::invokeMethod(this, &GuiHandover::Serve, Qt::QueuedConnection);

  const auto until = std::chrono::steady_clock::now() + kSpin;
  std::uint64_t done = completed_.load();
  while (done < ticket && std::chrono::steady_clock::now() < until) {
    Relax();
    done = completed_.load();
  }
  if (done < ticket) {
    std::unique_lock lock(sleeping_);
    woken_.wait(lock, [&] { return completed_.load() >= ticket; });
  }
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

bool GuiHandover::RunPending() {
  const std::function<void()>* call = pending_.exchange(nullptr);
  if (!call) return false;
  try {
    (*call)();
  } catch (...) {
    failure_ = std::current_exception();  // raised again on the worker's side
  }
  {
    // Under the lock, so that a worker about to sleep cannot miss it.
    std::lock_guard lock(sleeping_);
    completed_.fetch_add(1);
  }
  woken_.notify_one();
  return true;
}

void GuiHandover::ServeFor(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(sleeping_);
    if (!callReady_.wait_for(lock, timeout, [this] { return pending_.load() != nullptr; })) return;
  }
  Serve();
}

void GuiHandover::Serve() {
  lingering_.store(true);
  const auto frameEnd = std::chrono::steady_clock::now() + kFrame;
  auto lingerEnd = frameEnd;
  for (auto now = std::chrono::steady_clock::now(); now < frameEnd; now = std::chrono::steady_clock::now()) {
    if (RunPending())
      lingerEnd = std::chrono::steady_clock::now() + kLinger;
    else if (now >= lingerEnd)
      break;
    else
      Relax();
  }
  lingering_.store(false);
  // A call handed over while we stopped lingering found no event posted.
  RunPending();
}
