// Partition discovery over arbitrary disk images of up to 64 KiB: MBR, EBR
// chains, GPT, whole-disk volumes, Apple maps, HFS and LVM2 labels.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/device/disk_record.h"
#include "platform/sector_device.h"
#include "core/partitions/partition_table.h"
#include "support/memory_device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kMaxImage = 64 * 1024;
  if (size > kMaxImage) size = kMaxImage;
  dudorazu::test::MemoryDevice device(std::string(reinterpret_cast<const char*>(data), size));
  dudorazu::DiskRecord disk;
  disk.devicePath = "fuzz.img";
  dudorazu::discoverPartitions(device, disk);
  return 0;
}
