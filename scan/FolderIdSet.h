#pragma once
#include <cstddef>
#include <vector>

#include "scan/DirectoryLister.h"

// The folders a scan has listed, by identity. One flat table searched in
// line: the walk asks once per folder, and a node per folder would cost
// an allocation and a cache miss each time, on the walk's own thread.
class FolderIdSet {
 public:
  // False when id was in the set already.
  bool insert(const FolderId& id);
  bool contains(const FolderId& id) const;
  void clear();
  std::size_t size() const { return size_; }

 private:
  struct Slot {
    FolderId id;
    bool used = false;
  };
  // The slot that holds id, or the free one where it would go.
  std::size_t SlotOf(const FolderId& id) const;
  void Grow();

  std::vector<Slot> slots_;  // a power of two of them, or none
  std::size_t size_ = 0;
};
