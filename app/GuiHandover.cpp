#include "app/GuiHandover.h"

#include <QCoreApplication>
#include <QEvent>
#include <chrono>
#include <thread>

namespace {

const QEvent::Type kCallPending = static_cast<QEvent::Type>(QEvent::registerEventType());

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
  pending_.store(&call);
  // A lingering GUI thread takes the call by itself; otherwise it must be
  // woken. Should it stop lingering just now, it looks once more after.
  if (!lingering_.load()) QCoreApplication::postEvent(this, new QEvent(kCallPending));

  const auto until = std::chrono::steady_clock::now() + kSpin;
  std::uint64_t done = completed_.load();
  while (done < ticket && std::chrono::steady_clock::now() < until) {
    Relax();
    done = completed_.load();
  }
  while (done < ticket) {
    completed_.wait(done);
    done = completed_.load();
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
  completed_.fetch_add(1);
  completed_.notify_one();
  return true;
}

bool GuiHandover::event(QEvent* event) {
  if (event->type() != kCallPending) return QObject::event(event);
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
  return true;
}
