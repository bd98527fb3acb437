#pragma once

// What the writer needs of the run that carries it: whether the user asked
// to stop, and a way to count one more list entry taken up.
class RunControl {
 public:
  virtual ~RunControl() = default;
  virtual bool terminateRequested() const = 0;
  // Counts one entry and brings the progress display up to date; returns
  // when that has happened.
  virtual void StepProgress() = 0;
};
