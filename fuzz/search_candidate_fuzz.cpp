// The lost-partition search over a small disk whose first sectors are the
// input: boot sectors with hostile shifts, offsets, lengths and root
// directory positions, met in every search mode.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/sector_device.h"
#include "core/partitions/fs_probes.h"
#include "core/tools/partition_search.h"
#include "core/tools/search_candidate.h"
#include "support/device_opener.h"

namespace {

// Beyond the input the disk reads as zeros.
constexpr uint64_t kDiskBytes = 11ull << 20;

class InputDisk : public dudorazu::SectorDevice {
 public:
  explicit InputDisk(std::string bytes) : bytes_(std::move(bytes)) {}
  size_t readAt(uint64_t offset, void* buffer, size_t length) override {
    if (offset >= kDiskBytes) return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(length, kDiskBytes - offset));
    std::memset(buffer, 0, n);
    if (offset < bytes_.size())
      std::memcpy(buffer, bytes_.data() + offset, std::min<uint64_t>(n, bytes_.size() - offset));
    return n;
  }
  size_t writeAt(uint64_t, const void*, size_t) override { return 0; }
  uint64_t size() const override { return kDiskBytes; }

 private:
  std::string bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  dudorazu::test::setDeviceOpener([&](const std::string&, dudorazu::OpenMode) -> std::unique_ptr<dudorazu::SectorDevice> {
    return std::make_unique<InputDisk>(bytes);
  });
  // A small grid, so the cylinder and head modes meet the input's sectors.
  dudorazu::DiskRecord disk;
  disk.devicePath = "input";
  // The grid modes only walk as far as the input reaches (and a little more).
  disk.diskSize = (size / 512 + 64) * 512;
  disk.tracksPerCylinder = 4;
  disk.sectorsPerTrack = 13;
  dudorazu::ProgressBlock progress;
  dudorazu::searchPartitions(disk, dudorazu::SearchMode::Cylinder, 0, progress);
  dudorazu::searchPartitions(disk, dudorazu::SearchMode::Head, 0, progress);
  dudorazu::searchPartitions(disk, dudorazu::SearchMode::Cylinder, 1, progress);
  dudorazu::searchPartitions(disk, dudorazu::SearchMode::Aligned, 0, progress);
  // The sector mode's decisions on every boot sector of the input (its
  // 10 MiB pass itself would cost more in page faults than the rest).
  InputDisk device(bytes);
  for (size_t lba = 0; (lba + 1) * 512 <= bytes.size(); ++lba) {
    const uint8_t* sector = data + lba * 512;
    if (!dudorazu::isExfatBootSector(sector)) continue;
    uint64_t start = dudorazu::volumeStartFor(device, lba, sector);
    if (start != lba && start + dudorazu::kBackupDistance != lba) std::abort();
    dudorazu::foundVolumeLabel(device, static_cast<uint32_t>(start), sector, start != lba);
  }
  dudorazu::test::setDeviceOpener(nullptr);
  return 0;
}
