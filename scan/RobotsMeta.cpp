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

PageHead::Answer ReadHead(int fd, PageHead::Wanted wanted, int* failure) {
  std::string text;
  PageHead head(wanted);
  for (;;) {
    bool atEnd = false;
    *failure = ReadChunk(fd, &text, &atEnd);
    if (*failure != 0) return {};
    if (std::optional<PageHead::Answer> answer = head.Read(text, atEnd)) return std::move(*answer);
  }
}

PageHead::Answer Failed(int failure, std::string* error) {
  if (error) *error = std::generic_category().message(failure);
  return {};
}

}  // namespace

bool RobotsMeta::SaysNoindex(std::string_view htmlStart) {
  return PageHead().SaysNoindex(htmlStart, true).value_or(false);
}

bool RobotsMeta::FileSaysNoindex(int dirFd, const std::string& name, std::string* error) {
  return ReadFileHead(dirFd, name, PageHead::Wanted{}, error).noindex;
}

PageHead::Answer RobotsMeta::ReadFileHead(int dirFd, const std::string& name, PageHead::Wanted wanted,
                                          std::string* error) {
  // Non-blocking, so that a named pipe or a terminal among the pages cannot
  // hold the run; a regular file reads the same either way.
  const int fd = openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Failed(errno, error);
  int failure = 0;
  PageHead::Answer answer = ReadHead(fd, wanted, &failure);
  close(fd);
  return failure != 0 ? Failed(failure, error) : answer;
}
