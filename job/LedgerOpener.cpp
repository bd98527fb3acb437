#include "job/LedgerOpener.h"

#include <system_error>

LedgerOpener::LedgerOpener(std::string path, bool makeFolders, const ThreadStarter& start)
    : path_(std::move(path)), makeFolders_(makeFolders) {
  try {
    thread_ = start ? start([this] { Open(); }) : std::jthread([this] { Open(); });
  } catch (const std::system_error&) {
    // Opened on demand, in the caller's thread.
  }
}

LedgerOpener::~LedgerOpener() {
  if (thread_.joinable()) thread_.join();
}

void LedgerOpener::Open() {
  try {
    opened_ = ledger_.Open(path_, makeFolders_);
  } catch (...) {
    thrown_ = std::current_exception();
  }
}

bool LedgerOpener::Wait() {
  if (thread_.joinable())
    thread_.join();
  else if (!opened_ && !ledger_.problem() && !thrown_)
    Open();
  if (thrown_) std::rethrow_exception(thrown_);
  return opened_;
}
