#include "job/WritingThread.h"

#include <system_error>
#include <utility>

WritingThread::WritingThread(EntryList& list, EntryList::Reader& reader, RunWriter& writer, std::stop_source walk,
                             const ThreadStarter& start)
    : list_(list), reader_(reader), writer_(writer), walk_(std::move(walk)) {
  try {
    const auto work = [this] { Work(); };
    thread_ = start ? start(work) : std::jthread(work);
  } catch (const std::system_error&) {
    // The run's thread writes it all once the walk is over, as on one core.
  }
}

WritingThread::~WritingThread() {
  if (!thread_.joinable()) return;
  list_.Close();
  thread_.join();
}

void WritingThread::Join() {
  if (thread_.joinable()) thread_.join();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void WritingThread::Work() {
  try {
    const std::stop_token stop = walk_.get_token();
    while (!stop.stop_requested()) {
      const clCompositionFolder* entry = reader_.NextWhileOpen();
      if (!entry) return;  // the walk is over
      if (!writer_.Take(*entry, reader_.stamp(), reader_.links())) break;
    }
  } catch (...) {
    failure_ = std::current_exception();
  }
  walk_.request_stop();  // no use walking on: nothing more will be written
}
