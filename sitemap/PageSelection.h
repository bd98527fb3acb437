#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Which files are pages by their name: those whose extension (from the last
// dot, without it) is in the list, byte for byte, except the program's own
// files in the folder's root.
class PageSelection {
 public:
  explicit PageSelection(const std::vector<std::string>& extensions);

  // level 1 is the folder's root.
  bool Matches(std::string_view name, std::uint16_t level) const;

 private:
  // Few in practice: a look through them is quicker than a hash of every
  // name's extension.
  std::vector<std::string> dottedExtensions_;
};
