// The LVM2 text metadata parser over arbitrary text. The first 32 bytes also
// serve as the label's physical-volume id, so the matching path is reached.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/device/disk_record.h"
#include "core/partitions/lvm_label.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  dudorazu::DiskRecord disk;
  disk.pvId = std::string(text.substr(0, 32));
  dudorazu::parseVolumeGroup(text, disk);
  dudorazu::extractBlock(text);
  dudorazu::getValue(text, "stripes");
  return 0;
}
