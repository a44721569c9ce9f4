#include "core/recovery/save_engine.h"

#include "core/exfat/record_walk.h"
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
  // The output path of every folder above the record being entered.
  std::vector<std::string> paths;
  walkTree(
      *record,
      [&](const ExfatFileRecord& r, size_t depth) {
        if (context.progress && context.progress->cancelled()) return WalkStep::Stop;
        if (!r.isFile() && !r.isFolder()) return WalkStep::Skip;
        std::string path = (depth == 0 ? destination : paths[depth - 1]) + "/" + outputNameFor(r, context.nameOptions);
        if (r.isFile()) {
          if (!context.fileFilter || context.fileFilter(r)) saveFileData(context, path, r);
          return WalkStep::Skip;
        }
        if (!context.dryRun) path = folderPathFor(path);
        // Unfiltered, a folder is made even when nothing below it is: empty
        // folders were part of what the volume held.
        if (!context.fileFilter && (context.dryRun || createFolderPath(path, context.names)) && context.onFolder)
          context.onFolder(path);
        paths.resize(depth + 1);
        paths[depth] = std::move(path);
        return WalkStep::Descend;
      },
      [&](const ExfatFileRecord& r, size_t depth) {
        // Every file below is written; now the folder's own date can stay.
        if (context.keepTimes && !context.dryRun && context.names->madeFolder(paths[depth]))
          setModifiedTime(paths[depth], r.modifyDate, r.modifyTime);
      });
  if (context.names == &ownNames) context.names = nullptr;
}

}  // namespace dudorazu
