#pragma once
// A list that only grows, whose elements never move, and which other threads
// may read while one appends: the element is built first, then the new count
// is published, and readers see only the elements within the count they
// loaded. Appends take a lock among themselves; reads take none. Elements
// live in blocks of 16, 32, 64, ... that are never reallocated.
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <iterator>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace dudorazu {

template <typename T>
class AppendList {
 public:
  AppendList() = default;
  AppendList(const AppendList&) = delete;
  AppendList& operator=(const AppendList&) = delete;
  // Moving is for building a record before it is shared, never while
  // another thread reads or appends.
  AppendList(AppendList&& other) noexcept { take(other); }
  AppendList& operator=(AppendList&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  ~AppendList() { release(); }

  template <typename... Args>
  T& emplace_back(Args&&... args) {
    std::lock_guard<std::mutex> lock(appendMutex_);
    const size_t index = size_.load(std::memory_order_relaxed);
    const Place at = place(index);
    T*& block = blocks_[at.block];
    if (!block) block = std::allocator<T>().allocate(blockSize(at.block));
    T* element = std::construct_at(block + at.offset, std::forward<Args>(args)...);
    size_.store(index + 1, std::memory_order_release);
    return *element;
  }
  void push_back(T&& value) { emplace_back(std::move(value)); }
  void push_back(const T& value) { emplace_back(value); }

  size_t size() const { return size_.load(std::memory_order_acquire); }
  bool empty() const { return size() == 0; }
  T& operator[](size_t i) { return element(i); }
  const T& operator[](size_t i) const { return element(i); }
  T& at(size_t i) { return i < size() ? element(i) : throw std::out_of_range("AppendList::at"); }
  const T& at(size_t i) const { return i < size() ? element(i) : throw std::out_of_range("AppendList::at"); }
  T& front() { return element(0); }
  const T& front() const { return element(0); }
  T& back() { return element(size() - 1); }
  const T& back() const { return element(size() - 1); }

  // Walks the elements published when end() was asked for (a range-for asks
  // once, before the first element).
  template <typename List, typename Value>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = Value*;
    using reference = Value&;
    Iterator() = default;
    Iterator(List* list, size_t index) : list_(list), index_(index) {}
    reference operator*() const { return (*list_)[index_]; }
    pointer operator->() const { return &(*list_)[index_]; }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++index_;
      return before;
    }
    bool operator==(const Iterator& o) const { return index_ == o.index_; }

   private:
    List* list_ = nullptr;
    size_t index_ = 0;
  };
  using iterator = Iterator<AppendList, T>;
  using const_iterator = Iterator<const AppendList, const T>;
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size()}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

 private:
  static constexpr size_t kFirstBlockBits = 4;
  static constexpr size_t kBlocks = 48;

  struct Place {
    size_t block;
    size_t offset;
  };
  static size_t blockSize(size_t block) { return size_t{1} << (kFirstBlockBits + block); }
  // Block b holds the elements from 16 * (2^b - 1) on.
  static Place place(size_t index) {
    const size_t shifted = index + (size_t{1} << kFirstBlockBits);
    const size_t block = static_cast<size_t>(std::bit_width(shifted)) - 1 - kFirstBlockBits;
    return {block, shifted - blockSize(block)};
  }
  T& element(size_t i) const {
    const Place at = place(i);
    return blocks_[at.block][at.offset];
  }

  void take(AppendList& o) {
    blocks_ = o.blocks_;
    size_.store(o.size_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    o.blocks_.fill(nullptr);
    o.size_.store(0, std::memory_order_relaxed);
  }
  void release() {
    const size_t count = size_.load(std::memory_order_relaxed);
    for (size_t i = 0; i < count; ++i) std::destroy_at(&element(i));
    for (size_t b = 0; b < kBlocks; ++b)
      if (blocks_[b]) std::allocator<T>().deallocate(blocks_[b], blockSize(b));
    blocks_.fill(nullptr);
    size_.store(0, std::memory_order_relaxed);
  }

  std::array<T*, kBlocks> blocks_{};
  std::atomic<size_t> size_{0};
  std::mutex appendMutex_;
};

}  // namespace dudorazu
