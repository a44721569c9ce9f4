#pragma once
// Which of a volume's two boot sectors is an exFAT one. A partition whose
// main boot sector is destroyed while its backup is intact still holds an
// exFAT volume, read through the backup.
#include <cstdint>

#include "platform/sector_device.h"

namespace dudorazu {

// The backup boot sector stands this many of the volume's sectors after the
// main one.
inline constexpr uint32_t kBackupDistance = 12;

enum class BootCopy { None, Main, Backup };

// Main when the sector at byte `startOffset` is an exFAT boot sector, else
// Backup when one stands 12 of its own sectors later (512 to 4096 bytes
// each, as the backup's sector size field says), else None.
BootCopy exfatBootCopyAt(SectorDevice& device, uint64_t startOffset);

}  // namespace dudorazu
