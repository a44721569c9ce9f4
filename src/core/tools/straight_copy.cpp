#include "core/tools/straight_copy.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace dudorazu {
namespace {

using Clock = std::chrono::steady_clock;

// What the copying thread and its watcher share. Every change happens under
// the lock, and the copying thread looks at `abandoned` before it touches
// anything of the caller's, so a late return is harmless.
struct RunState {
  std::mutex mutex;
  std::condition_variable ended;
  bool writing = false;
  bool done = false;
  bool abandoned = false;
  uint64_t operation = 0;  // counts started operations
  Clock::time_point since;
  uint64_t blockEnd = 0;
  StraightRun result;
};

// The end of the block of `size` bytes aligned on `base` that holds
// `position` (at or past `base`), at most `to`.
uint64_t alignedBlockEnd(uint64_t base, uint64_t size, uint64_t position, uint64_t to) {
  const uint64_t next = (position - base) / size * size + size;
  return next >= to - base ? to : base + next;
}

}  // namespace

uint64_t StraightCopy::blockEndAfter(uint64_t position, uint64_t to) const {
  return alignedBlockEnd(sourceStart_, blockSize_, position, to);
}

StraightRun StraightCopy::run(uint64_t from, uint64_t to, const StraightLimits& limits, const ProgressBlock& progress) {
  StraightRun refused;
  if (from >= to) return refused;
  if (hanging_->load() >= kMaxHangingOperations) {
    refused.end = StraightRun::End::ReadHung;
    refused.blockEnd = blockEndAfter(from, to);
    return refused;
  }
  auto state = std::make_shared<RunState>();
  state->since = Clock::now();
  state->blockEnd = blockEndAfter(from, to);
  // The thread takes copies of all it needs: it may outlive this object.
  std::thread worker([state, source = source_, target = target_, hanging = hanging_, sourceStart = sourceStart_,
                      targetStart = targetStart_, blockSize = blockSize_, from, to, limits, &progress] {
    // The thread's own buffer: a read that returns after the watcher gave
    // up lands here and nowhere else.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[blockSize]);
    const Clock::time_point started = Clock::now();
    auto finish = [&](StraightRun::End end) {
      state->result.end = end;
      state->done = true;
      state->ended.notify_all();
    };
    auto late = [&] {
      if (!state->abandoned) return false;
      hanging->fetch_sub(1);
      return true;
    };
    for (uint64_t at = from;;) {
      std::unique_lock<std::mutex> lock(state->mutex);
      if (state->abandoned) return;
      if (at == to) return finish(StraightRun::End::Finished);
      const uint64_t end = alignedBlockEnd(sourceStart, blockSize, at, to);
      state->blockEnd = end;
      state->writing = false;
      state->since = Clock::now();
      ++state->operation;
      lock.unlock();
      const size_t want = static_cast<size_t>(end - at);
      const Clock::time_point readStart = Clock::now();
      const size_t got = source->readAt(at, buffer.get(), want);
      const auto took = Clock::now() - readStart;
      lock.lock();
      if (late()) return;
      if (got > 0) {
        state->writing = true;
        state->since = Clock::now();
        ++state->operation;
        lock.unlock();
        const size_t put = target->writeAt(at - sourceStart + targetStart, buffer.get(), got);
        lock.lock();
        if (late()) return;
        if (put < got) return finish(StraightRun::End::WriteFailed);
        state->result.done += got;
      }
      if (got < want) {
        state->result.blockEnd = end;
        return finish(StraightRun::End::Failed);
      }
      at = end;
      if (limits.slow.count() > 0 && took > limits.slow) return finish(StraightRun::End::Slow);
      if (progress.cancelled()) return finish(StraightRun::End::Stopped);
      if (Clock::now() - started > limits.budget) return finish(StraightRun::End::Paused);
    }
  });

  // Sleeps until the current operation's bound; the copying thread does not
  // wake it per block, only when the run ends.
  std::unique_lock<std::mutex> lock(state->mutex);
  while (!state->done) {
    uint64_t operation = state->operation;
    auto deadline = state->since + (state->writing ? limits.write : limits.read);
    if (state->ended.wait_until(lock, deadline, [&] { return state->done || state->operation != operation; }))
      continue;
    state->abandoned = true;
    hanging_->fetch_add(1);
    state->result.end = state->writing ? StraightRun::End::WriteHung : StraightRun::End::ReadHung;
    state->result.blockEnd = state->blockEnd;
    lock.unlock();
    worker.detach();
    return state->result;
  }
  lock.unlock();
  worker.join();
  return state->result;
}

}  // namespace dudorazu
