#include "core/tools/imaging_endpoint.h"

#include "platform/sector_device.h"
#include "core/tools/partition_search.h"
#include "platform/files.h"

namespace dudorazu {
namespace {

EndpointText splitInCatalogue(DiskCatalogue& catalogue, const std::string& text) {
  return splitEndpointText(text, [&](const std::string& disk) {
    return findDisk(catalogue, disk) != nullptr || platform::pathKind(disk) != platform::PathKind::Missing;
  });
}

}  // namespace

EndpointText splitEndpointText(const std::string& text, const std::function<bool(const std::string&)>& namesDisk) {
  if (namesDisk(text)) return {text, {}, false};
  size_t cut = std::string::npos;
  for (size_t comma = text.find(','); comma != std::string::npos; comma = text.find(',', comma + 1)) {
    if (comma == 0) continue;
    if (cut == std::string::npos) cut = comma;
    if (namesDisk(text.substr(0, comma))) {
      cut = comma;
      break;
    }
  }
  if (cut == std::string::npos) return {text, {}, false};
  return {text.substr(0, cut), text.substr(cut + 1), true};
}

ImagingEndpoint endpointFor(const DiskRecord& disk, const PartitionRecord* partition) {
  ImagingEndpoint e;
  e.diskFound = true;
  e.devicePath = disk.devicePath;
  if (!partition) {
    e.diskSize = disk.diskSize;
    return e;
  }
  e.isPartition = true;
  e.partitionFound = true;
  // Nothing past the disk's end is read: the range is cut there, and the
  // caller is told.
  e.bytes = partition->bytesOnDevice(disk.diskSize);
  if (e.bytes != partition->claimedBytes()) e.claimedLength = partition->sizeBytes();
  return e;
}

ImagingEndpoint resolveEndpoint(DiskCatalogue& catalogue, const std::string& text) {
  EndpointText split = splitInCatalogue(catalogue, text);
  DiskRecord* disk = findDisk(catalogue, split.disk);
  if (!disk) return {};
  if (!split.hasPartition) return endpointFor(*disk);
  if (PartitionRecord* p = findPartitionOrFoundVolume(*disk, split.partition)) return endpointFor(*disk, p);
  ImagingEndpoint e;
  e.diskFound = true;
  e.isPartition = true;
  e.devicePath = disk->devicePath;
  return e;
}

uint64_t endpointSizeSectors(DiskCatalogue& catalogue, const std::string& text) {
  EndpointText split = splitInCatalogue(catalogue, text);
  DiskRecord* disk = findDisk(catalogue, split.disk);
  if (!disk) return 0;
  if (!split.hasPartition) return disk->diskSize / kSectorSize;
  PartitionRecord* p = findPartitionOrFoundVolume(*disk, split.partition);
  return p ? endpointFor(*disk, p).bytes.length() / kSectorSize : 0;
}

}  // namespace dudorazu
