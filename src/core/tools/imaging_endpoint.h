#pragma once
// The texts that name an imaging source or target: a disk's display name,
// or "display name,partition text" for one partition of it.
#include <cstdint>
#include <functional>
#include <string>

#include "core/common/byte_range.h"
#include "core/device/disk_catalogue.h"

namespace dudorazu {

struct ImagingEndpoint {
  bool diskFound = false;       // nothing below is set otherwise
  bool isPartition = false;
  bool partitionFound = false;  // a partition text that matched nothing leaves only devicePath
  std::string devicePath;
  ByteRange bytes;              // partitions only: what of the partition lies on its disk
  uint64_t claimedLength = 0;   // the table's length when it ran past the end, else 0
  uint64_t diskSize = 0;        // bytes, whole disks only
};

// A disk text and, after a comma, a partition text. Paths and display names
// may hold commas themselves, so the text is split where a disk is really
// named: the whole text when it names one, else at the first comma whose
// left side names one, else at the first comma with something before it
// (so that the caller can tell which disk was not found).
struct EndpointText {
  std::string disk;
  std::string partition;
  bool hasPartition = false;
};
EndpointText splitEndpointText(const std::string& text, const std::function<bool(const std::string&)>& namesDisk);

// An endpoint text split with splitEndpointText, a disk named by a display
// name in `catalogue` or by an existing path.
ImagingEndpoint resolveEndpoint(DiskCatalogue& catalogue, const std::string& text);

// The endpoint of a disk, or of one partition of it.
ImagingEndpoint endpointFor(const DiskRecord& disk, const PartitionRecord* partition = nullptr);

// The bytes the endpoint covers on its device: a partition's, or the whole
// disk's.
inline ByteRange endpointRange(const ImagingEndpoint& e) { return e.isPartition ? e.bytes : ByteRange::first(e.diskSize); }
inline uint64_t endpointBytes(const ImagingEndpoint& e) { return endpointRange(e).length(); }

// diskSize / 512 for a disk, a partition's length (cut at the disk's end) in
// 512-byte sectors, 0 when nothing matches.
uint64_t endpointSizeSectors(DiskCatalogue& catalogue, const std::string& text);

}  // namespace dudorazu
