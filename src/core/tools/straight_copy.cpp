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
  uint64_t blockStart = 0, blockEnd = 0;
  StraightRun result;
};

// The end of the block of `size` bytes aligned on `base` that holds
// `position` (at or past `base`), at most `to`.
uint64_t alignedBlockEnd(uint64_t base, uint64_t size, uint64_t position, uint64_t to) {
  const uint64_t next = (position - base) / size * size + size;
  return next >= to - base ? to : base + next;
}

// The piece read next: from `at` forwards, or ending at `at` backwards.
ByteRange nextPiece(uint64_t base, uint64_t size, uint64_t at, uint64_t from, uint64_t to, bool forwards) {
  if (forwards) return *ByteRange::between(at, alignedBlockEnd(base, size, at, to));
  const uint64_t start = base + (at - 1 - base) / size * size;
  return *ByteRange::between(std::max(start, from), at);
}

}  // namespace


StraightRun StraightCopy::run(uint64_t from, uint64_t to, const StraightLimits& limits, const ProgressBlock& progress,
                              StraightMode mode) {
  StraightRun refused;
  if (from >= to) return refused;
  const uint64_t pieceSize = mode.sectors ? kSectorSize : blockSize_;
  const ByteRange first = nextPiece(sourceStart_, pieceSize, mode.forwards ? from : to, from, to, mode.forwards);
  if (hanging_->load() >= kMaxHangingOperations) {
    refused.end = StraightRun::End::ReadHung;
    refused.blockStart = first.start();
    refused.blockEnd = first.end();
    return refused;
  }
  auto state = std::make_shared<RunState>();
  state->since = Clock::now();
  state->blockStart = first.start();
  state->blockEnd = first.end();
  // The thread takes copies of all it needs: it may outlive this object.
  std::thread worker([state, source = source_, target = target_, hanging = hanging_, sourceStart = sourceStart_,
                      targetStart = targetStart_, pieceSize, from, to, limits, mode, &progress] {
    // The thread's own buffer: a read that returns after the watcher gave
    // up lands here and nowhere else.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[pieceSize]);
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
    for (uint64_t at = mode.forwards ? from : to;;) {
      std::unique_lock<std::mutex> lock(state->mutex);
      if (state->abandoned) return;
      if (at == (mode.forwards ? to : from)) return finish(StraightRun::End::Finished);
      const ByteRange piece = nextPiece(sourceStart, pieceSize, at, from, to, mode.forwards);
      state->blockStart = piece.start();
      state->blockEnd = piece.end();
      state->writing = false;
      state->since = Clock::now();
      ++state->operation;
      lock.unlock();
      const size_t want = static_cast<size_t>(piece.length());
      const Clock::time_point readStart = Clock::now();
      size_t got = source->readAt(piece.start(), buffer.get(), want);
      const auto took = Clock::now() - readStart;
      if (mode.sectors && got < want) got = 0;  // a sector reads whole or not at all
      lock.lock();
      if (late()) return;
      if (got > 0) {
        state->writing = true;
        state->since = Clock::now();
        ++state->operation;
        lock.unlock();
        const size_t put = target->writeAt(piece.start() - sourceStart + targetStart, buffer.get(), got);
        lock.lock();
        if (late()) return;
        if (put < got) return finish(StraightRun::End::WriteFailed);
        state->result.done += got;
      }
      at = mode.forwards ? piece.end() : piece.start();
      if (got < want) {
        if (!mode.sectors) {
          state->result.blockStart = piece.start() + got;
          state->result.blockEnd = piece.end();
          return finish(StraightRun::End::Failed);
        }
        state->result.bad.push_back(piece);
        state->result.done += want;
        if (!mode.pastErrors) return finish(StraightRun::End::Failed);
      }
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
    state->result.blockStart = state->blockStart;
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
