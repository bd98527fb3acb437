#include "scan/RobotsMeta.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "scan/PageHead.h"

namespace {

// Most pages are read whole with the first call.
constexpr std::size_t kFirstChunkBytes = 16 * 1024;

// Appends the next chunk; *atEnd once the file or the read limit is reached.
// Chunks double after the first, so the limit takes at most three calls. Returns 0 or the errno of
// the failed read.
int ReadChunk(int fd, std::string* text, bool* atEnd) {
  const std::size_t old = text->size();
  const std::size_t wanted = std::min(std::max(kFirstChunkBytes, old), RobotsMeta::kMaxHeadBytes - old);
  text->resize(old + wanted);
  ssize_t got;
  do {
    got = read(fd, text->data() + old, wanted);
  } while (got < 0 && errno == EINTR);
  const int failure = got < 0 ? errno : 0;
  text->resize(old + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
  // A page is a regular file, where a short read means its end: no call
  // is spent to hear so.
  *atEnd = got < static_cast<ssize_t>(wanted) || text->size() == RobotsMeta::kMaxHeadBytes;
  return failure;
}

bool ReadHeadSaysNoindex(int fd, int* failure) {
  std::string text;
  PageHead head;
  for (;;) {
    bool atEnd = false;
    *failure = ReadChunk(fd, &text, &atEnd);
    if (*failure != 0) return false;
    if (const std::optional<bool> answer = head.SaysNoindex(text, atEnd)) return *answer;
  }
}

bool Failed(int failure, std::string* error) {
  if (error) *error = std::generic_category().message(failure);
  return false;
}

}  // namespace

bool RobotsMeta::SaysNoindex(std::string_view htmlStart) {
  return PageHead().SaysNoindex(htmlStart, true).value_or(false);
}

bool RobotsMeta::FileSaysNoindex(int dirFd, const std::string& name, std::string* error) {
  // Non-blocking, so that a named pipe or a terminal among the pages cannot
  // hold the run; a regular file reads the same either way.
  const int fd = openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Failed(errno, error);
  int failure = 0;
  const bool noindex = ReadHeadSaysNoindex(fd, &failure);
  close(fd);
  return failure != 0 ? Failed(failure, error) : noindex;
}
