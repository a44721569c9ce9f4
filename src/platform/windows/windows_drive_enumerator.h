#pragma once
// Drives \\.\PhysicalDrive0..15 and the drive letters on them. What is asked
// of Windows sits behind DriveQueries, so tests hand in a fake machine.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/drive_enumerator.h"

namespace dudorazu::platform {

class DriveQueries {
 public:
  // A volume with a drive letter ("E:") and the pieces of disks it covers.
  struct Piece {
    unsigned long diskNumber = 0;
    unsigned long long startingOffset = 0;  // bytes
  };
  struct Volume {
    std::string letter;
    std::vector<Piece> pieces;
  };

  virtual ~DriveQueries() = default;
  // The identity of drive `number`; nullopt when there is no such drive.
  virtual std::optional<DriveIdentity> drive(int number) = 0;
  virtual std::vector<Volume> volumes() = 0;
  // The letter of the volume holding the Windows folder ("C:").
  virtual std::string systemLetter() = 0;
};

class WindowsDriveEnumerator : public DriveEnumerator {
 public:
  explicit WindowsDriveEnumerator(std::unique_ptr<DriveQueries> queries) : queries_(std::move(queries)) {}
  std::vector<DriveIdentity> listDrives() override;
  // One entry per piece of a lettered volume, on the drive it lies on.
  std::vector<MountedVolume> listMountedVolumes() override;
  // True when drive `number` holds a piece of a lettered volume, the
  // system's own among them.
  bool driveInUse(int number);

 private:
  std::unique_ptr<DriveQueries> queries_;
};

std::unique_ptr<DriveQueries> makeWin32DriveQueries();

}  // namespace dudorazu::platform
