// The process-wide list of disks: the machine's drives, then image files.
#include "core/device/disk_catalogue.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/common/byte_range.h"
#include "core/device/open_device.h"
#include "core/partitions/partition_table.h"
#include "platform/devices.h"

namespace dudorazu {
namespace {

constexpr uint32_t kDefaultHeads = 255;
constexpr uint32_t kDefaultSectorsPerTrack = 63;

uint32_t cylindersOf(uint64_t bytes) {
  return static_cast<uint32_t>(bytes / kSectorSize / kDefaultHeads / kDefaultSectorsPerTrack);
}

// Identification strings from the system go through the same trimming and
// hex rules as a storage descriptor's.
std::string identificationText(const std::string& raw) {
  std::string descriptor(1, '\0');
  descriptor += raw;
  descriptor.push_back('\0');
  return decodeDescriptorString(reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size(), 1);
}

// The file name: while a separator stands after the first character, drop
// everything up to and including the first separator.
std::string fileNameOf(std::string path) {
  auto separatorAfterFirst = [&] { return path.find_first_of("\\/", 1) != std::string::npos; };
  while (separatorAfterFirst()) path.erase(0, path.find_first_of("\\/") + 1);
  return path;
}

void mapMountPoints(DiskCatalogue& catalogue, const std::vector<MountedVolume>& volumes) {
  for (const MountedVolume& v : volumes) {
    for (DiskRecord& disk : catalogue.disks) {
      if (disk.driveNumber.empty() || disk.devicePath != v.diskDevicePath) continue;
      // Every record that starts there gets the mount point, not just the first.
      for (PartitionRecord& p : disk.partitions)
        if (checkedProduct(v.startSector, kSectorSize) == p.startOffset()) p.driveLetter = v.mountPoint;
      break;
    }
  }
}

}  // namespace

DiskCatalogue& processCatalogue() {
  static DiskCatalogue catalogue;
  return catalogue;
}

bool isPhysicalDrive(const DiskRecord& d) { return platform::isPhysicalDrivePath(d.devicePath); }

DiskRecord* findDisk(DiskCatalogue& catalogue, const std::string& name) {
  for (DiskRecord& d : catalogue.disks)
    if (displayName(d) == name) return &d;
  return nullptr;
}

namespace {

DiskRecord driveRecord(const DriveIdentity& drive, SectorDevice& device) {
  DiskRecord disk;
  disk.vendorId = identificationText(drive.vendor);
  disk.productId = identificationText(drive.product);
  disk.productRevision = identificationText(drive.revision);
  disk.driveNumber = std::to_string(drive.number);
  disk.devicePath = drive.devicePath;
  discoverPartitions(device, disk);
  disk.diskSize = drive.sizeBytes != 0 ? drive.sizeBytes : device.size();
  disk.isFixedMedia = drive.removable ? 0 : 1;
  disk.tracksPerCylinder = drive.geometryKnown ? drive.heads : kDefaultHeads;
  disk.sectorsPerTrack = drive.geometryKnown ? drive.sectorsPerTrack : kDefaultSectorsPerTrack;
  disk.cylinders = drive.geometryKnown ? drive.cylinders : cylindersOf(disk.diskSize);
  return disk;
}

}  // namespace

bool buildDiskCatalogue(DiskCatalogue& catalogue, DriveEnumerator& enumerator, MessageSink& messages) {
  for (const DriveIdentity& drive : enumerator.listDrives()) {
    errno = 0;
    auto device = openDevice(drive.devicePath, OpenMode::Read);
    if (!device) {
      catalogue.unopenedDrives.push_back({drive.devicePath, errno, drive});
      continue;
    }
    if (!drive.identified) {
      messages.show(drive.errorText, kCaptionSystemError);
      continue;
    }
    catalogue.disks.push_back(driveRecord(drive, *device));
  }
  mapMountPoints(catalogue, enumerator.listMountedVolumes());
  return true;
}

DiskRecord* catalogueUnopenedDrive(DiskCatalogue& catalogue, const std::string& devicePath,
                                   const std::vector<MountedVolume>& volumes) {
  auto unopened = std::find_if(catalogue.unopenedDrives.begin(), catalogue.unopenedDrives.end(),
                               [&](const UnopenedDrive& d) { return d.devicePath == devicePath; });
  if (unopened == catalogue.unopenedDrives.end()) {
    errno = ENOENT;
    return nullptr;
  }
  errno = 0;
  auto device = openDevice(devicePath, OpenMode::Read);
  if (!device) return nullptr;
  // The user asked for this drive by name: an identification the system
  // could not read leaves its texts empty rather than the drive unlisted.
  catalogue.disks.push_back(driveRecord(unopened->identity, *device));
  catalogue.unopenedDrives.erase(unopened);
  mapMountPoints(catalogue, volumes);
  return &catalogue.disks.back();
}

size_t addPartitionsReadBack(DiskRecord& disk) {
  auto device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) return 0;
  DiskRecord now;
  now.devicePath = disk.devicePath;
  discoverPartitions(*device, now);
  auto listed = [&disk](auto same) {
    for (size_t i = 0; i < disk.partitions.size(); ++i)
      if (same(disk.partitions[i])) return true;
    return false;
  };
  size_t added = 0;
  for (size_t i = 0; i < now.partitions.size(); ++i) {
    PartitionRecord& p = now.partitions[i];
    if (listed([&p](const PartitionRecord& q) {
          return q.startOffset() == p.startOffset() && q.sizeBytes() == p.sizeBytes();
        }))
      continue;
    for (size_t n = disk.partitions.size(); listed([&p](const PartitionRecord& q) { return q.name == p.name; }); ++n)
      p.name = "Partition" + std::to_string(n);
    disk.partitions.push_back(std::move(p));
    ++added;
  }
  return added;
}

bool openImageAsDisk(DiskCatalogue& catalogue, const std::string& path) {
  auto device = openDevice(path, OpenMode::Read);
  if (!device) return false;
  DiskRecord disk;
  disk.devicePath = path;
  disk.vendorId = fileNameOf(path);
  discoverPartitions(*device, disk);
  disk.diskSize = device->size();
  disk.cylinders = cylindersOf(disk.diskSize);
  disk.tracksPerCylinder = kDefaultHeads;
  disk.sectorsPerTrack = kDefaultSectorsPerTrack;
  catalogue.disks.push_back(std::move(disk));
  return true;
}

}  // namespace dudorazu
