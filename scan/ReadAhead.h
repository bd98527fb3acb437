#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "scan/FolderReader.h"

// Opens and reads, on worker threads, the folders the walk will enter
// next, so that their listings are ready when the walk gets to them. The
// walk still takes every folder in its own order and decides all that
// depends on order (which path to a folder comes first, the levels, the
// records); the workers only open and read, each folder through its
// parent's handle as the walk would.
//
// A folder read ahead has its subfolders queued at once, so the reading
// runs ahead of the walk at every depth. Jobs queued last are begun
// first: the walk goes depth first, so a folder's subfolders are needed
// before the later siblings of the folder. Only a few folders are kept
// read ahead, so memory and descriptors stay bounded whatever the tree.
// While the walk waits for a folder, it reads the next ones itself.
class ReadAhead {
 public:
  struct Ticket;  // a queued folder, as the walk holds it
  using Tickets = std::vector<std::shared_ptr<Ticket>>;

  // A folder read ahead.
  struct Taken {
    FolderRead read;
    // Its subfolders, queued already; empty when they were not, and then
    // the walk queues them itself.
    Tickets subfolders;
  };

  // workers: the threads asked for, started through start; when the
  // system gives fewer, it makes do with those (startedWorkers()).
  // handlesAhead: folders read ahead that may keep their handle open for
  // their subfolders to be opened through. No subfolder is queued from a
  // folder whose entries lie at deepestLevel.
  ReadAhead(const FolderReader& reader, int workers, const ThreadStarter& start, int handlesAhead,
            std::uint16_t deepestLevel, std::stop_token stop);
  ~ReadAhead();  // waits for the workers, which stop at their next folder
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  int startedWorkers() const { return static_cast<int>(workers_.size()); }
  // Why fewer workers were started than asked for; empty when none failed.
  const std::string& startFailure() const { return startFailure_; }

  // Queues the subfolders to enter of a folder open as folder, whose path
  // below the root is path and whose entries lie at level, in listing
  // order and before every folder queued earlier. One ticket per
  // subfolder, in the same order.
  Tickets QueueSubfolders(const SharedFolder& folder, const std::vector<FoundEntry>& found,
                          const std::string& path, std::uint16_t level);
  // The ticket's folder, read: waits while a worker reads it, and reads it
  // on the calling thread when no worker has begun. Nothing for a
  // withdrawn ticket. A failure on a worker (out of memory) is raised here.
  std::optional<Taken> Take(Ticket& ticket);
  // The walk lets go of the parent of these tickets (null ones were
  // taken): the folders no worker has begun are not read ahead any more,
  // so the parent's handle can close, and Take returns nothing for them.
  void Withdraw(const Tickets& tickets);
  // The walk will not take these tickets: they are dropped whatever their
  // state, with the subfolders queued from them.
  void Drop(const Tickets& tickets);

 private:
  struct Job;
  void StartWorkers(int count, const ThreadStarter& start);
  void Close();
  void Work();
  std::shared_ptr<Ticket> TryNextJob();
  bool ReadOrGiveWay(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point* sleepAfter);
  void Read(const std::shared_ptr<Ticket>& ticket);
  void DropLocked(const Tickets& tickets);

  const FolderReader& reader_;
  const std::stop_token stop_;
  const std::size_t mostAhead_;    // folders being read or read and not yet taken
  const std::size_t mostHandles_;  // of those, the ones holding a handle
  const std::uint16_t deepestLevel_;
  // A wake-up costs more than reading a small folder, so each side wakes
  // the other only when it sleeps, and workers only once there is room
  // for several folders.
  std::mutex mutex_;
  std::condition_variable jobsReady_;
  std::condition_variable folderRead_;
  std::deque<std::shared_ptr<Ticket>> queue_;
  std::size_t ahead_ = 0;
  std::size_t handles_ = 0;
  int sleepingWorkers_ = 0;
  const Ticket* awaited_ = nullptr;  // the ticket the walk sleeps for
  bool closing_ = false;
  std::vector<std::jthread> workers_;
  std::string startFailure_;
};
