#pragma once
// Recognising an Office compound document (Word, Excel, PowerPoint) that
// begins at a raw cluster, and naming it from its summary information.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/sector_device.h"
#include "core/partitions/partition_record.h"

namespace dudorazu {

struct CarvedDocument {
  std::string name;    // title (else author), cluster number, extension
  uint64_t length = 0; // estimated from the number of FAT sectors
};

// The document's sectors are of the size its header gives (512 or 4096
// bytes) and are taken to follow each other from the cluster's start; the
// summary information stream is read where its directory entry says. The
// length is as far as its FAT sectors can map. None when the cluster is no
// compound document (or names another sector size) or the summary cannot
// be read.
std::optional<CarvedDocument> carveOle2Document(SectorDevice& device, uint32_t cluster,
                                                const uint8_t* clusterData, const PartitionRecord& partition);

// The summary information part alone, over a 1024-byte property set
// (exposed for tests): title, author and the extension the application
// name gives. False when the property set is malformed.
struct SummaryInfo {
  std::string title;
  std::string author;
  std::string extension;
};
bool parseSummaryInformation(const uint8_t* propertySet, SummaryInfo& info);

}  // namespace dudorazu
