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
// allocationFlags, created, modified and (unless it is a tree's top)
// parentCluster.
void writeRecordJson(JsonWriter& json, const ExfatFileRecord& record, const std::string& path);

// Writes the trees as the text of `{"records":[...]}` to `out`, record by
// record, so a huge tree never has to sit in memory as one string.
class RecordJsonStream {
 public:
  explicit RecordJsonStream(FILE* out);
  ~RecordJsonStream();
  void addTree(const ExfatFileRecord& top, const std::string& topPath);

 private:
  FILE* out_;
  bool first_ = true;
};

// The tree as indented text lines: name, state, size in bytes, created and
// modified times and first cluster.
void printTreeText(FILE* out, const ExfatFileRecord& top);

}  // namespace dudorazu::cli
