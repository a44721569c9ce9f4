#pragma once
// Drives from sysfs and mount points from mountinfo. The roots are
// parameters so tests can hand in a fake tree.
#include <string>

#include "platform/drive_enumerator.h"

namespace dudorazu::platform {

class SysfsDriveEnumerator : public DriveEnumerator {
 public:
  SysfsDriveEnumerator(std::string sysRoot, std::string devRoot, std::string mountinfoPath);

  // Whole-disk block devices (sd, hd, vd, xvd, nvme, mmcblk, and loop
  // devices with a backing file) in a stable order, numbered 0..15.
  std::vector<DriveIdentity> listDrives() override;
  // Mounted block devices that lie on a disk, with their start sector there;
  // the first mount of a device in mountinfo counts.
  std::vector<MountedVolume> listMountedVolumes() override;

 private:
  std::string sysRoot_;
  std::string devRoot_;
  std::string mountinfoPath_;
};

// Undoes the octal escapes of mountinfo fields ("\040" for a space).
std::string unescapeMountField(const std::string& field);

}  // namespace dudorazu::platform
