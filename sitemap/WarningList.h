#pragma once
#include <cstddef>
#include <string>
#include <vector>

// What a run tells the user it left out: the first lines in full and how
// many there were, so that a hostile tree cannot fill memory or a screen.
class WarningList {
 public:
  static constexpr std::size_t kShown = 20;

  void Add(std::string line) {
    if (shown_.size() < kShown) shown_.push_back(std::move(line));
    ++total_;
  }
  // Another list's lines after this one's.
  void Append(const WarningList& other) {
    for (const std::string& line : other.shown_) Add(line);
    total_ += other.more();
  }

  const std::vector<std::string>& shown() const { return shown_; }
  std::size_t total() const { return total_; }
  std::size_t more() const { return total_ - shown_.size(); }
  bool empty() const { return total_ == 0; }

 private:
  std::vector<std::string> shown_;
  std::size_t total_ = 0;
};
