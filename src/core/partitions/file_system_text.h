#pragma once
// The file-system column of the disk tree for one partition.
#include <string>

#include "core/partitions/partition_record.h"

namespace dudorazu {

// The type code's name; for HFS records their kind text, for EXT records
// their version; empty otherwise.
std::string fileSystemText(const PartitionRecord& partition);

}  // namespace dudorazu
