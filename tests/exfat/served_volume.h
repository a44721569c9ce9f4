#pragma once
// Hand-made volumes on a scratch disk image, for the tests that load or scan
// them through a device (the fuzz targets keep to the bytes of test_volume.h).
#include "core/exfat/loaded_volume.h"
#include "exfat/test_volume.h"
#include "support/catalogued.h"
#include "support/temp_dir.h"

namespace dudorazu::test {

// A test volume written to a scratch disk image, ready to be loaded or scanned.
struct ServedVolume {
  explicit ServedVolume(const TestVolume& v) : partition(disk.partitions.emplace_back()) {
    writeFile(disk.devicePath = dir.file("volume.img"), v.bytes);
    disk.diskSize = v.bytes.size();
    partition.name = "Partition0";
    partition.sizeSectors = v.bytes.size() / 512;
    partition.typeCode = 5;
  }
  TempDir dir;
  DiskRecord disk;
  PartitionRecord& partition;
  LoadedVolume volume{partition};
  ProgressBlock progress;
};

// The first volume of an image file as the catalogue lists it, to load or scan.
struct CataloguedVolume {
  explicit CataloguedVolume(const std::string& path) : disk(catalogued(path)), partition(disk.partitions.front()) {}
  DiskRecord disk;
  PartitionRecord& partition;
  LoadedVolume volume{partition};
  ProgressBlock progress;
};

// The child of that name; ends the calling test when there is none.
inline const ExfatFileRecord* childNamed(const ExfatFileRecord& r, const std::string& name) {
  for (const ExfatFileRecord& c : r.children)
    if (c.name == name) return &c;
  require(false, "no record named " + name + " in " + r.name);
  return nullptr;
}

}  // namespace dudorazu::test
