#include "core/tools/bounded_io.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/tools/straight_copy.h"

namespace dudorazu {

struct IoLane::Worker {
  std::mutex mutex;
  std::condition_variable wake;
  bool hasRequest = false;
  bool done = false;
  bool quit = false;
  bool abandoned = false;
  bool write = false;
  uint64_t offset = 0;
  size_t length = 0;
  size_t result = 0;
  std::shared_ptr<IoBuffer> buffer;
  std::thread thread;

  static void run(std::shared_ptr<Worker> self, std::shared_ptr<SectorDevice> device,
                  std::shared_ptr<std::atomic<int>> hanging) {
    std::unique_lock<std::mutex> lock(self->mutex);
    for (;;) {
      self->wake.wait(lock, [&] { return self->hasRequest || self->quit; });
      if (!self->hasRequest) break;
      self->hasRequest = false;
      std::shared_ptr<IoBuffer> buffer = self->buffer;
      bool write = self->write;
      uint64_t offset = self->offset;
      size_t length = self->length;
      lock.unlock();
      size_t n = write ? device->writeAt(offset, buffer->data(), length) : device->readAt(offset, buffer->data(), length);
      lock.lock();
      self->result = n;
      self->done = true;
      self->buffer.reset();
      self->wake.notify_all();
      if (self->abandoned) {
        hanging->fetch_sub(1);
        break;
      }
    }
  }
};

IoLane::IoLane(std::shared_ptr<SectorDevice> device, std::shared_ptr<std::atomic<int>> hanging)
    : device_(std::move(device)), hanging_(std::move(hanging)) {}

IoLane::~IoLane() {
  if (!worker_) return;
  {
    std::lock_guard<std::mutex> lock(worker_->mutex);
    if (inFlight_ && !worker_->done) {
      // Never waited for: leave it behind rather than block on it.
      worker_->abandoned = true;
      hanging_->fetch_add(1);
      worker_->thread.detach();
      return;
    }
    worker_->quit = true;
  }
  worker_->wake.notify_all();
  worker_->thread.join();
}

void IoLane::startRead(uint64_t offset, std::shared_ptr<IoBuffer> buffer, size_t length) {
  start(false, offset, std::move(buffer), length);
}

void IoLane::startWrite(uint64_t offset, std::shared_ptr<IoBuffer> buffer, size_t length) {
  start(true, offset, std::move(buffer), length);
}

void IoLane::start(bool write, uint64_t offset, std::shared_ptr<IoBuffer> buffer, size_t length) {
  refused_ = hanging_->load() >= kMaxHangingOperations;
  inFlight_ = !refused_;
  if (refused_) return;
  if (!worker_) {
    worker_ = std::make_shared<Worker>();
    worker_->thread = std::thread(Worker::run, worker_, device_, hanging_);
  }
  std::lock_guard<std::mutex> lock(worker_->mutex);
  worker_->hasRequest = true;
  worker_->done = false;
  worker_->write = write;
  worker_->offset = offset;
  worker_->length = length;
  worker_->buffer = std::move(buffer);
  worker_->wake.notify_all();
}

std::optional<size_t> IoLane::finish(std::chrono::milliseconds limit) {
  if (refused_ || !worker_ || !inFlight_) return 0;
  inFlight_ = false;
  std::unique_lock<std::mutex> lock(worker_->mutex);
  if (worker_->wake.wait_for(lock, limit, [&] { return worker_->done; })) return worker_->result;
  // Leave the operation to its thread; it ends that thread when it returns.
  worker_->abandoned = true;
  hanging_->fetch_add(1);
  lock.unlock();
  worker_->thread.detach();
  worker_.reset();
  return std::nullopt;
}

}  // namespace dudorazu
