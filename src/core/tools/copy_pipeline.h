#pragma once
// The two ends of the imaging copy, each on a thread of its own so reading
// and writing overlap: a reader that streams blocks ahead of the copy and a
// writer that writes behind it. Both are waited for with bounded waits; an
// operation that does not return in time is left behind with its buffer,
// which nobody else touches again.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/device/sector_device.h"
#include "core/tools/bounded_io.h"

namespace dudorazu {

// Buffers of one size, handed from reader to writer and back.
class BufferPool {
 public:
  explicit BufferPool(size_t bufferSize) : size_(bufferSize) {}
  std::shared_ptr<IoBuffer> take();
  void give(std::shared_ptr<IoBuffer> buffer);

 private:
  std::mutex mutex_;
  size_t size_;
  std::vector<std::shared_ptr<IoBuffer>> free_;
};

struct ReadBlock {
  uint64_t index = 0;
  std::shared_ptr<IoBuffer> buffer;
  size_t wanted = 0;
  size_t got = 0;
};

// Reads blocks index, index + 1, ... of `length` bytes from `base` on,
// keeping at most `depth` ahead of the consumer. It stops by itself after a
// block that came back short, so a failing area is not hammered while it is
// retried sector by sector.
class ReadAhead {
 public:
  ReadAhead(std::shared_ptr<SectorDevice> device, std::shared_ptr<BufferPool> pool, uint64_t base,
            uint64_t length, size_t blockSize, size_t depth);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // (Re)starts streaming at block `index`; a previous stream is left behind.
  void start(uint64_t index);
  // The next block in order. Nullopt when it did not arrive within `limit`:
  // its read hangs, and the stream is left behind (start again to go on).
  std::optional<ReadBlock> next(std::chrono::milliseconds limit);
  // Leaves the current stream behind; it ends after its current read.
  void stop();

 private:
  struct Stream;
  std::shared_ptr<SectorDevice> device_;
  std::shared_ptr<BufferPool> pool_;
  uint64_t base_, length_;
  size_t blockSize_, depth_;
  std::shared_ptr<Stream> stream_;
};

// Writes submitted buffers in order and gives them back to the pool. After
// the first failed write nothing more is written and every later call
// reports the failure.
class WriteBehind {
 public:
  WriteBehind(std::shared_ptr<SectorDevice> device, std::shared_ptr<BufferPool> pool, size_t depth);
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Queues a write; when `depth` writes are pending, waits for one to finish,
  // failing if none does within `limit`. False once any write has failed.
  bool submit(uint64_t offset, std::shared_ptr<IoBuffer> buffer, size_t length, std::chrono::milliseconds limit);
  // Waits until every queued write is done, failing when one of them does
  // not finish within `limit`.
  bool drain(std::chrono::milliseconds limit);
  // Writes finished successfully so far (the first ones submitted).
  uint64_t completed() const;

 private:
  struct Queue;
  void abandon();
  std::shared_ptr<Queue> queue_;
  size_t depth_;
  std::thread thread_;
  bool abandoned_ = false;
};

}  // namespace dudorazu
