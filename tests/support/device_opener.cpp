#include "support/device_opener.h"

#include <mutex>

#include "core/device/map_limited_device.h"
#include "core/device/open_device.h"
#include "platform/devices.h"

namespace dudorazu {
namespace {

std::mutex openerMutex;
test::DeviceOpener& installedOpener() {
  static test::DeviceOpener opener;
  return opener;
}

}  // namespace

std::unique_ptr<SectorDevice> openDevice(const std::string& path, OpenMode mode) {
  test::DeviceOpener opener;
  {
    std::lock_guard<std::mutex> lock(openerMutex);
    opener = installedOpener();
  }
  if (opener) return withReadLimits(path, mode, opener(path, mode));
  return withReadLimits(path, mode, platform::openSectorDevice(path, mode));
}

void test::setDeviceOpener(DeviceOpener opener) {
  std::lock_guard<std::mutex> lock(openerMutex);
  installedOpener() = std::move(opener);
}

}  // namespace dudorazu
