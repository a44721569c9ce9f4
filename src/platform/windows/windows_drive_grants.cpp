// Windows has no service that hands out drive handles to a user without
// rights: a drive is opened by an elevated program or not at all, so no
// grant is ever kept.
#include "platform/drive_grants.h"

namespace dudorazu::platform {

void grantDriveDescriptor(const std::string&, int, OpenMode) {}

bool grantDriveDescriptorCopy(const std::string&, int, OpenMode) { return false; }

bool hasDriveGrant(const std::string&, bool* writable) {
  if (writable) *writable = false;
  return false;
}

int duplicateGrantedDescriptor(const std::string&, OpenMode) { return -1; }

void dropDriveGrants() {}

}  // namespace dudorazu::platform
