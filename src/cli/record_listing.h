#pragma once
// How the command line shows ExfatFileRecords: an indented text tree and
// JSON objects, both in depth-first order. Shared by tree, scan-lost and
// recover --dry-run.
#include <cstdio>
#include <functional>
#include <string>

#include "cli/cli_support.h"
#include "core/exfat/exfat_file_record.h"

namespace dudorazu::cli {

// "正常文件", "已删除文件", "正常文件夹", "已删除文件夹"; empty for an unfilled record.
const char* stateText(uint8_t state);

// The record's path from its tree's top: "/" for the root folder and
// "/扩展目录" for the folder of carved files, then the names below them
// joined by "/".
std::string recordPath(const ExfatFileRecord& record);

// One JSON object: path, name, state, stateText, dataLength, firstCluster,
// allocationFlags, created, modified and (unless it is a tree's top)
// parentCluster.
void writeRecordJson(JsonWriter& json, const ExfatFileRecord& record, const std::string& path);

// Calls `visit(record, path, depth)` for every record of the tree under
// `top`, `top` first (depth 0, path `topPath`), depth first, without
// recursion: a hostile image may nest folders far deeper than a stack allows.
void forEachRecord(const ExfatFileRecord& top, const std::string& topPath,
                   const std::function<void(const ExfatFileRecord&, const std::string&, size_t)>& visit);

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
