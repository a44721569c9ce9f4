#pragma once
// A device held in memory, for hand-made sectors in tests and fuzz targets.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/sector_device.h"

namespace dudorazu::test {

class MemoryDevice : public SectorDevice {
 public:
  explicit MemoryDevice(std::string bytes) : bytes_(std::move(bytes)) {}
  size_t readAt(uint64_t offset, void* buffer, size_t length) override;
  size_t writeAt(uint64_t offset, const void* buffer, size_t length) override;
  uint64_t size() const override { return bytes_.size(); }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

}  // namespace dudorazu::test
