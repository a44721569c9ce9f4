// Loads the folder tree and runs the lost-file scan over a mutated small
// exFAT volume. An input is either a whole image (it starts with "RAW!") or a
// list of patches over a built-in volume that already has every structure
// the reader knows: a root chain, contiguous, FAT-chained and deleted
// folders, long names, a JPEG, an OLE2 header and a folder cluster that no
// entry reaches. Patches let the fuzzer spend its mutations on structure.
#include <cstdint>
#include <cstring>
#include <string>

#include "../tests/exfat/test_volume.h"
#include "platform/sector_device.h"
#include "core/exfat/lost_file_scan.h"
#include "core/exfat/tree_loader.h"
#include "core/recovery/assess_recoverability.h"
#include "support/device_opener.h"
#include "support/memory_device.h"

namespace {

using namespace dudorazu;

std::string g_image;

std::string baseImage() {
  test::TestVolume v(2, 40);  // 1 KiB clusters
  v.chain({4, 9});
  v.putSet({4, 9}, 0, test::folderSet("contiguous", 10, 2048 + 1));
  v.putSet({4, 9}, 3, test::folderSet("chained", 12, 0, 1));
  v.putSet({4, 9}, 6, test::deleted(test::folderSet("deleted", 16, 1024)));
  v.putSet({4, 9}, 9, test::fileSet("a-name-of-twenty-unit", 30, 5ull << 32));
  v.putSet({4, 9}, 29, test::fileSet("crossing-into-nine😀", 31, 100));
  v.chain({12, 14, 13});
  v.putSet({10, 11}, 0, test::fileSet("in-ten"));
  v.putSet({10, 11}, 31, test::folderSet("nested", 18, 1024));
  v.putSet({18}, 0, test::fileSet("deep"));
  v.putSet({12, 14, 13}, 0, test::fileSet("twelve"));
  v.putSet({12, 14, 13}, 40, test::fileSet("thirteen"));
  v.putSet({16}, 0, test::deleted(test::fileSet("gone")));
  const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 0xFF, 0xD9};
  std::memcpy(v.cluster(20), jpeg, sizeof jpeg);
  uint8_t* ole = v.cluster(22);
  const uint8_t magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(ole, magic, 8);
  putLe32(ole, 44, 1);
  putLe32(ole, 48, 0);
  const uint8_t name[8] = {5, 0, 'S', 0, 'u', 0, 'm', 0};
  std::memcpy(ole + 512, name, 8);
  putLe32(ole + 512, 116, 1);
  putLe32(ole + 1024, 52, 1);
  putLe32(ole + 1024, 56, 2);
  putLe32(ole + 1024, 60, 16);
  putLe32(ole + 1024, 48 + 16 + 4, 4);
  std::memcpy(ole + 1024 + 48 + 16 + 8, "Doc", 3);
  v.putSet({25}, 0, test::fileSet("orphan-a"));
  v.putSet({25}, 3, test::folderSet("orphan-sub", 26, 1024));
  v.putSet({26}, 0, test::fileSet("orphan-b"));
  return v.bytes;
}

const std::string& base() {
  static const std::string image = baseImage();
  return image;
}

// Patches: [u16 position in 16-byte units][u8 length][bytes]...
std::string patched(const uint8_t* data, size_t size) {
  std::string image = base();
  size_t i = 0;
  while (i + 3 <= size) {
    size_t at = static_cast<size_t>(data[i] | (data[i + 1] << 8)) * 16 % image.size();
    size_t n = data[i + 2];
    i += 3;
    n = std::min({n, size - i, image.size() - at});
    std::memcpy(image.data() + at, data + i, n);
    i += n;
  }
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  test::setDeviceOpener([](const std::string&, OpenMode) { return std::make_unique<test::MemoryDevice>(g_image); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 4 && std::memcmp(data, "RAW!", 4) == 0) {
    if (size > (1u << 20)) return 0;
    g_image.assign(reinterpret_cast<const char*>(data) + 4, size - 4);
  } else {
    g_image = patched(data, size);
  }
  DiskRecord disk;
  disk.devicePath = "fuzz";
  PartitionRecord partition;
  partition.startSector = 0;
  partition.sizeSectors = g_image.size() / 512;
  partition.typeCode = 5;
  LoadedVolume volume(partition);
  ProgressBlock progress;
  // Every record's state is judged from what each step left, as the
  // programs do; an area of the image taken as unreadable goes through the
  // counting as well.
  volume.unreadableGiven = {*ByteRange::of(g_image.size() / 3, 4096)};
  loadVolumeTree(disk, volume, progress);
  assessRecoverability(volume);
  // The scan on a table partition reads the boot sector again; a found one
  // uses the geometry the load left, without a FAT.
  scanLostFiles(disk, volume, progress);
  assessRecoverability(volume);
  partition.searchKind = 2;
  scanLostFiles(disk, volume, progress);
  assessRecoverability(volume);
  volume.emptyResults();
  return 0;
}
