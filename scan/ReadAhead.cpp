#include "scan/ReadAhead.h"

#include <chrono>
#include <exception>
#include <system_error>
#include <utility>

// One subfolder to read: its name in the open parent, and where it lies.
struct ReadAhead::Job {
  SharedFolder parent;
  std::string name;
  bool viaLink = false;
  std::string path;  // below the root
  std::uint16_t level = 0;
};

struct ReadAhead::Ticket {
  enum class State { kQueued, kReading, kRead, kTaken, kWithdrawn };
  explicit Ticket(Job job) : job(std::move(job)) {}

  State state = State::kQueued;
  Job job;
  bool keepsHandle = false;
  bool dropped = false;  // while being read
  FolderRead read;
  Tickets subfolders;
  std::exception_ptr failure;
};

namespace {

// Folders read ahead per worker: enough that a worker always finds a job,
// few enough to cost little memory.
constexpr std::size_t kAheadPerWorker = 64;
// How long a thread with nothing to do gives way before it sleeps: a
// folder takes a few microseconds to read, a sleep and a wake-up often
// longer. A limit in time, not in turns, keeps a busy machine, where each
// turn may last a time slice, from turning this into waiting.
constexpr std::chrono::microseconds kGiveWayBeforeSleep{50};

std::chrono::steady_clock::time_point SleepAfter() {
  return std::chrono::steady_clock::now() + kGiveWayBeforeSleep;
}

}  // namespace

ReadAhead::ReadAhead(const FolderReader& reader, int workers, const ThreadStarter& start, int handlesAhead,
                     std::uint16_t deepestLevel, std::stop_token stop)
    : reader_(reader),
      stop_(std::move(stop)),
      mostAhead_(kAheadPerWorker * static_cast<std::size_t>(workers)),
      mostHandles_(static_cast<std::size_t>(handlesAhead)),
      deepestLevel_(deepestLevel) {
  StartWorkers(workers, start);
}

ReadAhead::~ReadAhead() { Close(); }

// A thread the system refuses leaves the work to the others, or to the
// walk alone. Anything else thrown lets the started ones go before it
// leaves the constructor, since no destructor would.
void ReadAhead::StartWorkers(int count, const ThreadStarter& start) {
  workers_.reserve(static_cast<std::size_t>(count));
  try {
    for (int i = 0; i < count; ++i) {
      try {
        workers_.push_back(start ? start([this] { Work(); }) : std::jthread([this] { Work(); }));
      } catch (const std::system_error& error) {
        startFailure_ = error.code().message();
        return;
      }
    }
  } catch (...) {
    Close();
    throw;
  }
}

void ReadAhead::Close() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  jobsReady_.notify_all();
  workers_.clear();  // joins
}

ReadAhead::Tickets ReadAhead::QueueSubfolders(const SharedFolder& folder, const std::vector<FoundEntry>& found,
                                              const std::string& path, std::uint16_t level) {
  Tickets tickets;
  if (!folder || level >= deepestLevel_) return tickets;
  for (const FoundEntry& entry : found) {
    if (entry.left || !reader_.Enters(entry.kind)) continue;
    tickets.push_back(std::make_shared<Ticket>(Job{folder, entry.name, entry.kind == ListedEntry::Kind::kFolderLink,
                                                   path.empty() ? entry.name : path + "/" + entry.name,
                                                   static_cast<std::uint16_t>(level + 1)}));
  }
  if (tickets.empty()) return tickets;
  std::unique_lock lock(mutex_);
  queue_.insert(queue_.begin(), tickets.begin(), tickets.end());
  const bool wake = sleepingWorkers_ > 0 && ahead_ < mostAhead_;
  lock.unlock();
  if (wake) jobsReady_.notify_all();
  return tickets;
}

std::optional<ReadAhead::Taken> ReadAhead::Take(Ticket& ticket) {
  std::unique_lock lock(mutex_);
  if (ticket.state == Ticket::State::kWithdrawn || ticket.state == Ticket::State::kTaken) return std::nullopt;
  if (ticket.state == Ticket::State::kQueued) {
    ticket.state = Ticket::State::kTaken;
    const Job job = std::move(ticket.job);
    lock.unlock();
    return Taken{reader_.ReadChild(*job.parent, job.name, job.viaLink, job.path, job.level, true, stop_), {}};
  }
  // A worker reads it: meanwhile the walk reads the next folders itself,
  // and sleeps only when there is nothing to read.
  for (auto sleepAfter = SleepAfter(); ticket.state != Ticket::State::kRead;) {
    if (ReadOrGiveWay(lock, &sleepAfter)) continue;
    awaited_ = &ticket;
    folderRead_.wait(lock, [&] { return ticket.state == Ticket::State::kRead; });
    awaited_ = nullptr;
  }
  ticket.state = Ticket::State::kTaken;
  --ahead_;
  if (ticket.keepsHandle) --handles_;
  const bool wake = sleepingWorkers_ > 0 && ahead_ <= mostAhead_ / 2;
  lock.unlock();
  if (wake) jobsReady_.notify_all();
  if (ticket.failure) std::rethrow_exception(ticket.failure);
  return Taken{std::move(ticket.read), std::move(ticket.subfolders)};
}

void ReadAhead::Withdraw(const Tickets& tickets) {
  std::lock_guard lock(mutex_);
  for (const auto& ticket : tickets) {
    if (!ticket || ticket->state != Ticket::State::kQueued) continue;
    ticket->state = Ticket::State::kWithdrawn;
    ticket->job.parent.reset();
  }
}

void ReadAhead::Drop(const Tickets& tickets) {
  std::lock_guard lock(mutex_);
  DropLocked(tickets);
}

void ReadAhead::DropLocked(const Tickets& tickets) {
  for (const auto& ticket : tickets) {
    if (!ticket) continue;
    switch (ticket->state) {
      case Ticket::State::kQueued:
        ticket->state = Ticket::State::kWithdrawn;
        ticket->job.parent.reset();
        break;
      case Ticket::State::kReading:
        ticket->dropped = true;  // its reader lets go of it
        break;
      case Ticket::State::kRead:
        ticket->state = Ticket::State::kWithdrawn;
        --ahead_;
        if (ticket->keepsHandle) --handles_;
        ticket->read = FolderRead();
        DropLocked(std::exchange(ticket->subfolders, {}));
        break;
      case Ticket::State::kTaken:
      case Ticket::State::kWithdrawn:
        break;
    }
  }
}

// The first job no one has begun, when there is room ahead; the caller
// holds the lock.
std::shared_ptr<ReadAhead::Ticket> ReadAhead::TryNextJob() {
  if (closing_ || stop_.stop_requested() || ahead_ >= mostAhead_) return nullptr;
  while (!queue_.empty() && queue_.front()->state != Ticket::State::kQueued) queue_.pop_front();
  if (queue_.empty()) return nullptr;
  std::shared_ptr<Ticket> ticket = std::move(queue_.front());
  queue_.pop_front();
  ticket->state = Ticket::State::kReading;
  ticket->keepsHandle = handles_ < mostHandles_;
  if (ticket->keepsHandle) ++handles_;
  ++ahead_;
  return ticket;
}

// Reads a job taken with TryNextJob, queues its subfolders and hands the
// folder to the walk.
void ReadAhead::Read(const std::shared_ptr<Ticket>& ticket) {
  Job job = std::move(ticket->job);
  FolderRead read;
  Tickets subfolders;
  std::exception_ptr failure;
  try {
    read = reader_.ReadChild(*job.parent, job.name, job.viaLink, job.path, job.level, ticket->keepsHandle, stop_);
    job.parent.reset();  // the parent may close now
    if (read.opened()) subfolders = QueueSubfolders(read.folder, read.found, job.path, job.level);
  } catch (...) {
    failure = std::current_exception();
  }
  std::unique_lock lock(mutex_);
  if (ticket->dropped) {
    ticket->state = Ticket::State::kWithdrawn;
    --ahead_;
    if (ticket->keepsHandle) --handles_;
    DropLocked(subfolders);
    return;
  }
  ticket->read = std::move(read);
  ticket->subfolders = std::move(subfolders);
  ticket->failure = failure;
  if (ticket->keepsHandle && !ticket->read.folder) {
    ticket->keepsHandle = false;
    --handles_;
  }
  ticket->state = Ticket::State::kRead;
  const bool wake = awaited_ == ticket.get();
  lock.unlock();
  if (wake) folderRead_.notify_one();
}

// One step of a thread waiting for something: it reads the next folder if
// there is one, else gives way for a moment. False once it is time to
// sleep instead. The caller holds the lock, which is let go meanwhile.
bool ReadAhead::ReadOrGiveWay(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point* sleepAfter) {
  if (std::shared_ptr<Ticket> job = TryNextJob()) {
    lock.unlock();
    Read(job);
    lock.lock();
    *sleepAfter = SleepAfter();
    return true;
  }
  if (std::chrono::steady_clock::now() >= *sleepAfter) return false;
  lock.unlock();
  std::this_thread::yield();
  lock.lock();
  return true;
}

void ReadAhead::Work() {
  std::unique_lock lock(mutex_);
  for (auto sleepAfter = SleepAfter(); !closing_;) {
    if (ReadOrGiveWay(lock, &sleepAfter)) continue;
    ++sleepingWorkers_;
    jobsReady_.wait(lock);
    --sleepingWorkers_;
    sleepAfter = SleepAfter();
  }
}
