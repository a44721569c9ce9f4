#include "core/partitions/file_system_text.h"

#include "core/partitions/fs_probes.h"

namespace dudorazu {

std::string fileSystemText(const PartitionRecord& p) {
  if (p.typeCode == kTypeHfs) return p.hfsKindText;
  if (p.typeCode == kTypeExt) return p.extVersion;
  return fileSystemName(p.typeCode);
}

const char* entryKindText(uint8_t entryKind) {
  return entryKind == kEntryPrimary ? "主" : entryKind == kEntryLogical ? "逻辑" : "";
}

}  // namespace dudorazu
