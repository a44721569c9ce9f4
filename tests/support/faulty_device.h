#pragma once
// A device that fails or hangs on chosen sectors like a dying disk, opened by path via setDeviceOpener.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "platform/sector_device.h"

namespace dudorazu::test {

struct FaultPlan {
  std::set<uint64_t> badSectors;          // reads touching these fail (0 bytes)
  std::set<uint64_t> hangingSectors;      // reads touching these stall first
  std::chrono::milliseconds hang{0};
  std::set<uint64_t> badWriteSectors;     // writes touching these fail
  std::function<void(uint64_t offset)> onRead;  // told of every read first (e.g. to press stop)
};

class FaultyDevice : public SectorDevice {
 public:
  FaultyDevice(std::unique_ptr<SectorDevice> inner, std::shared_ptr<const FaultPlan> plan)
      : inner_(std::move(inner)), plan_(std::move(plan)) {}
  size_t readAt(uint64_t offset, void* buffer, size_t length) override;
  size_t writeAt(uint64_t offset, const void* buffer, size_t length) override;
  uint64_t size() const override { return inner_->size(); }
  bool flush() override { return inner_->flush(); }

 private:
  std::unique_ptr<SectorDevice> inner_;
  std::shared_ptr<const FaultPlan> plan_;
};

// Wraps every device opened at `path` in a FaultyDevice until destroyed.
class ScopedFaultInjection {
 public:
  ScopedFaultInjection(std::string path, FaultPlan plan);
  ~ScopedFaultInjection();
};

}  // namespace dudorazu::test
