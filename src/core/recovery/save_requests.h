#pragma once
// From check marks to save requests, and the room test before a save. The
// rows are a plain tree both front ends can build from what they show.
#include <cstdint>
#include <string>
#include <vector>

#include "core/common/messages.h"
#include "core/device/disk_catalogue.h"

namespace dudorazu {

// One row of a file pane as the save commands see it.
struct CheckRow {
  std::string name;         // column 0
  uint32_t fileNumber = 0;  // left pane column 1, right pane column 6
  std::string createdText;  // left pane column 2, right pane column 3
  uint8_t check = 0;        // 0 unchecked, 1 checked, 2 partly checked
  uint64_t rowId = 0;       // the front end's handle of the row
  std::vector<CheckRow> children;
};

// The disk and partition a pane shows (display name; name or drive letter).
struct PaneKeys {
  std::string diskKey;
  std::string partitionKey;
};

struct SaveRequest {
  uint32_t fileNumber = 0;
  std::string createdText;
  std::string name;
  std::string diskKey;
  std::string partitionKey;
  std::string destination;
  uint64_t rowId = 0;
};

// Left pane, from the rows under the top row, in tree order: a row checked 1
// is one request (its whole subtree is saved), a row checked 2 is looked into,
// a row checked 0 is passed over with everything below it.
std::vector<SaveRequest> collectLeftRequests(const std::vector<CheckRow>& rows, const PaneKeys& keys,
                                             const std::string& destination);

// Right pane: every row present whose check is not 0, in list order.
std::vector<SaveRequest> collectRightRequests(const std::vector<CheckRow>& rows, const PaneKeys& keys,
                                              const std::string& destination);

// Bytes per step of the batch bar (a hundredth of the total). 0 for a total
// below 100 bytes: such a batch reports per file.
inline uint64_t batchStepFor(uint64_t total) { return total / 100; }

// "即将保存 %.1f" + unit + ",磁盘空间不够！" for `total` bytes.
std::string singleSaveRoomMessage(uint64_t total);
inline constexpr const char* kBatchRoomMessage = "目标盘剩余空间不足，请重新选择盘!";

// The room tests; each shows its message (application title) and returns
// true when the save must not start. A single save needs more room than its
// total; a batch may fill the free room exactly.
bool refuseSingleSaveForRoom(uint64_t total, uint64_t freeBytes, MessageSink& messages);
bool refuseBatchForRoom(uint64_t total, uint64_t freeBytes, MessageSink& messages);

// Free bytes for this user on the file system that will hold `destination`,
// asked of its nearest existing folder (it may not exist yet). False when
// that cannot be asked, or when that is not a folder.
bool destinationFreeBytes(const std::string& destination, uint64_t& freeBytes);

}  // namespace dudorazu
