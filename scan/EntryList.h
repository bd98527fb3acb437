#pragma once
#include <condition_variable>
#include <cstddef>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "scan/FileStamp.h"
#include "scan/HeadLinks.h"
#include "scan/clCompositionFolder.h"

// The scan's records in pre-order, in chunks that never move. One thread,
// the walk, appends; one Reader, on any thread, may take the records while
// the walk goes on. The walk publishes what it has appended every
// kPublishEvery records and when it closes the list; the reader sees a
// record only once it is published, and never a record being written.
//
// A Reader takes the records for good: each chunk it has read through goes
// back to the walk for new records. A list read about as fast as it grows
// thus stays a few chunks long, and no record is ever moved or copied.
// Without a Reader the list keeps every record, for iteration.
//
// On demand (KeepBeside), each record has its file's stamp, and its page's
// head links, beside it in the chunk: they are published with the record
// and gone with it, and a list that needs none pays nothing for them.
//
// A chunk is one huge page where the system has them: a list of a million
// records filled one small page at a time costs a trap per page, which on
// a virtual machine is much of the scan.
class EntryList {
 public:
  static constexpr std::size_t kPublishEvery = 1024;

  // perChunk: records per chunk; 0: as many as one 2 MiB page holds.
  explicit EntryList(std::size_t perChunk = 0);
  ~EntryList();
  EntryList(const EntryList&) = delete;
  EntryList& operator=(const EntryList&) = delete;

  // Whether each record has a FileStamp (StampLast) and its page's head
  // links (LinkLast) beside it. Changing it empties the list; no Reader
  // may be at work.
  void KeepBeside(bool stamps, bool links);

  // The walk's side. The record is readable from the next publication,
  // which comes with a later Append or the close, so that the walk may
  // still stamp it and give it its links.
  template <typename... Args>
  clCompositionFolder& Append(Args&&... args) {
    if (size_ - announced_ == kPublishEvery) Publish();
    if (tailUsed_ == perChunk_) AddChunk();
    clCompositionFolder* record = new (Slot(tailUsed_)) clCompositionFolder(std::forward<Args>(args)...);
    if (keepLinks_) new (LinksOf(tail_) + tailUsed_) Links();
    ++tailUsed_;
    ++size_;
    return *record;
  }
  // The stamp of the record appended last; only with stamps kept.
  void StampLast(const FileStamp& stamp) { new (StampsOf(tail_) + tailUsed_ - 1) FileStamp(stamp); }
  // The head links of the page appended last, when it has any; only with
  // links kept.
  void LinkLast(std::unique_ptr<HeadLinks> links) { LinksOf(tail_)[tailUsed_ - 1] = std::move(links); }
  // The record appended last; only the walk may ask.
  const clCompositionFolder& back() const { return *Slot(tailUsed_ - 1); }
  // The walk begins to append: a reader waits for its records.
  void Open();
  // The walk is over, for now: everything appended is published, and a
  // reader no longer waits for more.
  void Close();

  // Records appended: the walk may ask at any time, others once it closed
  // the list.
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Removes every record. No Reader may be at work.
  void clear();

  // Every record in order, for one thread while nothing appends and no
  // Reader has taken any.
  class const_iterator;
  const_iterator begin() const;
  const_iterator end() const;

  class Reader;

 private:
  // Every chunk but the last is full. After its header come its records,
  // then the stamps and the links kept beside them, one per record.
  struct Chunk {
    Chunk* next = nullptr;
  };
  using Links = std::unique_ptr<HeadLinks>;
  static clCompositionFolder* RecordsOf(Chunk* chunk) { return reinterpret_cast<clCompositionFolder*>(chunk + 1); }
  FileStamp* StampsOf(Chunk* chunk) const { return reinterpret_cast<FileStamp*>(RecordsOf(chunk) + perChunk_); }
  Links* LinksOf(Chunk* chunk) const {
    return reinterpret_cast<Links*>(StampsOf(chunk) + (keepStamps_ ? perChunk_ : 0));
  }
  // Ends the records of a chunk, and what lies beside them.
  void Destroy(Chunk* chunk, std::size_t records);
  clCompositionFolder* Slot(std::size_t index) const { return RecordsOf(tail_) + index; }
  void AddChunk();
  void Publish();
  void Recycle(Chunk* chunk);
  Chunk* NewChunk();
  void FreeChunk(Chunk* chunk);

  const std::size_t askedPerChunk_;  // 0: as many as a huge page holds
  bool keepStamps_ = false;
  bool keepLinks_ = false;
  std::size_t perChunk_;
  std::size_t chunkBytes_;
  // The walk's own.
  Chunk* tail_ = nullptr;
  std::size_t tailUsed_;  // records in tail_; perChunk_ while there is none
  std::size_t size_ = 0;
  std::size_t announced_ = 0;  // size_ at the last publication

  // Between the walk and the reader.
  mutable std::mutex mutex_;
  std::condition_variable published_;
  Chunk* head_ = nullptr;    // the oldest chunk not recycled
  std::size_t readable_ = 0;  // records published
  bool closed_ = false;
  bool readerWaits_ = false;
  std::vector<Chunk*> spare_;  // read through, for the walk to fill again
};

class EntryList::const_iterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = clCompositionFolder;
  using difference_type = std::ptrdiff_t;
  using pointer = const clCompositionFolder*;
  using reference = const clCompositionFolder&;

  const_iterator() = default;
  reference operator*() const { return RecordsOf(chunk_)[index_]; }
  pointer operator->() const { return &**this; }
  // Its stamp; nullptr when the list keeps none.
  const FileStamp* stamp() const { return list_->keepStamps_ ? list_->StampsOf(chunk_) + index_ : nullptr; }
  const_iterator& operator++() {
    if (++index_ == list_->perChunk_ && chunk_ != list_->tail_) {
      chunk_ = chunk_->next;
      index_ = 0;
    }
    return *this;
  }
  const_iterator operator++(int) {
    const_iterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const const_iterator& other) const { return chunk_ == other.chunk_ && index_ == other.index_; }

 private:
  friend class EntryList;
  const_iterator(const EntryList* list, Chunk* chunk, std::size_t index) : list_(list), chunk_(chunk), index_(index) {}
  const EntryList* list_ = nullptr;
  Chunk* chunk_ = nullptr;
  std::size_t index_ = 0;
};

// Takes the records of a list in order, from the first, on any thread.
// One Reader per list at a time; it must be done before the list is
// cleared.
class EntryList::Reader {
 public:
  explicit Reader(EntryList& list) : list_(list) {}
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // The next record while the walk goes on, waiting until the walk
  // publishes one; nullptr once the list is closed, even when records
  // remain: Next takes those.
  const clCompositionFolder* NextWhileOpen() {
    if (taken_ == readable_ && !Wait(true)) return nullptr;
    return Take();
  }
  // The next record, waiting while the walk goes on; nullptr once the
  // list is closed and every record taken.
  const clCompositionFolder* Next() {
    if (taken_ == readable_ && !Wait(false)) return nullptr;
    return Take();
  }
  // The stamp of the record taken last; nullptr when the list keeps none.
  const FileStamp* stamp() const { return list_.keepStamps_ ? list_.StampsOf(chunk_) + index_ - 1 : nullptr; }
  // The head links of the record taken last; nullptr when its page has
  // none or the list keeps none. Valid until the next record is taken.
  const HeadLinks* links() const { return list_.keepLinks_ ? list_.LinksOf(chunk_)[index_ - 1].get() : nullptr; }
  // Records taken so far.
  std::size_t taken() const { return taken_; }

 private:
  bool Wait(bool endAtClose);
  const clCompositionFolder* Take();

  EntryList& list_;
  Chunk* chunk_ = nullptr;
  std::size_t index_ = 0;  // in chunk_
  std::size_t taken_ = 0;
  std::size_t readable_ = 0;  // what the last look found published
};
