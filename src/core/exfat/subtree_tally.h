#pragma once
// Sizes and counts of a record with everything below it, for the room check
// before a save, the batch progress step and the statistics message.
#include <cstdint>

#include "core/exfat/recoverability.h"

namespace dudorazu {

struct SubtreeTally {
  uint64_t bytes = 0;    // dataLength of every file (states 2 and 4)
  uint64_t files = 0;    // records of state 2 or 4
  uint64_t folders = 0;  // records of state 1 or 3
  uint64_t byState[kRecoverabilityCount] = {};  // files by their worst Recoverability
  uint64_t alsoInTree = 0;                      // files the live tree holds too (kAlsoInTree)
};

// Sum of dataLength over the files of the subtree; records of state 0 or
// above 4 count nothing and are not descended. Saturates instead of
// wrapping, so hostile lengths cannot make a save look small. 0 for null.
uint64_t subtreeBytes(const ExfatFileRecord* record);

// The same sum with files and folders counted at every level.
SubtreeTally tallySubtree(const ExfatFileRecord* record);

}  // namespace dudorazu
