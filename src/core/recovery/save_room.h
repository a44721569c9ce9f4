#pragma once
// The room test before a save: how many bytes the target has, and whether
// the save fits in them.
#include <cstdint>
#include <string>

#include "core/common/messages.h"

namespace dudorazu {

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
