// Placeholder until the sysfs enumerator lands.
#include "platform/platform.h"

namespace dudorazu::platform {
namespace {
class NoDrives : public DriveEnumerator {
 public:
  std::vector<DriveIdentity> listDrives() override { return {}; }
  std::vector<MountedVolume> listMountedVolumes() override { return {}; }
};
}  // namespace

std::unique_ptr<DriveEnumerator> makeDriveEnumerator() { return std::make_unique<NoDrives>(); }

}  // namespace dudorazu::platform
