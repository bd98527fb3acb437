#pragma once
#include <string>
#include <string_view>
#include <vector>
// placeholder until the matcher lands
class ExclusionRules {
 public:
  void Add(std::string_view line) { lines_.emplace_back(line); }
  bool empty() const { return lines_.empty(); }
  bool Excludes(std::string_view path, bool) const { for (auto& l : lines_) if (l == path) return true; return false; }
 private:
  std::vector<std::string> lines_;
};
