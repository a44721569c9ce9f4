#pragma once
// Walking a record tree, a record's path and finding a record by its path.
// Every walk keeps its own stack instead of recursing: a hostile image may
// nest folders tens of thousands deep, far deeper than a thread's stack.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/exfat/exfat_file_record.h"
#include "core/partitions/partition_record.h"

namespace dudorazu {

enum class WalkStep {
  Descend,  // go on with the node's children
  Skip,     // pass over its children
  Stop,     // end the whole walk at once
};

// Depth first in children order, `top` first at depth 0, over any tree whose
// nodes hold their `children` in a container. `enter(node, depth)` says
// whether to go below the node; `leave(node, depth)` follows the last child
// of every node `enter` descended into (at once when it has none). A stopped
// walk leaves nothing more. False when stopped.
template <class Node, class Enter, class Leave>
bool walkTree(Node& top, Enter&& enter, Leave&& leave) {
  using It = decltype(top.children.begin());
  struct Level {
    Node* node;
    It next, end;
  };
  WalkStep step = enter(top, size_t{0});
  if (step == WalkStep::Stop) return false;
  if (step == WalkStep::Skip) return true;
  std::vector<Level> stack{{&top, top.children.begin(), top.children.end()}};
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next == level.end) {
      Node& done = *level.node;
      stack.pop_back();
      leave(done, stack.size());
      continue;
    }
    Node& node = *level.next++;
    step = enter(node, stack.size());
    if (step == WalkStep::Stop) return false;
    if (step == WalkStep::Descend) stack.push_back({&node, node.children.begin(), node.children.end()});
  }
  return true;
}

template <class Node, class Enter>
bool walkTree(Node& top, Enter&& enter) {
  return walkTree(top, std::forward<Enter>(enter), [](Node&, size_t) {});
}

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

// The records of a partition's trees (root folder, then carved files when
// there are any) whose path is `wanted`; trailing slashes do not count.
PathMatch findByPath(const PartitionRecord& partition, const std::string& wanted);

// `path` without trailing slashes; "/" stays.
std::string withoutTrailingSlashes(std::string path);

}  // namespace dudorazu
