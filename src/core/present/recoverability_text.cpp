#include "core/present/recoverability_text.h"

#include <cinttypes>

#include "core/common/text.h"

namespace dudorazu {
namespace {

constexpr const char* kNames[kRecoverabilityCount] = {"intact", "carved", "guessed", "damaged", "overwritten",
                                                       "unreachable"};
constexpr const char* kLabels[kRecoverabilityCount] = {"可完整恢复", "雕刻恢复", "推测的簇链",
                                                        "扇区损坏",   "已被覆盖", "无法访问"};

}  // namespace

const char* recoverabilityName(Recoverability k) { return k < kRecoverabilityCount ? kNames[k] : "unreachable"; }
const char* recoverabilityLabel(Recoverability k) { return k < kRecoverabilityCount ? kLabels[k] : kLabels[kUnreachable]; }

std::string recoverabilityNames(uint8_t bits, const char* separator) {
  std::string out;
  for (int k = kRecoverabilityCount - 1; k > 0; --k)
    if (bits & recoverabilityBit(static_cast<Recoverability>(k))) out += (out.empty() ? "" : separator) + std::string(kNames[k]);
  return out.empty() ? kNames[kIntact] : out;
}

std::string recoverabilitySummary(const ExfatFileRecord& r, uint64_t clusterBytes) {
  std::string text = recoverabilityNames(r.recoverability);
  if (const uint64_t risk = bytesAtRisk(r, clusterBytes); risk != 0)
    text += format(" %" PRIu64 "/%" PRIu64, risk, r.dataLength);
  if (r.recoverMarks & kAlsoInTree) text += " also-in-tree";
  return text;
}

std::string recoverabilityLabelText(const ExfatFileRecord& r, uint64_t clusterBytes) {
  std::string text = recoverabilityLabel(worstRecoverability(r));
  if (const uint64_t risk = bytesAtRisk(r, clusterBytes); risk != 0)
    text += format("（%" PRIu64 "/%" PRIu64 " 字节）", risk, r.dataLength);
  if (r.recoverMarks & kAlsoInTree) text += "，另见目录树";
  return text;
}

std::string statisticsByStateText(const SubtreeTally& tally) {
  std::string text;
  for (int k = 0; k < kRecoverabilityCount; ++k)
    if (tally.byState[k] != 0)
      text += (text.empty() ? "" : "，") + std::string(kLabels[k]) + format(" %" PRIu64 " 个", tally.byState[k]);
  return text;
}

std::string countsByStateNames(const SubtreeTally& tally) {
  std::string text;
  for (int k = 0; k < kRecoverabilityCount; ++k)
    if (tally.byState[k] != 0) text += (text.empty() ? "" : ", ") + std::string(kNames[k]) + format(" %" PRIu64, tally.byState[k]);
  return text;
}

}  // namespace dudorazu
