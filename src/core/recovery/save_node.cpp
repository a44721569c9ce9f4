#include "core/recovery/save_engine.h"

#include "core/recovery/file_times.h"
#include "platform/files.h"

namespace dudorazu {
namespace {

// A folder whose name is taken by a file (a deleted file and a live folder
// of one name, or names that repair made equal) moves aside to a counted
// name, as a file would, instead of losing everything below it.
bool folderOrFree(const std::string& path) {
  platform::PathKind kind = platform::pathKind(path);
  return kind == platform::PathKind::Missing || kind == platform::PathKind::Folder;
}

std::string folderPathFor(const std::string& path) {
  if (folderOrFree(path)) return path;
  for (uint64_t n = 0;; ++n) {
    std::string candidate = path + std::to_string(n);
    if (folderOrFree(candidate)) return candidate;
  }
}

}  // namespace

void saveNode(SaveContext& context, const std::string& destination, const ExfatFileRecord* record) {
  if (!record) return;
  SaveNamespace ownNames;
  if (!context.names) context.names = &ownNames;
  struct Frame {
    const ExfatFileRecord* record;
    std::string path;
    bool descended;
  };
  // Depth first in children order, with an explicit stack: a hostile image
  // can nest folders deeper than any thread stack.
  std::vector<Frame> pending;
  pending.push_back({record, destination + "/" + outputNameFor(*record, context.nameOptions), false});
  while (!pending.empty()) {
    Frame frame = std::move(pending.back());
    pending.pop_back();
    if (frame.descended) {
      // Every file below is written; now the folder's own date can stay.
      if (context.keepTimes && !context.dryRun && context.names->madeFolder(frame.path))
        setModifiedTime(frame.path, frame.record->modifyDate, frame.record->modifyTime);
      continue;
    }
    if (context.progress && context.progress->cancelled()) break;
    const ExfatFileRecord& r = *frame.record;
    if (r.isFolder()) {
      if (!context.dryRun) frame.path = folderPathFor(frame.path);
      // Unfiltered, a folder is made even when nothing below it is: empty
      // folders were part of what the volume held.
      if (!context.fileFilter && (context.dryRun || createFolderPath(frame.path, context.names)) && context.onFolder)
        context.onFolder(frame.path);
      pending.push_back({frame.record, frame.path, true});
      for (auto it = r.children.rbegin(); it != r.children.rend(); ++it)
        pending.push_back({&*it, frame.path + "/" + outputNameFor(*it, context.nameOptions), false});
    } else if (r.isFile()) {
      if (!context.fileFilter || context.fileFilter(r)) saveFileData(context, frame.path, r);
    }
  }
  if (context.names == &ownNames) context.names = nullptr;
}

std::string volumePathOf(const ExfatFileRecord& record, const PartitionRecord& partition) {
  std::vector<const ExfatFileRecord*> chain;
  for (const ExfatFileRecord* r = &record; r; r = r->parent) chain.push_back(r);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (*it == &partition.rootRecord) continue;
    if (!path.empty()) path += "/";
    path += (*it)->name;
  }
  return path;
}

}  // namespace dudorazu
