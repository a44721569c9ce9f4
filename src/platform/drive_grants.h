#pragma once
// Descriptors of drives that a system service opened on this process's
// behalf, for a user who may not open the drive itself. Every operation
// opens its own device by path; when the system refuses that open for want
// of rights, openSectorDevice works on a duplicate of the descriptor granted
// for the path instead, so nothing above the device knows the difference.
#include <string>

#include "platform/sector_device.h"

namespace dudorazu::platform {

// Keeps `fd` (owned from now on) as the grant for `path` in `mode` (Read or
// ReadWrite; CreateWrite is never granted and closes `fd`). A grant of the
// same kind for the path replaces the earlier one. A descriptor that was not
// opened for writing is kept as a read grant whatever `mode` says.
void grantDriveDescriptor(const std::string& path, int fd, OpenMode mode);
// The same for a descriptor that stays the caller's (one a message carried
// and closes): a duplicate is kept. False when none could be made.
bool grantDriveDescriptorCopy(const std::string& path, int fd, OpenMode mode);

// Whether a grant is held for `path`; `writable` tells whether one of them
// serves writes.
bool hasDriveGrant(const std::string& path, bool* writable = nullptr);

// A new descriptor (close-on-exec) for the grant of `path` that serves
// `mode`: a read grant never serves a write. -1 when none does, with errno
// left as it was, so the caller's refusal still says why.
int duplicateGrantedDescriptor(const std::string& path, OpenMode mode);

// Closes every grant (tests, and a program that forgets a drive).
void dropDriveGrants();

}  // namespace dudorazu::platform
