#pragma once
// The file-system and entry-kind texts of a partition.
#include <string>

#include "core/partitions/partition_record.h"

namespace dudorazu {

// The type code's name; for HFS records their kind text, for EXT records
// their version; empty otherwise.
std::string fileSystemText(const PartitionRecord& partition);

// "主" for a primary entry, "逻辑" for a logical one, empty for anything else.
const char* entryKindText(uint8_t entryKind);

}  // namespace dudorazu
