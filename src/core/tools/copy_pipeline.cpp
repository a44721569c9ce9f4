#include "core/tools/copy_pipeline.h"

#include <algorithm>

namespace dudorazu {

std::shared_ptr<IoBuffer> BufferPool::take() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (free_.empty()) return std::make_shared<IoBuffer>(size_);
  std::shared_ptr<IoBuffer> buffer = std::move(free_.back());
  free_.pop_back();
  return buffer;
}

void BufferPool::give(std::shared_ptr<IoBuffer> buffer) {
  std::lock_guard<std::mutex> lock(mutex_);
  free_.push_back(std::move(buffer));
}

struct ReadAhead::Stream {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<ReadBlock> ready;
  bool quit = false;
  bool finished = false;
  std::thread thread;
};

ReadAhead::ReadAhead(std::shared_ptr<SectorDevice> device, std::shared_ptr<BufferPool> pool, uint64_t base,
                     uint64_t length, size_t blockSize, size_t depth)
    : device_(std::move(device)), pool_(std::move(pool)), base_(base), length_(length), blockSize_(blockSize),
      depth_(depth) {}

ReadAhead::~ReadAhead() { stop(); }

void ReadAhead::start(uint64_t index) {
  stop();
  stream_ = std::make_shared<Stream>();
  stream_->thread = std::thread([s = stream_, device = device_, pool = pool_, base = base_, length = length_,
                                 blockSize = blockSize_, depth = depth_, index] {
    for (uint64_t i = index;; ++i) {
      uint64_t offset = i * blockSize;
      std::unique_lock<std::mutex> lock(s->mutex);
      if (offset >= length) {
        s->finished = true;
        break;
      }
      s->changed.wait(lock, [&] { return s->quit || s->ready.size() < depth; });
      if (s->quit) break;
      lock.unlock();
      ReadBlock block;
      block.index = i;
      block.wanted = static_cast<size_t>(std::min<uint64_t>(blockSize, length - offset));
      block.buffer = pool->take();
      block.got = device->readAt(base + offset, block.buffer->data(), block.wanted);
      lock.lock();
      if (s->quit) break;
      bool shortRead = block.got < block.wanted;
      s->ready.push_back(std::move(block));
      s->changed.notify_all();
      if (shortRead) {
        s->finished = true;
        break;
      }
    }
  });
}

std::optional<ReadBlock> ReadAhead::next(std::chrono::milliseconds limit) {
  if (!stream_) return std::nullopt;
  std::unique_lock<std::mutex> lock(stream_->mutex);
  if (!stream_->changed.wait_for(lock, limit, [&] { return !stream_->ready.empty(); })) {
    lock.unlock();
    stop();
    return std::nullopt;
  }
  ReadBlock block = std::move(stream_->ready.front());
  stream_->ready.pop_front();
  stream_->changed.notify_all();
  return block;
}

void ReadAhead::stop() {
  if (!stream_) return;
  {
    std::lock_guard<std::mutex> lock(stream_->mutex);
    stream_->quit = true;
    stream_->ready.clear();
  }
  stream_->changed.notify_all();
  // A read in progress may hang for minutes: never wait for it.
  stream_->thread.detach();
  stream_.reset();
}

struct WriteBehind::Queue {
  struct Item {
    uint64_t offset;
    std::shared_ptr<IoBuffer> buffer;
    size_t length;
  };
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Item> items;
  bool busy = false;
  bool failed = false;
  bool quit = false;
  uint64_t completed = 0;
  uint64_t finished = 0;  // completed or failed
};

WriteBehind::WriteBehind(std::shared_ptr<SectorDevice> device, std::shared_ptr<BufferPool> pool, size_t depth)
    : queue_(std::make_shared<Queue>()), depth_(std::max<size_t>(depth, 1)) {
  thread_ = std::thread([q = queue_, device = std::move(device), pool = std::move(pool)] {
    std::unique_lock<std::mutex> lock(q->mutex);
    for (;;) {
      q->changed.wait(lock, [&] { return q->quit || !q->items.empty(); });
      if (q->items.empty()) break;
      Queue::Item item = std::move(q->items.front());
      q->items.pop_front();
      q->busy = true;
      lock.unlock();
      bool ok = device->writeAt(item.offset, item.buffer->data(), item.length) == item.length;
      lock.lock();
      q->busy = false;
      ++q->finished;
      if (ok && !q->failed) {
        ++q->completed;
        pool->give(std::move(item.buffer));
      } else {
        q->failed = true;
        q->items.clear();
      }
      q->changed.notify_all();
    }
  });
}

WriteBehind::~WriteBehind() {
  if (abandoned_) return;
  bool busy;
  {
    std::lock_guard<std::mutex> lock(queue_->mutex);
    queue_->quit = true;
    queue_->items.clear();
    busy = queue_->busy;
  }
  queue_->changed.notify_all();
  if (busy) thread_.detach();  // a write that never returns must not hold us
  else thread_.join();
}

void WriteBehind::abandon() {
  queue_->failed = true;
  queue_->quit = true;
  queue_->items.clear();
  queue_->changed.notify_all();
  thread_.detach();
  abandoned_ = true;
}

bool WriteBehind::submit(uint64_t offset, std::shared_ptr<IoBuffer> buffer, size_t length,
                         std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(queue_->mutex);
  while (!queue_->failed && queue_->items.size() + (queue_->busy ? 1 : 0) >= depth_) {
    uint64_t seen = queue_->finished;
    if (!queue_->changed.wait_for(lock, limit, [&] { return queue_->failed || queue_->finished != seen; })) {
      abandon();
      return false;
    }
  }
  if (queue_->failed) return false;
  queue_->items.push_back({offset, std::move(buffer), length});
  queue_->changed.notify_all();
  return true;
}

bool WriteBehind::drain(std::chrono::milliseconds limit) {
  if (abandoned_) return false;
  std::unique_lock<std::mutex> lock(queue_->mutex);
  while (!queue_->failed && (queue_->busy || !queue_->items.empty())) {
    uint64_t seen = queue_->finished;
    if (!queue_->changed.wait_for(lock, limit, [&] { return queue_->failed || queue_->finished != seen; })) {
      abandon();
      return false;
    }
  }
  return !queue_->failed;
}

uint64_t WriteBehind::completed() const {
  std::lock_guard<std::mutex> lock(queue_->mutex);
  return queue_->completed;
}

}  // namespace dudorazu
