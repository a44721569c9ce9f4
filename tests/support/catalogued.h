#pragma once
// The disk the catalogue makes of an image file, for tests that link the disk library.
#include <string>

#include "core/device/disk_catalogue.h"
#include "support/fixtures.h"

namespace dudorazu::test {

// Ends the calling test when the image cannot be opened as a disk.
inline DiskRecord catalogued(const std::string& path) {
  DiskCatalogue catalogue;
  require(openImageAsDisk(catalogue, path) && !catalogue.disks.empty(), "cannot open " + path + " as a disk");
  return std::move(catalogue.disks.front());
}

}  // namespace dudorazu::test
