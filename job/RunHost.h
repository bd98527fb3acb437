#pragma once
#include <cstdint>
#include <string>

#include "job/RunControl.h"

class clFindInFolders;

// What a run needs of the program that hosts it: the window in the desktop
// program, a fake in tests. The worker calls every member on its own
// thread; the host moves the notices to wherever its display lives.
class RunHost {
 public:
  // Notice numbers. The progress notice carries the percentage text
  // ("33.33"), the finished notice a success flag of 1 or 0.
  static constexpr std::uint16_t kGenProgress = 1025;
  static constexpr std::uint16_t kGenFinished = 1026;

  virtual ~RunHost() = default;

  // The folder of the run, read once when the worker starts.
  virtual std::string targetFolder() const = 0;
  // The scanner the host owns and has reset for this run.
  virtual clFindInFolders& scanner() = 0;
  // Writes the sitemap from the scanner's list and shows the result; true
  // when the file was written.
  virtual bool FinishRun(RunControl& control) = 0;
  // Hands one notice over and returns only once it has been handled.
  // text is the percentage for kGenProgress and empty otherwise.
  virtual void DeliverNotice(std::uint16_t message, std::uintptr_t wParam,
                             const std::string& text) = 0;
};
