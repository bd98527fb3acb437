#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "scan/HeadLinks.h"

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
  // Seconds since the epoch; 0 when the scan was not asked for it.
  std::int64_t modified() const { return modified_; }
  // The page's canonical and language links, when the scan was asked for
  // them and the page has any; else null. Shared by the copies of a record.
  const HeadLinks* links() const { return links_.get(); }
  void setLinks(std::shared_ptr<const HeadLinks> links) { links_ = std::move(links); }

  bool operator==(const clCompositionFolder& other) const {
    return level_ == other.level_ && isFolder_ == other.isFolder_ && flags_ == other.flags_ &&
           modified_ == other.modified_ && name_ == other.name_ &&
           (links_ == other.links_ || (links_ && other.links_ && *links_ == *other.links_));
  }

 private:
  std::uint16_t level_ = 0;
  std::int16_t isFolder_ = 0;
  std::uint8_t flags_ = 0;
  std::int64_t modified_ = 0;
  std::string name_;
  std::shared_ptr<const HeadLinks> links_;
};
