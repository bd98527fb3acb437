#pragma once
#include <atomic>
#include <cstddef>
#include <stop_token>

// What the writer needs of the run that carries it: the run's one stop
// signal, which the scan watches too, and a way to count the entries taken
// up.
class RunControl {
 public:
  virtual ~RunControl() = default;

  virtual std::stop_token stopToken() const = 0;
  bool terminateRequested() const { return stopToken().stop_requested(); }

  // Where the scan counts the files it has recorded, for a display on
  // another thread; nullptr: not counted.
  virtual std::atomic<std::size_t>* filesSeen() { return nullptr; }
  // The scan is over and total entries will be stepped through: those it
  // left to write (none were written behind it on one core).
  virtual void StartSteps(std::size_t total) { (void)total; }
  // Counts one entry and brings the progress display up to date; returns
  // when that has happened.
  virtual void StepProgress() = 0;
};
