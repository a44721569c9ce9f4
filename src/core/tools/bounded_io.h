#pragma once
// Reads and writes whose wait is bounded. A dying disk can hold a read for
// minutes; the caller gives up after its limit, while the operation runs on
// in a thread of its own and keeps its buffer, so nothing is ever written
// into memory the caller has moved on to.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "core/common/io_buffer.h"
#include "platform/sector_device.h"

namespace dudorazu {

class IoLane {
 public:
  // `hanging` counts operations left behind; lanes over one device may share it.
  explicit IoLane(std::shared_ptr<SectorDevice> device,
                  std::shared_ptr<std::atomic<int>> hanging = std::make_shared<std::atomic<int>>(0));
  ~IoLane();
  IoLane(const IoLane&) = delete;
  IoLane& operator=(const IoLane&) = delete;

  // Starts one operation; the lane holds `buffer` until it ends. One
  // operation at a time: finish() before starting the next.
  void startRead(uint64_t offset, std::shared_ptr<IoBuffer> buffer, size_t length);
  void startWrite(uint64_t offset, std::shared_ptr<IoBuffer> buffer, size_t length);

  // Waits up to `limit` for the started operation and returns the bytes it
  // transferred. Nullopt when it is still pending: the operation is left
  // behind with its buffer (which the caller must then give up) and the
  // next operation gets a fresh thread. After too many operations hang, new
  // ones fail at once (0 bytes) instead of piling up threads.
  std::optional<size_t> finish(std::chrono::milliseconds limit);

  // Operations left behind that have not returned yet.
  int hangingOperations() const { return hanging_->load(); }

 private:
  struct Worker;
  void start(bool write, uint64_t offset, std::shared_ptr<IoBuffer> buffer, size_t length);

  std::shared_ptr<SectorDevice> device_;
  std::shared_ptr<std::atomic<int>> hanging_;
  std::shared_ptr<Worker> worker_;
  bool refused_ = false;  // the started operation was refused (too many hanging)
  bool inFlight_ = false;
};

}  // namespace dudorazu
