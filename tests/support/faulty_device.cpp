#include "support/faulty_device.h"

#include <algorithm>
#include <thread>

#include "platform/platform.h"
#include "support/device_opener.h"

namespace dudorazu::test {
namespace {

bool touches(const std::set<uint64_t>& sectors, uint64_t offset, size_t length) {
  if (sectors.empty() || length == 0) return false;
  uint64_t first = offset / kSectorSize;
  uint64_t last = (offset + length - 1) / kSectorSize;
  auto it = sectors.lower_bound(first);
  return it != sectors.end() && *it <= last;
}

}  // namespace

size_t FaultyDevice::readAt(uint64_t offset, void* buffer, size_t length) {
  if (plan_->onRead) plan_->onRead(offset);
  if (plan_->onReadRange) plan_->onReadRange(offset, length);
  if (touches(plan_->hangingSectors, offset, length)) std::this_thread::sleep_for(plan_->hang);
  if (touches(plan_->slowSectors, offset, length)) std::this_thread::sleep_for(plan_->slow);
  bool fails = touches(plan_->badSectors, offset, length);
  {
    std::lock_guard<std::mutex> lock(plan_->memory->mutex);
    const uint64_t previous = plan_->memory->lastRead;
    plan_->memory->lastRead = offset;
    if (reinterpret_cast<uintptr_t>(buffer) % 4096 != 0) ++plan_->memory->unalignedReads;
    if (touches(plan_->backwardOnlySectors, offset, length) && !(offset < previous && previous != UINT64_MAX))
      fails = true;
    const uint64_t first = offset / kSectorSize, last = (offset + std::max<size_t>(length, 1) - 1) / kSectorSize;
    for (auto it = plan_->flakySectors.lower_bound(first); it != plan_->flakySectors.end() && it->first <= last; ++it)
      if (plan_->memory->failures[it->first] < it->second) {
        ++plan_->memory->failures[it->first];
        fails = true;
      }
  }
  if (fails) return 0;
  return inner_->readAt(offset, buffer, length);
}

size_t FaultyDevice::writeAt(uint64_t offset, const void* buffer, size_t length) {
  if (touches(plan_->badWriteSectors, offset, length)) return 0;
  return inner_->writeAt(offset, buffer, length);
}

ScopedFaultInjection::ScopedFaultInjection(std::string path, FaultPlan plan) {
  auto shared = std::make_shared<const FaultPlan>(std::move(plan));
  setDeviceOpener([path, shared](const std::string& p, OpenMode mode) -> std::unique_ptr<SectorDevice> {
    auto inner = platform::openSectorDevice(p, mode);
    if (!inner || p != path) return inner;
    return std::make_unique<FaultyDevice>(std::move(inner), shared);
  });
}

ScopedFaultInjection::~ScopedFaultInjection() { setDeviceOpener(nullptr); }

}  // namespace dudorazu::test
