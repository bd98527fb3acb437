#pragma once
#include <string>

// Removes space characters (byte 0x20 only) from the ends of a text.
// Tabs, line breaks and full-width spaces are ordinary characters here.
class cls_Trim {
 public:
  std::string trimSpaces(const std::string& text) const;
  std::string trimTrailingSpaces(const std::string& text) const;
  std::string trimLeadingSpaces(const std::string& text) const;
};
