#include "core/recovery/record_lookup.h"

#include "core/present/display_format.h"

namespace dudorazu {
namespace {

ExfatFileRecord* searchIndex(const std::multimap<uint32_t, ExfatFileRecord*>& index, uint32_t fileNumber,
                             const std::string& name, const std::string& createdText) {
  auto [begin, end] = index.equal_range(fileNumber);
  for (auto it = begin; it != end; ++it) {
    ExfatFileRecord* r = it->second;
    if (r && r->name == name && createdTextOf(*r) == createdText) return r;
  }
  return nullptr;
}

}  // namespace

std::string createdTextOf(const ExfatFileRecord& record) {
  return formatRecordTime(record.createDate, record.createTime);
}

LocatedRecord locateRecordIn(DiskCatalogue& catalogue, const std::string& diskKey,
                             const std::string& partitionKey, uint32_t fileNumber, const std::string& name,
                             const std::string& createdText) {
  LocatedRecord found;
  found.disk = findDisk(catalogue, diskKey);
  if (!found.disk) return found;
  found.partition = findPartition(*found.disk, partitionKey);
  if (!found.partition) return found;
  found.record = searchIndex(found.partition->clusterIndex, fileNumber, name, createdText);
  if (!found.record) found.record = searchIndex(found.partition->carvedIndex, fileNumber, name, createdText);
  return found;
}

ExfatFileRecord* locateRecord(DiskCatalogue& catalogue, const std::string& diskKey,
                              const std::string& partitionKey, uint32_t fileNumber, const std::string& name,
                              const std::string& createdText) {
  return locateRecordIn(catalogue, diskKey, partitionKey, fileNumber, name, createdText).record;
}

}  // namespace dudorazu
