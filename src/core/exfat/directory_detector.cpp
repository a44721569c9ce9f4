#include "core/exfat/directory_detector.h"

namespace dudorazu {
namespace {

// Types that may stand in each of the first four slots: 0x83/0x03 (label),
// 0x81 (bitmap) and 0x82 (up-case table) only where a root folder has them,
// file, stream and name entries in either form anywhere.
bool acceptedInSlot(int slot, uint8_t type) {
  switch (type) {
    case 0x85: case 0x05: case 0xC0: case 0x40: case 0xC1: case 0x41:
      return true;
    case 0x83: case 0x03:
      return slot == 0;
    case 0x81:
      return slot == 1;
    case 0x82:
      return slot == 2;
    default:
      return false;
  }
}

// A file entry is followed by its stream entry, a stream entry by a name.
bool followsRule(uint8_t first, uint8_t second) {
  switch (first) {
    case 0x85: return second == 0xC0;
    case 0x05: return second == 0x40;
    case 0xC0: return second == 0xC1;
    case 0x40: return second == 0x41;
    default: return true;
  }
}

}  // namespace

bool looksLikeDirectoryCluster(const uint8_t* cluster) {
  const uint8_t t[4] = {cluster[0], cluster[32], cluster[64], cluster[96]};
  for (int slot = 0; slot < 4; ++slot) {
    if (!acceptedInSlot(slot, t[slot])) return false;
  }
  return followsRule(t[0], t[1]) && followsRule(t[1], t[2]) && followsRule(t[2], t[3]);
}

}  // namespace dudorazu
