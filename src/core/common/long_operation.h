#pragma once
// The one shape of every long operation (tree load, lost-file scan, saves,
// search, scans, imaging, statistics): the title of its progress window, the
// running marker that keeps a second one of its kind from starting, and a run
// over a progress block, a message sink and the questions. The command line
// runs it with a bar on its terminal; the GUI runs it on a worker and polls
// the block.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "core/common/messages.h"
#include "core/common/progress_block.h"

namespace dudorazu {

// Titles of the progress windows.
inline constexpr const char* kTitleExpandPartition = "展开分区文件";
inline constexpr const char* kTitleLostFileScan = "扫描丢失文件";
inline constexpr const char* kTitleSaving = "正在保存文件";
inline constexpr const char* kTitleCheckingSave = "检查";  // a save that writes nothing
inline constexpr const char* kTitleSearch = "扫描分区";
inline constexpr const char* kTitleWholeDiskScan = "全盘扫描";
inline constexpr const char* kTitlePartitionScan = "分区扫描";
inline constexpr const char* kTitleImaging = "镜像";

// Refusals while an operation of the same kind runs.
inline constexpr const char* kWaitForCurrentOperation = "等待当前操作完成！";
inline constexpr const char* kWaitForCurrentOperationPlease = "等待当前操作完成，请稍后！";
inline constexpr const char* kWaitForThisOperation = "等待此操作完成！";
inline constexpr const char* kStillCalculating = "正在计算，请稍后...";

// A running flag or busy counter, with the refusal a command shows while it
// is set. Taking a flag that is set fails; a counter counts every taker.
// Safe to test and take from any thread.
class RunningMarker {
 public:
  enum class Kind { Flag, Counter };
  RunningMarker(Kind kind, const char* refusal, const char* caption)
      : kind_(kind), refusal_(refusal), caption_(caption) {}
  RunningMarker(const RunningMarker&) = delete;
  RunningMarker& operator=(const RunningMarker&) = delete;

  bool running() const { return count_.load() != 0; }
  // True (after showing the refusal) while it is set.
  bool refuse(MessageSink& messages) const {
    if (!running()) return false;
    messages.show(refusal_, caption_);
    return true;
  }
  // False (after showing the refusal) when a flag is already set.
  bool take(MessageSink& messages) {
    if (kind_ == Kind::Counter) {
      count_.fetch_add(1);
      return true;
    }
    uint32_t idle = 0;
    if (count_.compare_exchange_strong(idle, 1)) return true;
    messages.show(refusal_, caption_);
    return false;
  }
  void release() { count_.fetch_sub(1); }

 private:
  Kind kind_;
  const char* refusal_;
  const char* caption_;
  std::atomic<uint32_t> count_{0};
};

// The markers one partition window keeps for its left pane.
struct PaneMarkers {
  RunningMarker busy{RunningMarker::Kind::Counter, kWaitForCurrentOperationPlease, kCaptionError};
  RunningMarker loading{RunningMarker::Kind::Flag, kWaitForThisOperation, kCaptionError};
};

// The markers the whole program shares. Saves are guarded by the save
// scheduler's own flags.
struct ProcessMarkers {
  RunningMarker search{RunningMarker::Kind::Flag, kWaitForCurrentOperation, kCaptionWaiting};  // and whole-disk scan
  RunningMarker partitionScan{RunningMarker::Kind::Flag, kWaitForCurrentOperation, kCaptionWaiting};
  RunningMarker imaging{RunningMarker::Kind::Flag, kWaitForCurrentOperation, kCaptionWaiting};
  RunningMarker statistics{RunningMarker::Kind::Flag, kStillCalculating, kCaptionWaiting};
  // A partition table backup or restore, and a rebuild while one runs.
  RunningMarker tables{RunningMarker::Kind::Flag, kWaitForCurrentOperation, kCaptionWaiting};
};

struct LongOperation {
  std::string title;                 // of its progress window
  RunningMarker* marker = nullptr;   // taken while it runs; none when null
  bool stoppable = false;            // the run tests the block's cancel flag
  // True when the operation did what it was asked to.
  std::function<bool(ProgressBlock&, MessageSink&, Questions&)> run;
};

// Runs `operation` on the calling thread with its marker taken. False when
// the marker refused (its message shown) or the run failed.
inline bool runLongOperation(const LongOperation& operation, ProgressBlock& progress, MessageSink& messages,
                             Questions& questions) {
  if (operation.marker && !operation.marker->take(messages)) return false;
  struct Release {
    RunningMarker* marker;
    ~Release() {
      if (marker) marker->release();
    }
  } release{operation.marker};
  return operation.run(progress, messages, questions);
}

}  // namespace dudorazu
