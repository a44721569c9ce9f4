#pragma once
// The one door through which the core opens a drive or an image file.
//
// Declared here and defined per program rather than in a core library: the
// programs link open_device.cpp, which asks the platform; test programs and
// fuzz targets link their own (tests/support/device_opener.cpp), which can
// serve memory images or inject faults. So no test hook lives in the
// programs, and a program that links neither does not link at all.
#include <memory>
#include <string>

#include "platform/sector_device.h"

namespace dudorazu {

// Opens a device path or image file; nullptr when it cannot be opened.
std::unique_ptr<SectorDevice> openDevice(const std::string& path, OpenMode mode);

}  // namespace dudorazu
