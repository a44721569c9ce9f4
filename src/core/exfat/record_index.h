#pragma once
// Records by a cluster number (their first cluster, or where a carve starts),
// several under one number in the order they were entered. Not owning.
//
// A load enters every record it decodes, a million on a backup drive, and
// looks them up seldom: an entry is appended (16 bytes, in blocks that never
// move, where a tree node cost 64 with its allocation), and the entries are
// put in order on the first lookup after an insertion. Lookups therefore
// belong to the owner of the volume, as the insertions do, never to two
// threads at once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>

namespace dudorazu {

struct ExfatFileRecord;

class RecordIndex {
 public:
  using Entry = std::pair<uint32_t, ExfatFileRecord*>;
  using const_iterator = std::deque<Entry>::const_iterator;

  void insert(const Entry& entry) {
    if (!entries_.empty() && entry.first < entries_.back().first) sorted_ = false;
    entries_.push_back(entry);
  }
  void emplace(uint32_t cluster, ExfatFileRecord* record) { insert({cluster, record}); }
  void clear() {
    entries_.clear();
    entries_.shrink_to_fit();
    sorted_ = true;
  }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  std::pair<const_iterator, const_iterator> equal_range(uint32_t cluster) const {
    sort();
    auto less = [](const Entry& a, const Entry& b) { return a.first < b.first; };
    return std::equal_range(entries_.cbegin(), entries_.cend(), Entry{cluster, nullptr}, less);
  }
  size_t count(uint32_t cluster) const {
    auto [from, to] = equal_range(cluster);
    return static_cast<size_t>(to - from);
  }
  const_iterator find(uint32_t cluster) const {
    auto [from, to] = equal_range(cluster);
    return from == to ? entries_.cend() : from;
  }
  const_iterator begin() const {
    sort();
    return entries_.cbegin();
  }
  const_iterator end() const { return entries_.cend(); }

 private:
  // Stable: records under one number keep the order they were entered in.
  void sort() const {
    if (sorted_) return;
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.first < b.first; });
    sorted_ = true;
  }

  mutable std::deque<Entry> entries_;
  mutable bool sorted_ = true;
};

}  // namespace dudorazu
