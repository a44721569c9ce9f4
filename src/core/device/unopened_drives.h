#pragma once
// What the user is told about drives the catalogue left out because they
// could not be opened: how many, why, and how to start with the rights to
// read them. Both front ends show these notes.
#include <string>
#include <vector>

#include "core/device/disk_catalogue.h"

namespace dudorazu {

// "/dev/sda (Permission denied), /dev/sdb (not a disk)".
std::string unopenedDrivesList(const std::vector<UnopenedDrive>& drives);
// Whether any drive was refused for want of rights.
bool unopenedForWantOfRights(const std::vector<UnopenedDrive>& drives);

// Why a drive did not open, in the desktop program's words ("没有权限").
std::string unopenedReasonText(int error);

// The command line's note; empty when no drive was left out. The hint to
// run as root is left out for a user who is root already.
std::string unopenedDrivesNote(const std::vector<UnopenedDrive>& drives, bool asRoot);
// The desktop program's note, in its language. Where the system can be asked
// for a drive (`canAskSystem`), the note points at the list of drives to
// double-click instead of a restart as root.
std::string unopenedDrivesDesktopNote(const std::vector<UnopenedDrive>& drives, bool asRoot,
                                      bool canAskSystem = false);

}  // namespace dudorazu
