#pragma once
// Rows of the file panes hold texts, not pointers; a row finds its record
// again by its disk and partition keys, file number, name and created time.
#include <cstdint>
#include <string>

#include "core/device/disk_catalogue.h"

namespace dudorazu {

struct LocatedRecord {
  DiskRecord* disk = nullptr;
  PartitionRecord* partition = nullptr;
  ExfatFileRecord* record = nullptr;  // null when not found
};

// The disk whose display name is `diskKey`, its partition whose name (else
// drive letter) is `partitionKey`, and there the first record under
// `fileNumber` in the cluster index, else in the carved index, whose name and
// created-time text match.
LocatedRecord locateRecordIn(DiskCatalogue& catalogue, const std::string& diskKey,
                             const std::string& partitionKey, uint32_t fileNumber, const std::string& name,
                             const std::string& createdText);

ExfatFileRecord* locateRecord(DiskCatalogue& catalogue, const std::string& diskKey,
                              const std::string& partitionKey, uint32_t fileNumber, const std::string& name,
                              const std::string& createdText);

// The created-time text of a record, the last part of its key.
std::string createdTextOf(const ExfatFileRecord& record);

}  // namespace dudorazu
