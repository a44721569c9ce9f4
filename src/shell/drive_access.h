#pragma once
// Drives this user may not open, opened for them by the system's disk
// service (UDisks2 on the system bus): the service asks polkit, which may
// ask the user for a password, and hands back a descriptor that the platform
// keeps as the drive's grant. Every later open of the drive's path by any
// operation is then served from that grant.
#include <QString>
#include <functional>
#include <string>

#include "platform/sector_device.h"

class QObject;
class QWidget;

namespace dudorazu {
struct DiskCatalogue;
}

namespace dudorazu::shell {

class DiskWindow;
class UserDialogs;

enum class DriveAccess {
  Granted,    // the grant is kept for the path
  Refused,    // the service or the user said no
  NoService,  // no system bus, or no disk service on it
};

// The service's object for the block device at `devicePath`: its file name
// with every byte outside [A-Za-z0-9_] written as _ and two hex digits.
QString blockObjectPath(const std::string& devicePath);

// Test hook: the service is looked for on the bus at `address` from now on;
// an empty address goes back to the system bus.
void setDriveServiceBus(const QString& address);

// Whether the service is there to be asked: on the bus, or startable by it.
// Asks only the bus itself, which answers at once.
bool driveServiceAvailable();

// Asks the service for `devicePath` in `mode` (Read or ReadWrite) and
// returns at once: a password prompt may take minutes. `done` runs on the
// thread of `context` with the service's answer (and on a refusal, why, in
// the program's words), unless `context` has gone by then.
void requestDriveAccess(const std::string& devicePath, OpenMode mode, QObject* context,
                        std::function<void(DriveAccess, const QString& detail)> done);

// The drive `devicePath` left out of the catalogue, asked for read-only and,
// once granted, catalogued and shown in `window` with its partitions. A
// refusal, a missing service or a drive that still does not open is told
// through `dialogs`.
void openUnopenedDrive(DiskWindow& window, DiskCatalogue& catalogue, UserDialogs& dialogs,
                       const std::string& devicePath);

// For a tool about to write to `devicePath`, after the user agreed: `write`
// runs at once unless the drive was opened through a read grant; then a
// write grant is asked for first, and `write` runs once it is given (the
// refusal is told instead).
void withWriteAccess(const std::string& devicePath, UserDialogs& dialogs, QWidget* parent,
                     std::function<void()> write);

}  // namespace dudorazu::shell
