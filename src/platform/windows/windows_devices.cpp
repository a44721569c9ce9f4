// Windows answers about drives: the enumerator, administrator rights and
// whether a drive holds a volume Windows is using.
#include <windows.h>

#include "platform/devices.h"
#include "platform/windows/windows_drive_enumerator.h"
#include "platform/windows/windows_paths.h"

namespace dudorazu::platform {

std::unique_ptr<DriveEnumerator> makeDriveEnumerator() {
  return std::make_unique<WindowsDriveEnumerator>(makeWin32DriveQueries());
}

bool runsAsAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &administrators))
    return false;
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != FALSE;
}

bool isPhysicalDrivePath(const std::string& path) { return physicalDriveNumber(path) >= 0; }

bool diskInUse(const std::string& path) {
  // An image file is in use only when attached as a virtual disk with a
  // mounted volume; such disks are listed as drives and checked there.
  int number = physicalDriveNumber(path);
  if (number < 0) return false;
  return WindowsDriveEnumerator(makeWin32DriveQueries()).driveInUse(number);
}

}  // namespace dudorazu::platform
