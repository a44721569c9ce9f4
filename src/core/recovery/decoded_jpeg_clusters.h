#pragma once
// The clusters of a deleted JPEG whose chain was cleared, chosen by decoding
// it: where its data stops decoding, the free clusters that continue it are
// taken instead of the next free ones in order. Photos written in turns
// (pieces of one between pieces of another) come back whole this way.
#include <optional>
#include <vector>

#include "platform/sector_device.h"
#include "core/exfat/exfat_file_record.h"
#include "core/exfat/loaded_volume.h"

namespace dudorazu {

// For a deleted file whose chain ends before its length (so that the save
// would guess the rest from the free clusters) and whose data starts like a
// JPEG: its clusters, from its first one on, covering its length. None when
// this is no such file or the decode does not reach the image's end marker
// within the length; the save's plain guess stands then.
std::optional<std::vector<ClusterRun>> decodedJpegClusters(SectorDevice& device, const LoadedVolume& volume,
                                                           const ExfatFileRecord& record);

}  // namespace dudorazu
