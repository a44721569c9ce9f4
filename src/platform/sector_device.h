#pragma once
// Raw access to a drive or an image file by byte offset, as each backend
// gives it. Every operation opens its own device (core/device/open_device.h)
// and closes it by destroying it; no handle is shared between threads.
// Byte offsets are 64-bit; readSectors counts 512-byte sectors.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/output_file.h"

namespace dudorazu {

inline constexpr uint32_t kSectorSize = 512;

enum class OpenMode {
  Read,         // read-only; the source disk is always opened this way
  ReadWrite,    // existing device or file, written in place
  CreateWrite,  // a new or emptied file; opened only by createCommandOutput, after its rule
};

class SectorDevice {
 public:
  virtual ~SectorDevice() = default;

  // Reads up to `length` bytes at `offset` into `buffer`; returns the number
  // of bytes read (short at the end of the device, 0 on error). The caller's
  // buffer is not touched beyond what was read.
  virtual size_t readAt(uint64_t offset, void* buffer, size_t length) = 0;
  // Writes `length` bytes at `offset`; returns the number written.
  virtual size_t writeAt(uint64_t offset, const void* buffer, size_t length) = 0;
  // Size in bytes (file size, or block device size); 0 when unknown.
  virtual uint64_t size() const = 0;
  // The device's logical sector size in bytes, the unit of its partition
  // tables; 0 when the device does not say (image files).
  virtual uint32_t logicalSectorSize() const { return 0; }
  // Makes written data durable; false on error.
  virtual bool flush() { return true; }
  // Copies `length` bytes at `offset` into the regular file open for writing
  // in `out`, at `outOffset`, inside the kernel where the backend can, so
  // the bytes never pass through the caller. Stretches the device holds as
  // holes are passed over, not written; the file is made as long as the
  // bytes dealt with all the same.
  // Returns the bytes dealt with from `offset` on: fewer than `length`, 0
  // included, when this device cannot copy so or a read or write failed, and
  // the caller reads the rest with readAt.
  virtual uint64_t copyToFile(uint64_t offset, uint64_t length, platform::OutputHandle& out, uint64_t outOffset) {
    (void)offset, (void)length, (void)out, (void)outOffset;
    return 0;
  }

  // The read everyone uses: zero-fills `length` bytes first, so a failed or
  // short read leaves zeros that match no signature.
  size_t readZeroFilled(uint64_t offset, void* buffer, size_t length) {
    std::memset(buffer, 0, length);
    return readAt(offset, buffer, length);
  }
  // `count` sectors from `lba`, zero-filled first.
  size_t readSectors(uint64_t lba, uint32_t count, void* buffer) {
    return readZeroFilled(lba * kSectorSize, buffer, static_cast<size_t>(count) * kSectorSize);
  }
};

}  // namespace dudorazu
