#pragma once
// The bytes of a candidate file from its first byte on, as a structure walk
// reads them: small header reads served from one cached block, payloads
// skipped by their sizes and never read.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/sector_device.h"

namespace dudorazu {

class CarveSource {
 public:
  // `limit`: the bytes from `start` on that the walk may use (as far as the
  // scan reaches on the device).
  CarveSource(SectorDevice& device, uint64_t start, uint64_t limit);

  uint64_t limit() const { return limit_; }
  // Copies `length` bytes at `offset` (from the file's start) into `out`.
  // False when any of them lies past the limit or could not be read.
  bool read(uint64_t offset, void* out, size_t length);
  // A byte, or none past the limit.
  std::optional<uint8_t> byte(uint64_t offset);
  // The first occurrence of `pattern` starting in [from, to), to at most
  // the limit; none when there is none.
  std::optional<uint64_t> find(std::string_view pattern, uint64_t from, uint64_t to);

 private:
  bool fill(uint64_t offset);

  SectorDevice& device_;
  uint64_t start_;
  uint64_t limit_;
  std::vector<uint8_t> block_;
  uint64_t blockOffset_ = 0;
  size_t blockBytes_ = 0;
};

}  // namespace dudorazu
