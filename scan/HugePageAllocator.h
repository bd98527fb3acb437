#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <memory>
#include <new>

// An allocator that asks for huge pages for blocks of a few megabytes and
// more, and gives small blocks out as usual. The ledger of a million pages
// grows to tens of megabytes; filling it one small page at a time
// costs a trap per page, which on a virtual machine is much of a run.
template <typename T>
class HugePageAllocator {
 public:
  using value_type = T;

  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) {}  // NOLINT: rebinding is implicit

  T* allocate(std::size_t count) {
    const std::size_t bytes = count * sizeof(T);
    if (bytes < kLargeBlock) return std::allocator<T>().allocate(count);
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    (void)madvise(block, bytes, MADV_HUGEPAGE);  // only a wish: without, small pages
    return static_cast<T*>(block);
  }

  void deallocate(T* block, std::size_t count) {
    const std::size_t bytes = count * sizeof(T);
    if (bytes < kLargeBlock) return std::allocator<T>().deallocate(block, count);
    munmap(block, bytes);
  }

  template <typename U>
  bool operator==(const HugePageAllocator<U>&) const {
    return true;
  }

 private:
  static constexpr std::size_t kLargeBlock = std::size_t{4} << 20;
};
