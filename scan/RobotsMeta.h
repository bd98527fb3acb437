#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "scan/PageHead.h"

// Whether a page asks search engines not to index it, the way a crawler
// reads it: by a <meta name="robots"> or <meta name="googlebot"> in the
// page's head whose content, split at commas, holds "noindex" or "none"
// (tag, attribute names, the name's value and the tokens in any case; the
// value and the tokens trimmed of ASCII whitespace; character references
// decoded). Where the head ends follows the HTML5 parsing rules, so a
// head may be implied by a meta before any body content, and a meta after
// the head has ended does not count. A UTF-8 byte order mark is skipped.
//
// Holds no state: any number of threads may ask at once.
class RobotsMeta {
 public:
  // No file is read past this many bytes; a meta beyond it does not count.
  static constexpr std::size_t kMaxHeadBytes = 64 * 1024;

  // True when the head of this HTML text says noindex or none to robots or
  // googlebot. The text may stop anywhere, e.g. inside the head.
  static bool SaysNoindex(std::string_view htmlStart);

  // The same for the file `name` in the open folder dirFd, read from its
  // start in chunks, never past kMaxHeadBytes. Reading stops as soon as the
  // text so far settles the answer (see PageHead), typically with the head
  // or with the whole of a small page; where it stops never changes the
  // answer. A file that cannot be read is not noindex (false), and *error,
  // when error is not null, gets the reason.
  static bool FileSaysNoindex(int dirFd, const std::string& name, std::string* error = nullptr);

  // The same reading, for all that is wanted of the head at once.
  static PageHead::Answer ReadFileHead(int dirFd, const std::string& name, PageHead::Wanted wanted,
                                       std::string* error = nullptr);
};
