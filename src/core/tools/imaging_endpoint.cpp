#include "core/tools/imaging_endpoint.h"

#include <algorithm>

#include "core/device/sector_device.h"
#include "core/tools/partition_search.h"

namespace dudorazu {
namespace {

struct SplitText {
  std::string disk;
  std::string partition;
  bool hasPartition = false;
};

SplitText splitEndpoint(const std::string& text) {
  size_t comma = text.find(',');
  if (comma == std::string::npos || comma == 0) return {text, {}, false};
  return {text.substr(0, comma), text.substr(comma + 1), true};
}

}  // namespace

ImagingEndpoint endpointFor(const DiskRecord& disk, const PartitionRecord* partition) {
  ImagingEndpoint e;
  e.diskFound = true;
  e.devicePath = disk.devicePath;
  if (!partition) {
    e.diskSize = disk.diskSize;
    return e;
  }
  e.isPartition = true;
  e.partitionFound = true;
  e.startOffset = partition->startOffset();
  e.length = partition->sizeBytes();
  // Nothing past the disk's end is read: the range is cut there, and the
  // caller is told.
  if (disk.diskSize != 0 && e.length > disk.diskSize - std::min(e.startOffset, disk.diskSize)) {
    e.claimedLength = e.length;
    e.length = disk.diskSize - std::min(e.startOffset, disk.diskSize);
  }
  return e;
}

ImagingEndpoint resolveEndpoint(DiskCatalogue& catalogue, const std::string& text) {
  SplitText split = splitEndpoint(text);
  DiskRecord* disk = findDisk(catalogue, split.disk);
  if (!disk) return {};
  if (!split.hasPartition) return endpointFor(*disk);
  if (PartitionRecord* p = findPartitionOrFoundVolume(*disk, split.partition)) return endpointFor(*disk, p);
  ImagingEndpoint e;
  e.diskFound = true;
  e.isPartition = true;
  e.devicePath = disk->devicePath;
  return e;
}

uint64_t endpointSizeSectors(DiskCatalogue& catalogue, const std::string& text) {
  SplitText split = splitEndpoint(text);
  DiskRecord* disk = findDisk(catalogue, split.disk);
  if (!disk) return 0;
  if (!split.hasPartition) return disk->diskSize / kSectorSize;
  PartitionRecord* p = findPartitionOrFoundVolume(*disk, split.partition);
  return p ? endpointFor(*disk, p).length / kSectorSize : 0;
}

}  // namespace dudorazu
