#pragma once
// A device that fails or hangs on chosen sectors like a dying disk, opened by path via setDeviceOpener.
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/sector_device.h"

namespace dudorazu::test {

// What a plan remembers across reads and across the devices opened with it.
struct FaultMemory {
  std::mutex mutex;
  std::map<uint64_t, int> failures;  // per flaky sector, reads failed so far
  uint64_t lastRead = UINT64_MAX;    // offset of the previous read
  int unalignedReads = 0;            // into a buffer that does not start on a page
};

struct FaultPlan {
  std::set<uint64_t> badSectors;          // reads touching these fail (0 bytes)
  std::set<uint64_t> hangingSectors;      // reads touching these stall first
  std::chrono::milliseconds hang{0};
  std::set<uint64_t> slowSectors;         // reads touching these take `slow` and then succeed
  std::chrono::milliseconds slow{0};
  std::map<uint64_t, int> flakySectors;   // reads touching these fail so many times, then succeed
  std::set<uint64_t> backwardOnlySectors;  // reads touching these succeed only below the previous read
  std::set<uint64_t> badWriteSectors;     // writes touching these fail
  std::function<void(uint64_t offset)> onRead;  // told of every read first (e.g. to press stop)
  std::function<void(uint64_t offset, size_t length)> onReadRange;  // likewise, with the length
  std::shared_ptr<FaultMemory> memory = std::make_shared<FaultMemory>();
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
