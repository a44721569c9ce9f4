#pragma once
// The save commands without their windows: refusals, the room test, job
// preparation and the start of the jobs. The front end asks for the target
// folder and shows the progress; everything else happens here, once.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/common/messages.h"
#include "core/recovery/save_plan.h"
#include "core/recovery/save_room.h"

namespace dudorazu {

// Where a save command was given; the refusal texts and captions depend on it.
enum class SaveOrigin {
  LeftPane,   // the left pane's context menu
  RightPane,  // the right pane's context menu
  MainMenu,   // the main frame's menu or accelerator (acts on the left pane)
};

inline constexpr const char* kWaitForSave = "等待当前保存操作完成";
inline constexpr const char* kWaitForOperation = "等待当前操作完成";
inline constexpr const char* kChooseFile = "请选择文件";
inline constexpr const char* kChooseDestination = "选择保存路径";
inline constexpr const char* kNothingLoaded = "没有信息";
inline constexpr const char* kFreeSpaceUnknown = "无法得知目标盘的剩余空间，请重新选择保存路径!";

// The free bytes for `destination`; when they cannot be asked, false after
// showing kFreeSpaceUnknown (application title): no room test may pass then.
bool freeBytesForSave(const std::string& destination, uint64_t& freeBytes, MessageSink& messages);

// True when every file of the job was saved whole: none failed, damaged,
// shorter than recorded, read from clusters other files hold now, guessed,
// or cut off by a stop.
bool jobSucceeded(const SaveJob& job);

// True (after showing the message) when a single save may not start now.
bool refuseSingleSave(const SaveScheduler& scheduler, SaveOrigin origin, bool rowSelected, MessageSink& messages);
// True (after showing the message) when a batch save may not start now.
bool refuseBatchSave(const SaveScheduler& scheduler, SaveOrigin origin, MessageSink& messages);
// The same two for a front end that counts a save as running until its own
// finishing step has run (`running`).
bool refuseSingleSave(bool running, SaveOrigin origin, bool rowSelected, MessageSink& messages);
bool refuseBatchSave(bool running, SaveOrigin origin, MessageSink& messages);
// True (after showing "选择保存路径") for an empty destination.
bool refuseEmptyDestination(const std::string& destination, MessageSink& messages);

enum class SaveStart {
  Started,
  Refused,   // a message was shown
  Nothing,   // nothing to save (no request, record or disk found); no message
};

// A single save of a record the front end holds (already past
// refuseSingleSave and the destination test): refuses a target on the
// volume being read (refuseTargetOnSource), opens the disk, tests the room
// (a total equal to the free bytes is refused) and starts the job in
// per-file progress mode.
SaveStart startSingleSave(SaveScheduler& scheduler, const LocatedRecord& found, uint64_t rowId,
                          const std::string& destination, uint64_t freeBytes, ProgressBlock& progress,
                          MessageSink& messages, SaveJobOptions options = {}, SaveScheduler::JobDone onDone = nullptr);

struct BatchStart {
  SaveStart result = SaveStart::Nothing;
  uint64_t total = 0;
  uint64_t step = 0;
  size_t jobs = 0;
  std::string statusText;  // "本次保存 %llu Byte", for the status bar
};

// A batch save of records the front end holds (already past
// refuseBatchSave and the destination test): refuses a target on the volume
// being read, totals them, tests the room (a total equal to the free bytes
// fits), sets the bar to 0..100, makes one job per record that is there and
// whose disk opens, and starts them. A total below 100 bytes gives a step of 0, and
// the jobs then report per file.
BatchStart startBatchSave(SaveScheduler& scheduler, const std::vector<PlannedRecord>& records, uint64_t freeBytes,
                          ProgressBlock& progress, MessageSink& messages, const SaveJobOptions& options = {},
                          SaveScheduler::JobDone onJobDone = nullptr, SaveScheduler::BatchDone onBatchDone = nullptr);

}  // namespace dudorazu
