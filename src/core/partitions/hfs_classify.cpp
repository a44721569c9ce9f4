// Which member of the HFS family a volume header belongs to.
#include "core/common/byte_order.h"
#include "core/partitions/fs_probes.h"

namespace dudorazu {

uint32_t classifyHfs(const uint8_t* header) {
  constexpr uint16_t kHfs = 0x4244;      // "BD"
  constexpr uint16_t kHfsPlus = 0x482B;  // "H+"
  constexpr uint16_t kHfsx = 0x4858;     // "HX"
  switch (be16(header, 0)) {
    case kHfs: {
      uint16_t embedded = be16(header, 0x7C);
      if (embedded == 0) return 1;
      return embedded == kHfsPlus ? 4 : 0;
    }
    case kHfsPlus: return 2;
    case kHfsx: return 3;
    default: return 0;
  }
}

}  // namespace dudorazu
