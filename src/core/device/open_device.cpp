#include "core/device/open_device.h"

#include "core/device/map_limited_device.h"
#include "platform/devices.h"

namespace dudorazu {

std::unique_ptr<SectorDevice> openDevice(const std::string& path, OpenMode mode) {
  return withReadLimits(path, mode, platform::openSectorDevice(path, mode));
}

}  // namespace dudorazu
