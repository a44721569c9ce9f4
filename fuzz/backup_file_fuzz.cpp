// Partition-table backup files as a restore meets them. A file that parses
// is restored onto a disk held in memory that stops the run if anything is
// written where the file did not name, outside the disk, or for a file the
// checks should have refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string_view>

#include "platform/sector_device.h"
#include "core/tools/partition_table_restore.h"
#include "support/device_opener.h"

namespace {

constexpr uint64_t kDiskBytes = 64 * 512;

class WatchedDisk : public dudorazu::SectorDevice {
 public:
  explicit WatchedDisk(std::set<uint64_t> allowed) : allowed_(std::move(allowed)) {}
  size_t readAt(uint64_t, void*, size_t) override { return 0; }
  size_t writeAt(uint64_t offset, const void*, size_t length) override {
    if (length != 512 || !allowed_.count(offset) || offset + length > kDiskBytes) std::abort();
    return length;
  }
  uint64_t size() const override { return kDiskBytes; }

 private:
  std::set<uint64_t> allowed_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  dudorazu::BackupContents contents;
  if (!dudorazu::parseBackupFile(bytes, contents)) return 0;
  if (contents.offsets.size() * 512 != contents.sectors.size()) std::abort();
  std::set<uint64_t> allowed(contents.offsets.begin(), contents.offsets.end());
  dudorazu::test::setDeviceOpener([&](const std::string&, dudorazu::OpenMode) -> std::unique_ptr<dudorazu::SectorDevice> {
    return std::make_unique<WatchedDisk>(allowed);
  });
  // The disk the file names, so the restore gets as far as writing.
  dudorazu::DiskRecord disk;
  disk.devicePath = contents.devicePath;
  disk.vendorId = contents.displayName;
  dudorazu::NullMessageSink quiet;
  dudorazu::restoreFromBackup(disk, contents, quiet);
  // And one it does not name: nothing may be written.
  disk.devicePath += "x";
  allowed.clear();
  dudorazu::restoreFromBackup(disk, contents, quiet);
  dudorazu::test::setDeviceOpener(nullptr);
  return 0;
}
