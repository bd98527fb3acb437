#pragma once
#include <exception>
#include <stop_token>
#include <thread>

#include "job/RunWriter.h"
#include "scan/EntryList.h"
#include "scan/ScanRules.h"

// Writes the sitemap behind the walk: on a thread of its own, it hands
// the writer each entry the walk publishes, in the walk's order, while the
// walk goes on. It ends when the walk closes the list, leaving the rest to
// the run's thread, which then shows how the writing goes on; when the
// run stops; or when writing fails, and then it stops the walk too.
class WritingThread {
 public:
  // Starts the thread through start (empty: as std::jthread does); when
  // the system gives none, started() is false and nothing was taken.
  // walk: the stop source of the walk that fills list.
  WritingThread(EntryList& list, EntryList::Reader& reader, RunWriter& writer, std::stop_source walk,
                const ThreadStarter& start);
  // Closes the list, in case the walk never began, and waits.
  ~WritingThread();
  WritingThread(const WritingThread&) = delete;
  WritingThread& operator=(const WritingThread&) = delete;

  bool started() const { return thread_.joinable(); }
  // Waits for the thread, once the walk is over; what it raised (running
  // out of memory) is raised here.
  void Join();

 private:
  void Work();

  EntryList& list_;
  EntryList::Reader& reader_;
  RunWriter& writer_;
  std::stop_source walk_;
  std::exception_ptr failure_;
  std::jthread thread_;
};
