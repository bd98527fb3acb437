#pragma once
#include <cstdint>

// What a file's status tells of its content without reading it: a file
// whose stamp is what it was is taken to be unchanged, as git's index does.
struct FileStamp {
  std::int64_t size = 0;
  std::int64_t modified = 0;     // modification time: seconds since the epoch
  std::uint32_t nanoseconds = 0;  //   and nanoseconds into that second
  bool operator==(const FileStamp&) const = default;
};
