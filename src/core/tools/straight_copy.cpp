#include "core/tools/straight_copy.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "core/common/text.h"

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
  uint64_t area = 0;
  StraightRun result;
};

}  // namespace

StraightRun StraightCopy::run(uint64_t first, ProgressBlock& progress, std::chrono::milliseconds readLimit,
                              std::chrono::milliseconds writeLimit) {
  auto state = std::make_shared<RunState>();
  state->area = first;
  state->since = Clock::now();
  const uint64_t areas = (length_ + blockSize_ - 1) / blockSize_;
  std::thread worker([state, source = source_, target = target_, sourceBase = sourceBase_, targetBase = targetBase_,
                      length = length_, blockSize = blockSize_, areas, first, &progress] {
    // The thread's own buffer: a read that returns after the watcher gave
    // up lands here and nowhere else.
    // Not zeroed first: every byte written out was read into it just before.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[blockSize]);
    auto finish = [&](StraightRun::End end, uint64_t area) {
      state->result.end = end;
      state->result.stoppedAt = area;
      state->done = true;
      state->ended.notify_all();
    };
    for (uint64_t area = first;; ++area) {
      std::unique_lock<std::mutex> lock(state->mutex);
      if (state->abandoned) return;
      if (area == areas) return finish(StraightRun::End::Finished, area);
      state->area = area;
      state->writing = false;
      state->since = Clock::now();
      ++state->operation;
      lock.unlock();
      uint64_t offset = area * blockSize;
      size_t want = static_cast<size_t>(std::min<uint64_t>(blockSize, length - offset));
      size_t got = source->readAt(sourceBase + offset, buffer.get(), want);
      lock.lock();
      if (state->abandoned) return;
      if (got < want) return finish(StraightRun::End::ShortRead, area);
      state->writing = true;
      state->since = Clock::now();
      ++state->operation;
      lock.unlock();
      size_t put = target->writeAt(targetBase + offset, buffer.get(), want);
      lock.lock();
      if (state->abandoned) return;
      if (put < want) return finish(StraightRun::End::WriteFailed, area);
      ++state->result.areasDone;
      progress.stepIt();
      progress.setText(format("%llu", static_cast<unsigned long long>((offset + want) / kSectorSize)));
      if (progress.cancelled() && area + 1 < areas) return finish(StraightRun::End::Stopped, area + 1);
    }
  });

  // Sleeps until the current operation's bound; the copying thread does not
  // wake it per block, only when the run ends.
  std::unique_lock<std::mutex> lock(state->mutex);
  while (!state->done) {
    uint64_t operation = state->operation;
    auto deadline = state->since + (state->writing ? writeLimit : readLimit);
    if (state->ended.wait_until(lock, deadline, [&] { return state->done || state->operation != operation; }))
      continue;
    state->abandoned = true;
    state->result.end = state->writing ? StraightRun::End::WriteHung : StraightRun::End::ReadHung;
    state->result.stoppedAt = state->area;
    lock.unlock();
    worker.detach();
    return state->result;
  }
  lock.unlock();
  worker.join();
  return state->result;
}

}  // namespace dudorazu
