#include "job/ProgressText.h"

#include <charconv>
#include <cmath>

namespace {

double Percent(std::uint32_t processed, std::int64_t total) {
  return static_cast<double>(processed) / static_cast<double>(total) * 100.0;
}

}  // namespace

std::string ProgressText::Format(std::uint32_t processed, std::int64_t total) {
  if (total == 0) return {};
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, Percent(processed, total),
                                    std::chars_format::fixed, 2);
  return std::string(buffer, result.ptr);
}

bool ProgressText::Update(std::uint32_t processed, std::int64_t total) {
  if (total == 0) return false;
  // The two-decimal text can only change where percent * 200 crosses a
  // whole number (a rounding boundary). Formatting is skipped between
  // boundaries; near one it always happens, so no change is ever missed.
  const double scaled = Percent(processed, total) * 200.0;
  const auto bucket = static_cast<std::int64_t>(std::floor(scaled));
  const bool nearBoundary = scaled - std::floor(scaled) < 1e-6 || std::ceil(scaled) - scaled < 1e-6;
  if (started_ && bucket == lastBucket_ && !nearBoundary) return false;
  lastBucket_ = bucket;
  std::string next = Format(processed, total);
  if (started_ && next == text_) return false;
  started_ = true;
  text_ = std::move(next);
  return true;
}

void ProgressText::Reset() {
  text_.clear();
  lastBucket_ = -1;
  started_ = false;
}
