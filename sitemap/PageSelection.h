#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
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
  // Lets the set be asked for a string_view without a copy.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  std::unordered_set<std::string, TextHash, std::equal_to<>> dottedExtensions_;
};
