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

#include "platform/sector_device.h"

namespace dudorazu {

// Buffers start on a page: a device read without the page cache (a FUSE
// file, a disk opened for direct access) splits a read whose buffer does
// not, so one block would cost two requests to a failing drive.
inline constexpr size_t kIoAlignment = 4096;
template <class T>
struct PageAligned {
  using value_type = T;
  PageAligned() = default;
  template <class U>
  PageAligned(const PageAligned<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t{kIoAlignment})); }
  void deallocate(T* p, size_t) { ::operator delete(p, std::align_val_t{kIoAlignment}); }
  friend bool operator==(const PageAligned&, const PageAligned&) { return true; }
};
using IoBuffer = std::vector<uint8_t, PageAligned<uint8_t>>;

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
