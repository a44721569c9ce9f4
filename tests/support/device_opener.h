#pragma once
// Test programs link this definition of the core's openDevice in place of
// the programs' own, so a test can serve memory images or wrap the devices
// the core opens by path deep inside an operation.
#include <functional>
#include <memory>
#include <string>

#include "platform/sector_device.h"

namespace dudorazu::test {

using DeviceOpener =
    std::function<std::unique_ptr<SectorDevice>(const std::string& path, OpenMode mode)>;

// Replaces the opener; an empty function restores the platform's. Not for
// use while operations run.
void setDeviceOpener(DeviceOpener opener);

}  // namespace dudorazu::test
