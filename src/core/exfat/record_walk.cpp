#include "core/exfat/record_walk.h"

#include <vector>

#include "core/exfat/tree_loader.h"

namespace dudorazu {

std::string topPathOf(const ExfatFileRecord& top) {
  return top.name == kExtendedFolderName ? std::string("/") + kExtendedFolderName : std::string("/");
}

std::string childPathOf(const std::string& parent, const std::string& name) {
  return parent.size() == 1 ? parent + name : parent + "/" + name;
}

std::string recordPath(const ExfatFileRecord& record) {
  std::vector<const ExfatFileRecord*> chain;
  const ExfatFileRecord* r = &record;
  for (; r->parent; r = r->parent) chain.push_back(r);
  std::string path = topPathOf(*r);
  // Appended in place: a new string per level would be quadratic in the depth.
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (path.size() != 1) path += '/';
    path += (*it)->name;
  }
  return path;
}

namespace {

// Walks the tree under `top` with each record's path: one path, cut back to
// the parent's and grown by the name for each record (a copy of the path
// per level would cost memory quadratic in the depth of the tree).
// `step(record, path, depth)` says whether to go below a record that has
// children.
template <class Step>
void walkWithPaths(const ExfatFileRecord& top, const std::string& topPath, Step&& step) {
  std::string path;
  std::vector<size_t> ends;  // where the path of each folder above ends
  walkTree(top, [&](const ExfatFileRecord& r, size_t depth) {
    if (depth == 0) {
      path = topPath;
    } else {
      path.resize(ends[depth - 1]);
      if (path.size() != 1) path += '/';
      path += r.name;
    }
    if (step(r, path, depth) == WalkStep::Skip || r.children.empty()) return WalkStep::Skip;
    ends.resize(depth + 1);
    ends[depth] = path.size();
    return WalkStep::Descend;
  });
}

}  // namespace

void forEachRecord(const ExfatFileRecord& top, const std::string& topPath, const RecordVisit& visit) {
  walkWithPaths(top, topPath, [&](const ExfatFileRecord& r, const std::string& path, size_t depth) {
    visit(r, path, depth);
    return WalkStep::Descend;
  });
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

namespace {

// Calls `visit` for the records of the tree under `top` whose path is
// `wanted`, depth first. A record's path begins with that of every folder
// above it, so only records whose path begins `wanted` are descended into:
// a lookup reads the folders on its way and their children, not a million
// records.
template <class Visit>
void visitPath(const ExfatFileRecord& top, const std::string& topPath, const std::string& wanted, Visit&& visit) {
  walkWithPaths(top, topPath, [&](const ExfatFileRecord& r, const std::string& path, size_t) {
    if (!wanted.starts_with(path)) return WalkStep::Skip;
    if (path.size() == wanted.size()) visit(r);
    // Even a match is descended into: a child with an empty name has its
    // parent's path when the parent is the top ("/").
    return WalkStep::Descend;
  });
}

}  // namespace

PathMatch findByPath(const LoadedVolume& volume, const std::string& wanted) {
  PathMatch found;
  const ExfatFileRecord* live = nullptr;
  const std::string path = withoutTrailingSlashes(wanted);
  auto visit = [&](const ExfatFileRecord& r) {
    ++found.matches;
    if (!found.record) found.record = &r;
    if (!live && !r.isDeleted()) live = &r;
  };
  visitPath(volume.rootRecord, "/", path, visit);
  if (!volume.extendedRecord.children.empty() || volume.extendedRecord.state != kStateNone)
    visitPath(volume.extendedRecord, std::string("/") + kExtendedFolderName, path, visit);
  if (live) found.record = live;
  return found;
}

}  // namespace dudorazu
