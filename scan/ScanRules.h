#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class ExclusionRules;

// Starts a thread that runs work; throws std::system_error when the system
// gives no more threads.
using ThreadStarter = std::function<std::jthread(std::function<void()> work)>;

// What a scan is to leave out, follow or find out besides the names, and
// how many threads may read folders for it.
struct ScanRules {
  const ExclusionRules* exclusions = nullptr;  // never listed nor recorded
  bool followLinks = false;                    // enter links to folders
  // The files that are pages, for the per-page work below; it is asked
  // for the name and the level of each file, from any reading thread.
  std::function<bool(std::string_view name, std::uint16_t level)> isPage;
  bool readModified = false;  // record each page's modification time
  // Keep each page's size and modification time to the nanosecond
  // (clFindInFolders::stamps()).
  bool readStamps = false;
  bool checkNoindex = false;  // mark pages that ask not to be indexed
  // Keep the canonical and language links of each page's head, beside
  // its record in the list (EntryList::Reader::links()).
  bool readLinks = false;
  // Names of the page that stands for its folder, best first: in each
  // folder, the page of the first name here is marked as the folder's
  // page, unless it is marked noindex. Empty: none is.
  std::vector<std::string> folderPageNames = {};
  // Threads that read folders ahead of the walk; 1 reads each folder as
  // the walk enters it. The records are the same whatever the number.
  int readers = 1;
  // How the reading threads are started; empty: as std::jthread does.
  ThreadStarter startThread = nullptr;
  // Counts the files recorded so far, for a display that reads it from
  // another thread; empty: not counted.
  std::atomic<std::size_t>* filesSeen = nullptr;
};
