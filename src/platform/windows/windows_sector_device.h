#pragma once
// A file handled the way a drive is (whole, aligned sectors through a
// bounce buffer), so tests reach the drive path without a drive.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/sector_device.h"

namespace dudorazu::platform {

std::unique_ptr<SectorDevice> openFileAsDrive(const std::string& path, uint32_t sectorSize);

}  // namespace dudorazu::platform
