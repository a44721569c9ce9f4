#include "core/present/statistics.h"

#include <cinttypes>

#include "core/common/text.h"
#include "core/present/display_format.h"
#include "core/present/recoverability_text.h"

namespace dudorazu {

// Counts are written in full; they never wrap into negative numbers.
std::string statisticsMessage(const SubtreeTally& tally) {
  std::string size = formatSizeLong(tally.bytes);
  if (size.empty()) size = "0B";
  return "文件统计： " + size + "在" + format("%" PRIu64, tally.folders) + "个文件夹中包含 " +
         format("%" PRIu64, tally.files) + "个文件";
}

std::optional<std::string> statisticsForRow(bool selected, const ExfatFileRecord* record) {
  if (!selected) return statisticsMessage(SubtreeTally{});
  if (!record) return std::nullopt;
  // The described totals, then how many files below come back whole and
  // how many do not.
  const SubtreeTally tally = tallySubtree(record);
  const std::string byState = statisticsByStateText(tally);
  return statisticsMessage(tally) + (byState.empty() ? "" : "；" + byState);
}

std::string folderStatusText(uint64_t bytes, uint64_t folders, uint64_t files) {
  std::string size = formatSizeLong(bytes);
  if (size.empty()) size = format("%" PRIu64, bytes);
  return "总大小 " + size + " 在 " + format("%" PRIu64, folders) + " 个文件夹中共有 " + format("%" PRIu64, files) +
         " 个文件";
}

std::string lostScanSummary(const ExfatFileRecord& root, const ExfatFileRecord& extended) {
  uint64_t folders = 0;
  for (const ExfatFileRecord& r : root.children) folders += r.isFolder() ? 1 : 0;
  return "扫描完毕：找到 " + format("%" PRIu64, folders) + " 个文件夹，恢复出 " +
         format("%" PRIu64, static_cast<uint64_t>(extended.children.size())) + " 个文件";
}

}  // namespace dudorazu
