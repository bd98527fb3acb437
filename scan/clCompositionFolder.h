#pragma once
#include <cstdint>
#include <string>

// One file or folder found by the scan. It holds no path: where an entry
// lies follows from its place in the scanner's pre-order list and the
// levels of the records before it.
class clCompositionFolder {
 public:
  // What the scan learnt of a file beyond its name.
  enum Flags : std::uint8_t {
    kRegular = 1,  // resolves to a regular file: a server can send it
    kNoindex = 2,  // a page that asks robots not to index it
    kBrokenLink = 4,  // a link to nothing, or a loop of links
    kStamped = 8,     // the scan kept its size and time (clFindInFolders::stamps())
    kFolderPage = 16,  // the page that stands for its folder (ScanRules::folderPageNames)
  };

  clCompositionFolder() = default;
  // A file of this form is a regular file.
  clCompositionFolder(std::uint16_t level, std::string name, std::int16_t isFolder)
      : clCompositionFolder(level, std::move(name), isFolder, isFolder == 1 ? 0 : kRegular, 0) {}
  clCompositionFolder(std::uint16_t level, std::string name, std::int16_t isFolder, std::uint8_t flags,
                      std::int64_t modified)
      : level_(level), isFolder_(isFolder), flags_(flags), modified_(modified), name_(std::move(name)) {}

  std::uint16_t getLevel() const { return level_; }
  void setLevel(std::uint16_t level) { level_ = level; }
  std::string getName() const { return name_; }
  // Read access without a copy, for readers that walk large lists.
  const std::string& name() const { return name_; }
  void setName(const std::string& name) { name_ = name; }
  // 1 for a folder, 0 for a file; readers test for 1.
  std::int16_t getIsFolder() const { return isFolder_; }
  void setIsFolder(std::int16_t isFolder) { isFolder_ = isFolder; }

  bool isRegularFile() const { return isFolder_ != 1 && (flags_ & kRegular); }
  bool isNoindex() const { return flags_ & kNoindex; }
  bool isBrokenLink() const { return flags_ & kBrokenLink; }
  bool isStamped() const { return flags_ & kStamped; }
  bool isFolderPage() const { return flags_ & kFolderPage; }
  // Seconds since the epoch; 0 when the scan was not asked for it.
  std::int64_t modified() const { return modified_; }

  bool operator==(const clCompositionFolder&) const = default;

 private:
  std::uint16_t level_ = 0;
  std::int16_t isFolder_ = 0;
  std::uint8_t flags_ = 0;
  std::int64_t modified_ = 0;
  std::string name_;
};
