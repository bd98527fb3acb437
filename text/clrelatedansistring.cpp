#include "text/clrelatedansistring.h"

std::string cls_Trim::trimSpaces(const std::string& text) const {
  return trimLeadingSpaces(trimTrailingSpaces(text));
}

std::string cls_Trim::trimTrailingSpaces(const std::string& text) const {
  const auto end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string cls_Trim::trimLeadingSpaces(const std::string& text) const {
  const auto begin = text.find_first_not_of(' ');
  return begin == std::string::npos ? std::string() : text.substr(begin);
}
