#pragma once
#include <cstdint>
#include <string>

// One file or folder found by the scan. It holds no path: where an entry
// lies follows from its place in the scanner's pre-order list and the
// levels of the records before it.
class clCompositionFolder {
 public:
  clCompositionFolder() = default;
  clCompositionFolder(std::uint16_t level, std::string name, std::int16_t isFolder)
      : level_(level), isFolder_(isFolder), name_(std::move(name)) {}

  std::uint16_t getLevel() const { return level_; }
  void setLevel(std::uint16_t level) { level_ = level; }
  std::string getName() const { return name_; }
  // Read access without a copy, for readers that walk large lists.
  const std::string& name() const { return name_; }
  void setName(const std::string& name) { name_ = name; }
  // 1 for a folder, 0 for a file; readers test for 1.
  std::int16_t getIsFolder() const { return isFolder_; }
  void setIsFolder(std::int16_t isFolder) { isFolder_ = isFolder; }

  bool operator==(const clCompositionFolder&) const = default;

 private:
  std::uint16_t level_ = 0;
  std::int16_t isFolder_ = 0;
  std::string name_;
};
