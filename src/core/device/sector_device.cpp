#include "platform/sector_device.h"

#include <cstring>
#include <mutex>

#include "platform/devices.h"

namespace dudorazu {
namespace {

std::mutex openerMutex;
DeviceOpener& installedOpener() {
  static DeviceOpener opener;
  return opener;
}

}  // namespace

size_t SectorDevice::readZeroFilled(uint64_t offset, void* buffer, size_t length) {
  std::memset(buffer, 0, length);
  return readAt(offset, buffer, length);
}

std::unique_ptr<SectorDevice> openDevice(const std::string& path, OpenMode mode) {
  DeviceOpener opener;
  {
    std::lock_guard<std::mutex> lock(openerMutex);
    opener = installedOpener();
  }
  if (opener) return opener(path, mode);
  return platform::openSectorDevice(path, mode);
}

void setDeviceOpener(DeviceOpener opener) {
  std::lock_guard<std::mutex> lock(openerMutex);
  installedOpener() = std::move(opener);
}

size_t MemoryDevice::readAt(uint64_t offset, void* buffer, size_t length) {
  if (offset >= bytes_.size()) return 0;
  size_t n = static_cast<size_t>(std::min<uint64_t>(length, bytes_.size() - offset));
  std::memcpy(buffer, bytes_.data() + offset, n);
  return n;
}

size_t MemoryDevice::writeAt(uint64_t offset, const void* buffer, size_t length) {
  if (offset >= bytes_.size()) return 0;
  size_t n = static_cast<size_t>(std::min<uint64_t>(length, bytes_.size() - offset));
  std::memcpy(bytes_.data() + offset, buffer, n);
  return n;
}

}  // namespace dudorazu
