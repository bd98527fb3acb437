#include "scan/FolderIdSet.h"

#include <cstdint>
#include <utility>

namespace {

constexpr std::size_t kFirstSlots = 1024;

// Inode numbers of one folder run close together: mixed, so that they
// spread over the table rather than fill one stretch of it.
std::size_t Mixed(const FolderId& id) {
  std::uint64_t h = id.inode ^ (id.device * 0x9E3779B97F4A7C15ull);
  h ^= h >> 32;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 29;
  return static_cast<std::size_t>(h);
}

}  // namespace

std::size_t FolderIdSet::SlotOf(const FolderId& id) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = Mixed(id) & mask;
  while (slots_[at].used && !(slots_[at].id == id)) at = (at + 1) & mask;
  return at;
}

bool FolderIdSet::contains(const FolderId& id) const { return !slots_.empty() && slots_[SlotOf(id)].used; }

bool FolderIdSet::insert(const FolderId& id) {
  // At most three quarters full, so that a search soon meets a free slot.
  if ((size_ + 1) * 4 > slots_.size() * 3) Grow();
  Slot& slot = slots_[SlotOf(id)];
  if (slot.used) return false;
  slot = {id, true};
  ++size_;
  return true;
}

void FolderIdSet::Grow() {
  std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(slots_.empty() ? kFirstSlots : 2 * slots_.size()));
  for (const Slot& slot : old)
    if (slot.used) slots_[SlotOf(slot.id)] = slot;
}

void FolderIdSet::clear() {
  slots_.clear();
  size_ = 0;
}
