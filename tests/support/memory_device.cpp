#include "support/memory_device.h"

#include <algorithm>
#include <cstring>

namespace dudorazu::test {

size_t MemoryDevice::readAt(uint64_t offset, void* buffer, size_t length) {
  if (offset >= bytes_.size()) return 0;
  size_t n = static_cast<size_t>(std::min<uint64_t>(length, bytes_.size() - offset));
  std::memcpy(buffer, bytes_.data() + offset, n);
  return n;
}

size_t MemoryDevice::writeAt(uint64_t offset, const void* buffer, size_t length) {
  if (offset >= bytes_.size()) return 0;
  size_t n = static_cast<size_t>(std::min<uint64_t>(length, bytes_.size() - offset));
  std::memcpy(bytes_.data() + offset, buffer, n);
  return n;
}

}  // namespace dudorazu::test
