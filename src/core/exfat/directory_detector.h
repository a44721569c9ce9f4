#pragma once
// Recognising a cluster of directory entries among raw clusters.
#include <cstdint>

namespace dudorazu {

// True when the entry types at offsets 0, 32, 64 and 96 look like the start
// of a folder cluster: entry sets in order, or a root folder's label,
// bitmap and up-case entries. Needs 128 readable bytes.
bool looksLikeDirectoryCluster(const uint8_t* cluster);

}  // namespace dudorazu
