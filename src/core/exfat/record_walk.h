#pragma once
// Walking a record tree, a record's path and finding a record by its path.
#include <cstddef>
#include <functional>
#include <string>

#include "core/common/tree_walk.h"
#include "core/exfat/exfat_file_record.h"
#include "core/exfat/loaded_volume.h"

namespace dudorazu {

// "/" for the root folder, "/扩展目录" for the folder of carved files: the
// path a tree's top is shown under.
std::string topPathOf(const ExfatFileRecord& top);
// `parent`'s path with `name` below it.
std::string childPathOf(const std::string& parent, const std::string& name);

// The record's path from its tree's top: the top's path, then the names
// below it joined by "/".
std::string recordPath(const ExfatFileRecord& record);

// Calls `visit(record, path, depth)` for every record of the tree under
// `top`, `top` first (depth 0, path `topPath`), depth first.
using RecordVisit = std::function<void(const ExfatFileRecord&, const std::string&, size_t)>;
void forEachRecord(const ExfatFileRecord& top, const std::string& topPath, const RecordVisit& visit);

struct PathMatch {
  const ExfatFileRecord* record = nullptr;  // a live one first when several share the path
  size_t matches = 0;                       // how many records have it
};

// The records of a loaded volume's trees (root folder, then carved files when
// there are any) whose path is `wanted`; trailing slashes do not count.
PathMatch findByPath(const LoadedVolume& volume, const std::string& wanted);

// `path` without trailing slashes; "/" stays.
std::string withoutTrailingSlashes(std::string path);

}  // namespace dudorazu
