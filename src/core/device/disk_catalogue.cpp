// Placeholder until the catalogue lands.
#include "core/device/disk_catalogue.h"

namespace dudorazu {

DiskCatalogue& processCatalogue() {
  static DiskCatalogue catalogue;
  return catalogue;
}

DiskRecord* findDisk(DiskCatalogue& catalogue, const std::string& name) {
  for (DiskRecord& d : catalogue.disks)
    if (displayName(d) == name) return &d;
  return nullptr;
}

bool buildDiskCatalogue(DiskCatalogue&, DriveEnumerator&, MessageSink&) { return true; }
bool openImageAsDisk(DiskCatalogue&, const std::string&) { return false; }
std::string decodeDescriptorString(const uint8_t*, size_t, uint32_t) { return {}; }

}  // namespace dudorazu
