#pragma once
// Buffers for bulk reads and writes, starting on a page.
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace dudorazu {

// A device read without the page cache (a FUSE file, a disk opened for
// direct access) splits a read whose buffer does not start on a page, so
// one block would cost two requests to a failing drive; and the kernel's
// copy out of the page cache runs at about two thirds of its speed into a
// buffer that is off by a few bytes, which is what a scan of a cached or
// sparse image spends its time on.
inline constexpr size_t kIoAlignment = 4096;
template <class T>
struct PageAligned {
  using value_type = T;
  PageAligned() = default;
  template <class U>
  PageAligned(const PageAligned<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t{kIoAlignment})); }
  void deallocate(T* p, size_t) { ::operator delete(p, std::align_val_t{kIoAlignment}); }
  friend bool operator==(const PageAligned&, const PageAligned&) { return true; }
};
using IoBuffer = std::vector<uint8_t, PageAligned<uint8_t>>;

}  // namespace dudorazu
