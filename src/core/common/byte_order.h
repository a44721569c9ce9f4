#pragma once
// Explicit little- and big-endian loads and stores at byte offsets. On-disk
// structures are decoded field by field with these, never by casting structs.
#include <cstddef>
#include <cstdint>

namespace dudorazu {

inline uint16_t le16(const uint8_t* p, size_t off = 0) {
  return static_cast<uint16_t>(p[off] | (p[off + 1] << 8));
}
inline uint32_t le32(const uint8_t* p, size_t off = 0) {
  return static_cast<uint32_t>(p[off]) | (static_cast<uint32_t>(p[off + 1]) << 8) |
         (static_cast<uint32_t>(p[off + 2]) << 16) | (static_cast<uint32_t>(p[off + 3]) << 24);
}
inline uint64_t le64(const uint8_t* p, size_t off = 0) {
  return static_cast<uint64_t>(le32(p, off)) | (static_cast<uint64_t>(le32(p, off + 4)) << 32);
}
inline uint16_t be16(const uint8_t* p, size_t off = 0) {
  return static_cast<uint16_t>((p[off] << 8) | p[off + 1]);
}
inline uint32_t be32(const uint8_t* p, size_t off = 0) {
  return (static_cast<uint32_t>(p[off]) << 24) | (static_cast<uint32_t>(p[off + 1]) << 16) |
         (static_cast<uint32_t>(p[off + 2]) << 8) | static_cast<uint32_t>(p[off + 3]);
}

inline void putLe16(uint8_t* p, size_t off, uint16_t v) {
  p[off] = static_cast<uint8_t>(v);
  p[off + 1] = static_cast<uint8_t>(v >> 8);
}
inline void putLe32(uint8_t* p, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void putLe64(uint8_t* p, size_t off, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void putBe16(uint8_t* p, size_t off, uint16_t v) {
  p[off] = static_cast<uint8_t>(v >> 8);
  p[off + 1] = static_cast<uint8_t>(v);
}
inline void putBe32(uint8_t* p, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[off + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

}  // namespace dudorazu
