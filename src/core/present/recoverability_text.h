#pragma once
// A record's recoverability in words: the names the command line, its JSON
// and the DFXML report use, and the labels the desktop program shows.
#include <cstdint>
#include <string>

#include "core/exfat/recoverability.h"
#include "core/exfat/subtree_tally.h"

namespace dudorazu {

// "intact", "carved", "guessed", "damaged", "overwritten", "unreachable".
const char* recoverabilityName(Recoverability k);
// 可完整恢复, 雕刻恢复, 推测的簇链, 扇区损坏, 已被覆盖, 无法访问.
const char* recoverabilityLabel(Recoverability k);

// The names of every state in `bits`, worst first, joined by `separator`;
// "intact" for none.
std::string recoverabilityNames(uint8_t bits, const char* separator = ",");

// The command line's words for a record: the states, worst first, then the
// bytes at risk ("overwritten,damaged 8192/65536" with the record's length),
// then "also-in-tree" where it applies.
std::string recoverabilitySummary(const ExfatFileRecord& record, uint64_t clusterBytes);
// The desktop program's words for a record: its worst state's label, with
// the bytes at risk of its length where some are, and 另见目录树 where the
// live tree holds it too.
std::string recoverabilityLabelText(const ExfatFileRecord& record, uint64_t clusterBytes);

// How many files below a record are in each worst state: "可完整恢复 12 个，
// 已被覆盖 3 个" (states with no file left out); empty without files.
std::string statisticsByStateText(const SubtreeTally& tally);
// The same in the command line's words: "intact 12, overwritten 3".
std::string countsByStateNames(const SubtreeTally& tally);

}  // namespace dudorazu
