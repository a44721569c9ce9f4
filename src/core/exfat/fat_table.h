#pragma once
// The FAT as a load holds it. A 16 TiB volume of 128 KiB clusters has a FAT
// of 512 MiB, nearly all of it zeros (free clusters, and files the driver
// stored contiguous, whose chains it never writes) or runs of n -> n + 1
// (files stored contiguous with a chain): such stretches are kept as one
// word each, and only the others hold their entries.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dudorazu {

class FatTable {
 public:
  // Entries per stretch: 4 KiB of FAT.
  static constexpr size_t kPageShift = 10;
  static constexpr size_t kPageEntries = size_t{1} << kPageShift;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void clear() {
    size_ = 0;
    pages_.clear();
    held_.clear();
  }
  void shrink_to_fit() {
    pages_.shrink_to_fit();
    held_.shrink_to_fit();
  }
  // `count` entries, each `value`.
  void assign(size_t count, uint32_t value) {
    clear();
    size_ = count;
    pages_.assign((count + kPageEntries - 1) >> kPageShift, kZeros);
    if (value != 0)
      for (size_t c = 0; c < count; ++c) set(c, value);
  }

  uint32_t operator[](size_t c) const {
    const uint32_t page = pages_[c >> kPageShift];
    if (page >= kFirstHeld) return held_[(size_t{page - kFirstHeld} << kPageShift) | (c & (kPageEntries - 1))];
    return page == kRun ? static_cast<uint32_t>(c + 1) : 0;
  }
  void set(size_t c, uint32_t value) {
    if ((*this)[c] == value) return;
    uint32_t* entries = hold(c >> kPageShift);
    entries[c & (kPageEntries - 1)] = value;
  }
  // Writes through set(), so a stretch kept as one word is expanded only
  // when an entry in it changes.
  class Entry {
   public:
    Entry(FatTable& table, size_t c) : table_(table), c_(c) {}
    operator uint32_t() const { return static_cast<const FatTable&>(table_)[c_]; }
    Entry& operator=(uint32_t value) {
      table_.set(c_, value);
      return *this;
    }

   private:
    FatTable& table_;
    size_t c_;
  };
  Entry operator[](size_t c) { return Entry(*this, c); }

  // Appends the next stretch of entries, as read from the disk (host order),
  // `count` of them: kPageEntries, or fewer for the last stretch.
  void appendPage(const uint32_t* entries, size_t count) {
    const size_t first = pages_.size() << kPageShift;
    bool zeros = true, run = count == kPageEntries;
    for (size_t i = 0; i < count && (zeros || run); ++i) {
      zeros = zeros && entries[i] == 0;
      run = run && entries[i] == first + i + 1;
    }
    size_ = first + count;
    pages_.push_back(zeros ? kZeros : run ? kRun : kZeros);
    if (zeros || run) return;
    uint32_t* held = hold(pages_.size() - 1);
    for (size_t i = 0; i < count; ++i) held[i] = entries[i];
  }

 private:
  static constexpr uint32_t kZeros = 0, kRun = 1, kFirstHeld = 2;

  // The page's entries, expanded into held_ first when it is kept as one word.
  uint32_t* hold(size_t page) {
    if (pages_[page] < kFirstHeld) {
      const uint32_t kind = pages_[page];
      const size_t at = held_.size();
      held_.resize(at + kPageEntries, 0);
      if (kind == kRun)
        for (size_t i = 0; i < kPageEntries; ++i) held_[at + i] = static_cast<uint32_t>((page << kPageShift) + i + 1);
      pages_[page] = static_cast<uint32_t>((at >> kPageShift) + kFirstHeld);
    }
    return &held_[size_t{pages_[page] - kFirstHeld} << kPageShift];
  }

  size_t size_ = 0;
  std::vector<uint32_t> pages_;  // per page: kZeros, kRun, or kFirstHeld + its place in held_
  std::vector<uint32_t> held_;
};

}  // namespace dudorazu
