#pragma once
#include <cstdint>
#include <string>

// The percentage text of a run ("0.00" ... "100.00"), formatted the same in
// every locale, and a filter that tells when it has changed, so that a
// large run reports each distinct text once instead of once per entry.
class ProgressText {
 public:
  // processed / total * 100 with two decimals; empty when total is 0.
  static std::string Format(std::uint32_t processed, std::int64_t total);

  // True when the text for processed/total differs from the last one this
  // object returned true for; text() then holds the new text.
  bool Update(std::uint32_t processed, std::int64_t total);
  const std::string& text() const { return text_; }
  void Reset();

 private:
  std::string text_;
  std::int64_t lastBucket_ = -1;
  bool started_ = false;
};
