#pragma once
#include <array>
#include <cstddef>
#include <vector>

#include "sitemap/Warning.h"

// What a run tells the user it left out: of each reason the first
// entries in full, in the order they came, and how many there were of
// every reason, so that a hostile tree cannot fill memory or a screen.
class WarningList {
 public:
  static constexpr std::size_t kShown = 20;  // kept of each reason

  void Add(Warning warning) {
    const std::size_t reason = Index(warning.reason);
    if (counts_[reason]++ < kShown) kept_.push_back(std::move(warning));
    ++total_;
  }
  // Whether an entry of this reason would be kept: one that would not
  // need only be counted.
  bool Keeps(Warning::Reason reason) const { return counts_[Index(reason)] < kShown; }
  void Count(Warning::Reason reason) {
    ++counts_[Index(reason)];
    ++total_;
  }
  // Another list's entries after this one's.
  void Append(const WarningList& other) {
    std::array<std::size_t, Warning::kReasons> keptOfOther{};
    for (const Warning& warning : other.kept_) {
      ++keptOfOther[Index(warning.reason)];
      Add(warning);
    }
    for (std::size_t reason = 0; reason < Warning::kReasons; ++reason) {
      counts_[reason] += other.counts_[reason] - keptOfOther[reason];
      total_ += other.counts_[reason] - keptOfOther[reason];
    }
  }

  // The kept entries, at most kShown of each reason, in the order added.
  const std::vector<Warning>& kept() const { return kept_; }
  std::size_t total() const { return total_; }
  std::size_t count(Warning::Reason reason) const { return counts_[Index(reason)]; }
  // Entries counted but not kept.
  std::size_t more() const { return total_ - kept_.size(); }
  bool empty() const { return total_ == 0; }

 private:
  static std::size_t Index(Warning::Reason reason) { return static_cast<std::size_t>(reason); }

  std::vector<Warning> kept_;
  std::array<std::size_t, Warning::kReasons> counts_{};
  std::size_t total_ = 0;
};
