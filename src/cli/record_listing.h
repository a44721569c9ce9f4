#pragma once
// How the command line shows ExfatFileRecords: an indented text tree and
// JSON objects, both in depth-first order. Shared by tree, scan-lost and
// recover --dry-run.
#include <cstdio>
#include <string>

#include "cli/cli_support.h"
#include "core/exfat/record_walk.h"

namespace dudorazu::cli {

// One JSON object: path, name, state, stateText, dataLength, firstCluster,
// allocationFlags, created, modified, (unless it is a tree's top)
// parentCluster, then recoverability (the worst state's name),
// recoverabilityStates (every one that applies, worst first), bytesAtRisk,
// overwrittenBytes, damagedBytes and alsoInTree.
void writeRecordJson(JsonWriter& json, const ExfatFileRecord& record, const std::string& path, uint64_t clusterBytes);

// Writes the trees as the text of `{"records":[...]}` to `out`, record by
// record, so a huge tree never has to sit in memory as one string.
class RecordJsonStream {
 public:
  // `clusterBytes`: the volume's, for the bytes at risk.
  RecordJsonStream(FILE* out, uint64_t clusterBytes);
  ~RecordJsonStream();
  void addTree(const ExfatFileRecord& top, const std::string& topPath);

 private:
  FILE* out_;
  uint64_t clusterBytes_;
  bool first_ = true;
};

// The tree as indented text lines: name, state, size in bytes, created and
// modified times, first cluster and recoverability (recoverabilitySummary).
void printTreeText(FILE* out, const ExfatFileRecord& top, uint64_t clusterBytes);

}  // namespace dudorazu::cli
