#pragma once
// An image read together with the map of the rescue that made it: only
// what the map calls finished is the disk's own data, so every other byte
// reads as a failed read, like a bad sector. Every later step (tree load,
// lost-file scan, saving) then sees the damage instead of the filler the
// image holds there.
#include <memory>
#include <string>
#include <vector>

#include "core/device/rescue_map.h"
#include "platform/sector_device.h"

namespace dudorazu {

class MapLimitedDevice : public SectorDevice {
 public:
  // Byte k of `inner` is position k + `shift` of the map.
  MapLimitedDevice(std::unique_ptr<SectorDevice> inner, std::shared_ptr<const RescueMap> map, uint64_t shift)
      : inner_(std::move(inner)), map_(std::move(map)), shift_(shift) {}

  // Reads the finished bytes from `offset` on, up to the first unfinished
  // one: 0 when the read begins on one, a short count when it meets one.
  size_t readAt(uint64_t offset, void* buffer, size_t length) override;
  size_t writeAt(uint64_t offset, const void* buffer, size_t length) override {
    return inner_->writeAt(offset, buffer, length);
  }
  uint64_t size() const override { return inner_->size(); }
  uint32_t logicalSectorSize() const override { return inner_->logicalSectorSize(); }
  bool flush() override { return inner_->flush(); }
  // copyToFile is left at its default, so no copy passes the map by.

 private:
  std::unique_ptr<SectorDevice> inner_;
  std::shared_ptr<const RescueMap> map_;
  uint64_t shift_;
};

// From now on every device opened for reading at `path` is limited by
// `map`; the image's first byte is the map's first position (an image of a
// partition made by us starts at the partition). A null map lifts the limit.
void limitReadsToMap(const std::string& path, std::shared_ptr<const RescueMap> map);

// The bytes [0, deviceSize) of the device at `path` that its map does not
// call finished (a later step's unreadable areas, known before any read),
// sorted; none when no map limits it.
std::vector<ByteRange> unreadableByMap(const std::string& path, uint64_t deviceSize);

// `device` as opened at `path`, wrapped when a map limits it; both
// definitions of openDevice pass what they open through here.
std::unique_ptr<SectorDevice> withReadLimits(const std::string& path, OpenMode mode,
                                             std::unique_ptr<SectorDevice> device);

}  // namespace dudorazu
