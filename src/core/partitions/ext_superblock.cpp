// EXT2/3/4 superblock: recognition, version, size and volume name.
#include <cstring>

#include "core/common/byte_order.h"
#include "core/partitions/fs_probes.h"

namespace dudorazu {
namespace {

// The block size as the probe computes it: 32 bits, shift taken modulo 32,
// so a hostile log value can neither overflow a shift nor pass as non-zero.
uint32_t extBlockSize(const uint8_t* sb) { return 0x400u << (le32(sb, 0x18) & 31); }

}  // namespace

bool isExtSuperblock(const uint8_t* sb) {
  if (le16(sb, 0x38) != 0xEF53) return false;
  if (le32(sb, 0x48) != 0) return false;
  if (le16(sb, 0x58) < 128) return false;
  if (extBlockSize(sb) == 0) return false;
  uint32_t blocksPerGroup = le32(sb, 0x20);
  if (blocksPerGroup == 0 || le32(sb, 0x28) == 0 || le32(sb, 0x2C) == 0 || le32(sb, 0x30) == 0) return false;
  if (le32(sb, 0x10) >= le32(sb, 0x00)) return false;
  uint64_t blocks = (static_cast<uint64_t>(le32(sb, 0x150)) << 32) | le32(sb, 0x04);
  uint64_t freeBlocks = (static_cast<uint64_t>(le32(sb, 0x158)) << 32) | le32(sb, 0x0C);
  return freeBlocks < blocks && le32(sb, 0x14) < blocks && blocksPerGroup < blocks;
}

std::string extVersionOf(const uint8_t* sb) {
  bool hasJournal = (le32(sb, 0x5C) & 0x4) != 0;
  bool extents = (le32(sb, 0x60) & 0x40) != 0;
  if (!hasJournal) return "EXT2";
  return extents ? "EXT4" : "EXT3";
}

uint64_t extSizeSectors(const uint8_t* sb, uint32_t bytesPerSector) {
  if (bytesPerSector == 0) return 0;
  return static_cast<uint64_t>(extBlockSize(sb)) * le32(sb, 0x04) / bytesPerSector;
}

std::string extVolumeName(const uint8_t* sb) {
  const char* name = reinterpret_cast<const char*>(sb + 0x78);
  return std::string(name, strnlen(name, 16));
}

}  // namespace dudorazu
