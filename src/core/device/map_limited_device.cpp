#include "core/device/map_limited_device.h"

#include <map>
#include <mutex>

namespace dudorazu {
namespace {

struct Limits {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<const RescueMap>> maps;
};

Limits& limits() {
  static Limits instance;
  return instance;
}

}  // namespace

size_t MapLimitedDevice::readAt(uint64_t offset, void* buffer, size_t length) {
  const std::optional<uint64_t> position = checkedSum(offset, shift_);
  const std::optional<ByteRange> wanted = position ? ByteRange::of(*position, length) : std::nullopt;
  if (!wanted) return 0;
  uint64_t finished = 0;
  for (const RescueArea& area : map_->areasWithin(*wanted)) {
    if (area.state != RescueState::Finished) break;
    finished += area.bytes.length();
  }
  if (finished == 0) return 0;
  return inner_->readAt(offset, buffer, static_cast<size_t>(finished));
}

void limitReadsToMap(const std::string& path, std::shared_ptr<const RescueMap> map) {
  std::lock_guard<std::mutex> lock(limits().mutex);
  if (map) limits().maps[path] = std::move(map);
  else limits().maps.erase(path);
}

std::vector<ByteRange> unreadableByMap(const std::string& path, uint64_t deviceSize) {
  std::shared_ptr<const RescueMap> map;
  {
    std::lock_guard<std::mutex> lock(limits().mutex);
    auto it = limits().maps.find(path);
    if (it == limits().maps.end()) return {};
    map = it->second;
  }
  const uint64_t shift = map->extent().start();
  // A device whose positions pass 64 bits once shifted ends where they do.
  const ByteRange onMap = ByteRange::of(shift, deviceSize).value_or(ByteRange::from(shift));
  std::vector<ByteRange> out;
  for (const ByteRange& r : map->unfinished(onMap)) out.push_back(*ByteRange::of(r.start() - shift, r.length()));
  return out;
}

std::unique_ptr<SectorDevice> withReadLimits(const std::string& path, OpenMode mode,
                                             std::unique_ptr<SectorDevice> device) {
  if (!device || mode != OpenMode::Read) return device;
  std::shared_ptr<const RescueMap> map;
  {
    std::lock_guard<std::mutex> lock(limits().mutex);
    auto it = limits().maps.find(path);
    if (it == limits().maps.end()) return device;
    map = it->second;
  }
  const uint64_t shift = map->extent().start();
  return std::make_unique<MapLimitedDevice>(std::move(device), std::move(map), shift);
}

}  // namespace dudorazu
