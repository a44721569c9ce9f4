#pragma once
// What the catalogue needs to know about the machine's drives. The Linux
// backend reads sysfs and mountinfo; tests hand in a fake tree.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dudorazu {

struct DriveIdentity {
  int number = 0;             // 0..15, stable order
  std::string devicePath;     // e.g. /dev/sda
  bool identified = false;    // false: the identification could not be read
  std::string errorText;      // the system's text when not identified
  std::string vendor, product, revision;  // raw, decoded and trimmed by the catalogue
  uint64_t sizeBytes = 0;     // 0 when unknown
  bool geometryKnown = false;
  uint32_t cylinders = 0, heads = 255, sectorsPerTrack = 63;
  bool removable = false;
};

// A mounted block device: the disk it lies on and its start sector there.
struct MountedVolume {
  std::string mountPoint;
  std::string diskDevicePath;  // the whole disk, e.g. /dev/sda
  uint64_t startSector = 0;
};

class DriveEnumerator {
 public:
  virtual ~DriveEnumerator() = default;
  virtual std::vector<DriveIdentity> listDrives() = 0;
  virtual std::vector<MountedVolume> listMountedVolumes() = 0;
};

}  // namespace dudorazu
