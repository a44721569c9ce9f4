#pragma once
// The statistics message of a row and the status text of a shown folder.
#include <cstdint>
#include <optional>
#include <string>

#include "core/exfat/subtree_tally.h"

namespace dudorazu {

inline constexpr const char* kStatisticsCaption = "文件统计";
inline constexpr const char* kStatisticsBusy = "正在计算，请稍后...";

// "文件统计： " + size + "在" + folders + "个文件夹中包含 " + files + "个文件".
// The size is the long form, "0B" for 0 bytes and for 1024^5 or more.
std::string statisticsMessage(const SubtreeTally& tally);

// The message for a statistics command: zeros when no row is selected
// (`selected` false), none when the row's record was not found.
std::optional<std::string> statisticsForRow(bool selected, const ExfatFileRecord* record);

// "总大小 " + size + " 在 " + folders + " 个文件夹中共有 " + files + " 个文件";
// the size is the long form, or the plain byte count for 0 and 1024^5 or more.
std::string folderStatusText(uint64_t bytes, uint64_t folders, uint64_t files);

// What a lost-file scan found: the folders standing under the root and the
// files carved under the extended folder.
std::string lostScanSummary(const ExfatFileRecord& root, const ExfatFileRecord& extended);

}  // namespace dudorazu
