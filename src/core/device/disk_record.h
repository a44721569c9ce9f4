#pragma once
// One physical drive or opened image file with its partitions.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/common/append_list.h"
#include "core/partitions/partition_record.h"

namespace dudorazu {

struct LvSegment {
  uint32_t startExtent = 0;
  uint32_t extentCount = 0;
  uint32_t stripeCount = 0;
  std::string pvName;
  std::string pvId;
  uint64_t pvStartExtent = 0;
};

struct LogicalVolume {
  std::string name;
  uint64_t sizeSectors = 0;
  std::string fileSystem = "EXT";
  std::vector<LvSegment> segments;
};

struct DiskRecord {
  std::string devicePath;
  std::string driveNumber;  // "0".."15" for drives, empty for images
  std::string productId;
  std::string vendorId;     // an image's file name
  std::string productRevision;
  uint64_t diskSize = 0;
  uint32_t cylinders = 0;
  uint32_t tracksPerCylinder = 0;
  uint32_t sectorsPerTrack = 0;
  uint32_t isFixedMedia = 0;
  // Appending (the partition search on a worker, regions) never moves the
  // records that readers and workers point at, and the window thread may
  // walk the list while a search appends to it.
  AppendList<PartitionRecord> partitions;
  uint32_t mapEntryCount = 0;
  uint32_t bytesPerSector = 512;
  // LVM2 physical volume
  std::string pvId;
  std::string vgId;
  uint32_t extentSize = 0;
  uint64_t devSize = 0;
  uint64_t peStart = 0;
  uint32_t peCount = 0;
  std::vector<LogicalVolume> logicalVolumes;
};

// vendorId + productId + driveNumber + productRevision, no separator.
inline std::string displayName(const DiskRecord& d) {
  return d.vendorId + d.productId + d.driveNumber + d.productRevision;
}

// A physical drive (as opposed to an image file opened in place of one).
bool isPhysicalDrive(const DiskRecord& d);

// True when the table puts some of the partition past the disk's end (a
// damaged or foreign entry); reads of it stop at the end.
inline bool beyondDiskEnd(const DiskRecord& d, const PartitionRecord& p) {
  if (d.diskSize == 0) return false;
  std::optional<ByteRange> claimed = p.claimedBytes();
  return !claimed || claimed->start() >= d.diskSize || claimed->end() > d.diskSize;
}

// First partition whose name, else whose drive letter, equals `text`.
inline PartitionRecord* findPartition(DiskRecord& disk, const std::string& text) {
  for (PartitionRecord& p : disk.partitions)
    if (p.name == text) return &p;
  for (PartitionRecord& p : disk.partitions)
    if (!p.driveLetter.empty() && p.driveLetter == text) return &p;
  return nullptr;
}

}  // namespace dudorazu
