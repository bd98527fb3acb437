#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "io/FileLayer.h"

// The Sitemap: line of a site's robots.txt, added after a run when none
// names the sitemap written. Every other byte of the file stays as it was:
// its byte order mark, its encoding and its line breaks; the new line ends
// as the file's lines end (CR LF, LF or CR; LF in a file without any).
class RobotsSitemapLine {
 public:
  // robots.txt's text (empty when there is none) with a line naming url
  // added, or nothing when a Sitemap: line names it already.
  static std::optional<std::string> Added(std::string_view text, const std::string& url);

  // Adds the line to robots.txt in the open folder, creating the file when
  // there is none, replaced as one through the folder's descriptor. False,
  // with "path: reason", when it cannot be read or written; the file is
  // then as it was.
  static bool Ensure(FileLayer& files, int folder, const std::string& folderPath, const std::string& url,
                     std::string* error);
};
