#include "core/tools/straight_copy.h"

#include "core/tools/bounded_io.h"

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
template <class Result>
struct RunState {
  std::mutex mutex;
  std::condition_variable ended;
  bool writing = false;
  bool done = false;
  bool abandoned = false;
  uint64_t operation = 0;  // counts started operations
  Clock::time_point since;
  ByteRange piece;  // being read or written
  Result result;

  // On the worker, under the lock: a read of `bytes`, or the write of what
  // it read, starts now, for the watcher to time.
  void reading(const ByteRange& bytes) {
    piece = bytes;
    started(false);
  }
  void started(bool write) {
    writing = write;
    since = Clock::now();
    ++operation;
  }
  // On the worker, under the lock: the run has ended with `end`.
  template <typename End>
  void finish(End end) {
    result.end = end;
    done = true;
    ended.notify_all();
  }
  // On the worker, under the lock, after an operation came back: true when
  // the watcher gave the run up meanwhile (it counted the operation as
  // hanging; this uncounts it), so the worker leaves without a word.
  bool late(std::atomic<int>& hanging) {
    if (!abandoned) return false;
    hanging.fetch_sub(1);
    return true;
  }
};

// The end of the block of `size` bytes aligned on `base` that holds
// `position` (at or past `base`), at most `to`.
uint64_t alignedBlockEnd(uint64_t base, uint64_t size, uint64_t position, uint64_t to) {
  const uint64_t next = (position - base) / size * size + size;
  return next >= to - base ? to : base + next;
}

// The sector of [a, e) at its leading or trailing edge; sectors are
// aligned on `base`.
ByteRange edgeSector(uint64_t base, uint64_t a, uint64_t e, bool leading) {
  if (leading) return *ByteRange::between(a, alignedBlockEnd(base, kSectorSize, a, e));
  return *ByteRange::between(std::max(a, base + (e - 1 - base) / kSectorSize * kSectorSize), e);
}

// Sleeps until the current operation's bound; the working thread does not
// wake it per operation, only when the run ends. On a bound passed the
// worker is left behind and the result as it stood is returned.
template <class Result, class OnHang>
Result watch(std::shared_ptr<RunState<Result>> state, std::thread& worker, const StraightLimits& limits,
             std::atomic<int>& hanging, OnHang onHang) {
  std::unique_lock<std::mutex> lock(state->mutex);
  while (!state->done) {
    const uint64_t operation = state->operation;
    const auto deadline = state->since + (state->writing ? limits.write : limits.read);
    if (state->ended.wait_until(lock, deadline, [&] { return state->done || state->operation != operation; }))
      continue;
    state->abandoned = true;
    hanging.fetch_add(1);
    onHang(*state);
    Result result = state->result;
    lock.unlock();
    worker.detach();
    return result;
  }
  lock.unlock();
  worker.join();
  return state->result;
}

}  // namespace

StraightRun StraightCopy::run(uint64_t from, uint64_t to, const StraightLimits& limits, const ProgressBlock& progress) {
  StraightRun refused;
  if (from >= to) return refused;
  const ByteRange first = *ByteRange::between(from, alignedBlockEnd(sourceStart_, blockSize_, from, to));
  if (hanging_->load() >= kMaxHangingOperations) {
    refused.end = StraightRun::End::ReadHung;
    refused.blockStart = first.start();
    refused.blockEnd = first.end();
    return refused;
  }
  auto state = std::make_shared<RunState<StraightRun>>();
  state->since = Clock::now();
  state->piece = first;
  // The thread takes copies of all it needs: it may outlive this object.
  std::thread worker([state, source = source_, target = target_, hanging = hanging_, sourceStart = sourceStart_,
                      targetStart = targetStart_, blockSize = blockSize_, from, to, limits, &progress] {
    // The thread's own buffer: a read that returns after the watcher gave
    // up lands here and nowhere else.
    IoBuffer buffer(blockSize);
    const Clock::time_point started = Clock::now();
    auto finish = [&](StraightRun::End end) { state->finish(end); };
    auto late = [&] { return state->late(*hanging); };
    for (uint64_t at = from;;) {
      std::unique_lock<std::mutex> lock(state->mutex);
      if (state->abandoned) return;
      if (at == to) return finish(StraightRun::End::Finished);
      const ByteRange piece = *ByteRange::between(at, alignedBlockEnd(sourceStart, blockSize, at, to));
      state->reading(piece);
      lock.unlock();
      const size_t want = static_cast<size_t>(piece.length());
      const Clock::time_point readStart = Clock::now();
      const size_t got = source->readAt(at, buffer.data(), want);
      const auto took = Clock::now() - readStart;
      lock.lock();
      if (late()) return;
      if (got > 0) {
        state->started(true);
        lock.unlock();
        const size_t put = target->writeAt(at - sourceStart + targetStart, buffer.data(), got);
        lock.lock();
        if (late()) return;
        if (put < got) return finish(StraightRun::End::WriteFailed);
        state->result.done += got;
      }
      if (got < want) {
        state->result.blockStart = at + got;
        state->result.blockEnd = piece.end();
        return finish(StraightRun::End::Failed);
      }
      at = piece.end();
      if (limits.slow.count() > 0 && took > limits.slow) return finish(StraightRun::End::Slow);
      if (progress.cancelled()) return finish(StraightRun::End::Stopped);
      if (Clock::now() - started > limits.budget) return finish(StraightRun::End::Paused);
    }
  });
  return watch(state, worker, limits, *hanging_, [](RunState<StraightRun>& s) {
    s.result.end = s.writing ? StraightRun::End::WriteHung : StraightRun::End::ReadHung;
    s.result.blockStart = s.piece.start();
    s.result.blockEnd = s.piece.end();
  });
}

SectorRun StraightCopy::runSectors(std::vector<SectorTask> tasks, const StraightLimits& limits,
                                   const ProgressBlock& progress) {
  auto state = std::make_shared<RunState<SectorRun>>();
  state->result.tasks = std::move(tasks);
  if (state->result.tasks.empty()) return state->result;
  if (hanging_->load() >= kMaxHangingOperations) {
    // Nothing is tried: the first sector due is taken as not coming back.
    SectorTask& t = state->result.tasks.front();
    const bool leading = t.trim ? (t.forwards ? t.leading : !t.trailing) : t.forwards;
    state->result.end = StraightRun::End::ReadHung;
    state->result.hung = edgeSector(sourceStart_, t.a, t.e, leading);
    return state->result;
  }
  state->since = Clock::now();
  std::thread worker([state, source = source_, target = target_, hanging = hanging_, sourceStart = sourceStart_,
                      targetStart = targetStart_, limits, &progress] {
    IoBuffer buffer(kSectorSize);
    const Clock::time_point started = Clock::now();
    auto finish = [&](StraightRun::End end) { state->finish(end); };
    auto late = [&] { return state->late(*hanging); };
    std::unique_lock<std::mutex> lock(state->mutex);
    SectorRun& r = state->result;
    for (; r.tasksDone < r.tasks.size(); ++r.tasksDone) {
      SectorTask& t = r.tasks[r.tasksDone];
      for (;;) {
        if (state->abandoned) return;
        // The edge read next: a trim reads its first edge up to a bad
        // sector, then its other edge; otherwise one edge throughout.
        bool leading = t.forwards;
        if (t.trim) {
          const bool first = t.forwards ? t.leading : t.trailing, second = t.forwards ? t.trailing : t.leading;
          if (!first && !second) break;
          leading = first ? t.forwards : !t.forwards;
        }
        if (t.a >= t.e) break;
        const ByteRange piece = edgeSector(sourceStart, t.a, t.e, leading);
        state->reading(piece);
        lock.unlock();
        const size_t want = static_cast<size_t>(piece.length());
        const bool good = source->readAt(piece.start(), buffer.data(), want) == want;
        lock.lock();
        if (late()) return;
        if (good) {
          state->started(true);
          lock.unlock();
          const size_t put = target->writeAt(piece.start() - sourceStart + targetStart, buffer.data(), want);
          lock.lock();
          if (late()) return;
          if (put < want) return finish(StraightRun::End::WriteFailed);
        } else {
          r.bad.push_back(piece);
          if (t.trim) (leading ? t.leading : t.trailing) = false;
        }
        (leading ? t.a : t.e) = leading ? piece.end() : piece.start();
        if (progress.cancelled()) return finish(StraightRun::End::Stopped);
        if (Clock::now() - started > limits.budget) return finish(StraightRun::End::Paused);
      }
    }
    finish(StraightRun::End::Finished);
  });
  return watch(state, worker, limits, *hanging_, [](RunState<SectorRun>& s) {
    s.result.end = s.writing ? StraightRun::End::WriteHung : StraightRun::End::ReadHung;
    s.result.hung = s.piece;
  });
}

}  // namespace dudorazu
