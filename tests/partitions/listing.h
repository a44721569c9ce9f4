#pragma once
// A disk's partitions as one comparable text: "name start+size tTYPE kKIND
// label", then the ext version and HFS kind where set, one line each.
#include <string>

#include "core/device/disk_record.h"

namespace dudorazu::test {

inline std::string listing(const DiskRecord& disk) {
  std::string out;
  for (const PartitionRecord& p : disk.partitions) {
    out += p.name + " " + std::to_string(p.startSector) + "+" + std::to_string(p.sizeSectors) + " t" +
           std::to_string(p.typeCode) + " k" + std::to_string(p.entryKind) + " " + p.label;
    if (!p.extVersion.empty()) out += " " + p.extVersion;
    if (p.hfsKind != 0) out += " hfs" + std::to_string(p.hfsKind);
    out += "\n";
  }
  return out;
}

}  // namespace dudorazu::test
