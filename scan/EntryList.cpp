#include "scan/EntryList.h"

#include <sys/mman.h>

#include <cstdint>
#include <memory>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t value, std::size_t step) { return (value + step - 1) / step * step; }

// A chunk of a huge page or more is mapped on its own, starting on a huge
// page's boundary (the system backs only aligned ranges with huge pages);
// a smaller one, as tests use, comes from the heap.
void* Allocate(std::size_t bytes) {
  if (bytes < kHugePage / 2) return ::operator new(bytes);
  const std::size_t size = RoundUp(bytes, kHugePage);
  void* mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = RoundUp(start, kHugePage);
  if (aligned > start) munmap(mapped, aligned - start);
  const std::uintptr_t end = start + size + kHugePage;
  if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
  (void)madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);  // only a wish: without, small pages
  return reinterpret_cast<void*>(aligned);
}

void Free(void* block, std::size_t bytes) {
  if (bytes < kHugePage / 2) return ::operator delete(block);
  munmap(block, RoundUp(bytes, kHugePage));
}

}  // namespace

EntryList::EntryList(std::size_t perChunk) : askedPerChunk_(perChunk) {
  static_assert(sizeof(Chunk) % alignof(clCompositionFolder) == 0);
  static_assert(sizeof(clCompositionFolder) % alignof(FileStamp) == 0);
  static_assert(sizeof(clCompositionFolder) % alignof(Links) == 0 && sizeof(FileStamp) % alignof(Links) == 0);
  KeepBeside(false, false);
}

void EntryList::KeepBeside(bool stamps, bool links) {
  if (head_ || !spare_.empty()) clear();  // chunks of the size they had
  keepStamps_ = stamps;
  keepLinks_ = links;
  const std::size_t perRecord =
      sizeof(clCompositionFolder) + (stamps ? sizeof(FileStamp) : 0) + (links ? sizeof(Links) : 0);
  perChunk_ = askedPerChunk_ > 0 ? askedPerChunk_ : (kHugePage - sizeof(Chunk)) / perRecord;
  chunkBytes_ = sizeof(Chunk) + perChunk_ * perRecord;
  tailUsed_ = perChunk_;
}

EntryList::~EntryList() {
  clear();
}

EntryList::Chunk* EntryList::NewChunk() {
  return new (Allocate(chunkBytes_)) Chunk;
}

void EntryList::FreeChunk(Chunk* chunk) {
  chunk->~Chunk();
  Free(chunk, chunkBytes_);
}

// The full tail is followed by a spare chunk if the reader gave one back,
// else by a new one.
void EntryList::AddChunk() {
  Chunk* chunk = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (!spare_.empty()) {
      chunk = spare_.back();
      spare_.pop_back();
    }
  }
  if (!chunk) chunk = NewChunk();
  chunk->next = nullptr;
  if (tail_) {
    tail_->next = chunk;  // read by the reader only past a publication
  } else {
    std::lock_guard lock(mutex_);
    head_ = chunk;
  }
  tail_ = chunk;
  tailUsed_ = 0;
}

// A wake-up costs more than a batch of records, so the reader is woken
// only when it sleeps.
void EntryList::Publish() {
  announced_ = size_;
  std::unique_lock lock(mutex_);
  readable_ = size_;
  const bool wake = readerWaits_;
  lock.unlock();
  if (wake) published_.notify_one();
}

void EntryList::Open() {
  std::lock_guard lock(mutex_);
  closed_ = false;
}

void EntryList::Close() {
  announced_ = size_;
  {
    std::lock_guard lock(mutex_);
    readable_ = size_;
    closed_ = true;
  }
  published_.notify_one();
}

void EntryList::clear() {
  for (Chunk* chunk = head_; chunk;) {
    Chunk* next = chunk == tail_ ? nullptr : chunk->next;
    Destroy(chunk, chunk == tail_ ? tailUsed_ : perChunk_);
    FreeChunk(chunk);
    chunk = next;
  }
  for (Chunk* chunk : spare_) FreeChunk(chunk);
  spare_.clear();
  head_ = tail_ = nullptr;
  tailUsed_ = perChunk_;
  size_ = announced_ = readable_ = 0;
  closed_ = false;
}

EntryList::const_iterator EntryList::begin() const {
  return head_ ? const_iterator(this, head_, 0) : end();
}

EntryList::const_iterator EntryList::end() const {
  return const_iterator(this, tail_, tailUsed_);
}

void EntryList::Destroy(Chunk* chunk, std::size_t records) {
  std::destroy_n(RecordsOf(chunk), records);
  if (keepLinks_) std::destroy_n(LinksOf(chunk), records);
}

// The reader's records are destroyed on its own thread; the walk only
// reuses the memory.
void EntryList::Recycle(Chunk* chunk) {
  Destroy(chunk, perChunk_);
  std::lock_guard lock(mutex_);
  head_ = chunk->next;
  spare_.push_back(chunk);
}

bool EntryList::Reader::Wait(bool endAtClose) {
  std::unique_lock lock(list_.mutex_);
  for (;;) {
    if (list_.closed_ && endAtClose) return false;
    readable_ = list_.readable_;
    if (!chunk_) chunk_ = list_.head_;
    if (taken_ < readable_) return true;
    if (list_.closed_) return false;
    list_.readerWaits_ = true;
    list_.published_.wait(lock);
    list_.readerWaits_ = false;
  }
}

const clCompositionFolder* EntryList::Reader::Take() {
  if (index_ == list_.perChunk_) {
    Chunk* done = chunk_;
    chunk_ = chunk_->next;
    index_ = 0;
    list_.Recycle(done);
  }
  ++taken_;
  return RecordsOf(chunk_) + index_++;
}
