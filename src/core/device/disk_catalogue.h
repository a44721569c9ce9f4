#pragma once
// The process-wide ordered list of disks: drives first (by drive number),
// then image files in the order they were opened. It only grows.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/common/messages.h"
#include "core/device/disk_record.h"
#include "platform/drive_enumerator.h"

namespace dudorazu {

// A drive the enumeration found but could not open, with the system's
// error number (0 when the opener gave none) and what the system says of it
// without opening it (model, size), so it can be shown and opened later.
struct UnopenedDrive {
  std::string devicePath;
  int error = 0;
  DriveIdentity identity;
};

struct DiskCatalogue {
  std::deque<DiskRecord> disks;  // a deque: appending never moves a disk
  std::vector<UnopenedDrive> unopenedDrives;  // left out of `disks`, so the user can be told
};

// The catalogue the GUI shares between its windows.
DiskCatalogue& processCatalogue();

// First disk whose display name equals `name`; nullptr when none.
DiskRecord* findDisk(DiskCatalogue& catalogue, const std::string& name);

// Enumerates drives 0..15 through `enumerator`, discovers their partitions
// and maps drive letters (mount points). Drives that cannot be opened are
// left out and listed in catalogue.unopenedDrives; a drive whose identification fails is reported through
// `messages` (caption "Error") and dropped. Returns true always.
bool buildDiskCatalogue(DiskCatalogue& catalogue, DriveEnumerator& enumerator, MessageSink& messages);

// Catalogues the unopened drive at `devicePath` once it can be opened (as
// when the system granted access to it): appended as a drive after the disks
// already listed, its mount points mapped from `volumes`, and taken out of
// catalogue.unopenedDrives. nullptr when it is not listed there or still
// cannot be opened (errno tells why); nothing changes then.
DiskRecord* catalogueUnopenedDrive(DiskCatalogue& catalogue, const std::string& devicePath,
                                   const std::vector<MountedVolume>& volumes);

// Catalogues an image file (or a block device named by path) as one more
// disk. False when it cannot be opened; nothing is appended then.
bool openImageAsDisk(DiskCatalogue& catalogue, const std::string& path);

// Reads the disk's partition table again, as after a restore or a rebuild,
// and appends each partition it lists that the disk does not list yet (same
// start and size). Partitions already listed stay, since open windows may
// hold them; an appended one whose name is taken is named after its place in
// the list. Returns how many were appended (none when the disk cannot be
// opened).
size_t addPartitionsReadBack(DiskRecord& disk);

// One identification string of a storage descriptor: the zero-terminated
// text at `offset` of `descriptor` (`size` bytes), hex-decoded when it is
// hex, trimmed, empty when unprintable or when offset < 1.
std::string decodeDescriptorString(const uint8_t* descriptor, size_t size, uint32_t offset);

}  // namespace dudorazu
