#pragma once
#include <exception>
#include <string>
#include <thread>

#include "scan/ScanRules.h"
#include "sitemap/ContentLedger.h"

// Opens a content ledger (locks it and reads it) on a thread of its own,
// so that reading a large ledger overlaps the scan of the folder. When the
// system gives no thread, the ledger is opened when it is first asked for.
// Either way the outcome is that of ContentLedger::Open.
class LedgerOpener {
 public:
  LedgerOpener(std::string path, bool makeFolders, const ThreadStarter& start);
  ~LedgerOpener();
  LedgerOpener(const LedgerOpener&) = delete;
  LedgerOpener& operator=(const LedgerOpener&) = delete;

  // Whether it opens the ledger at path as Open(path, makeFolders) would.
  bool Opens(const std::string& path, bool makeFolders) const {
    return path == path_ && makeFolders == makeFolders_;
  }
  // Waits for the opening; false with the ledger's problem() when it was
  // refused. Rethrows what the opening threw (out of memory).
  bool Wait();
  ContentLedger& ledger() { return ledger_; }

 private:
  void Open();

  std::string path_;
  bool makeFolders_;
  ContentLedger ledger_;
  bool opened_ = false;
  std::exception_ptr thrown_;
  std::jthread thread_;  // last: joined before the rest is let go
};
