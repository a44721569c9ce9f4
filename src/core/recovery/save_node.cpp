#include "core/recovery/save_engine.h"

#include "core/exfat/record_walk.h"
#include "core/recovery/file_times.h"
#include "platform/output_file.h"

namespace dudorazu {
namespace {

// Folders held open at once: the deepest ones. Those above are let go and
// opened again (through "..") on the way back up, so that a tree of any
// depth needs few of the system's handles.
constexpr size_t kOpenLevels = 16;

// Counted names tried for a folder whose name a file has taken.
constexpr uint64_t kMaxFolderCounter = 1'000'000;

// The folders from the destination down to the record being entered, each
// made once, below its parent's open handle: no path grows with the depth
// of the tree, and no folder above is made or looked up again.
class FolderStack {
 public:
  FolderStack(SaveContext& context, const std::string& destination) : context_(context) {
    levels_.emplace_back();
    levels_[0].name = destination;
    path_ = destination;
  }

  // The output path of the deepest folder entered ("/" separated).
  const std::string& path() const { return path_; }

  void enter(const std::string& name) {
    Level& level = levels_.emplace_back();
    level.name = name;
    level.pathStart = path_.size();
    path_ += '/';
    path_ += name;
  }

  // Makes every folder entered that is not made yet; the deepest one's
  // handle, or none when it could not be made.
  const platform::FolderHandle* ready() {
    for (size_t i = 0; i < levels_.size(); ++i)
      if (levels_[i].state == State::Pending) make(i);
    const Level& deepest = levels_.back();
    return deepest.state == State::Held ? &deepest.handle : nullptr;
  }

  // Leaves the deepest folder: every file below is written, so its own date
  // can stay now.
  void leave(const ExfatFileRecord& record) {
    Level& level = levels_.back();
    if (level.state == State::Held) {
      if (context_.keepTimes && (level.made || context_.names->madeFolder(level.handle)))
        if (std::optional<std::time_t> when = recordLocalTime(record.modifyDate, record.modifyTime))
          level.handle.setModifiedTime(*when);
      Level& parent = levels_[levels_.size() - 2];
      if (parent.state == State::Parked)
        parent.state = parent.handle.reopenAbove(level.handle) ? State::Held : State::Failed;
    }
    path_.resize(level.pathStart);
    levels_.pop_back();
  }

 private:
  enum class State { Pending, Held, Parked, Failed };
  struct Level {
    std::string name;  // as made: a name taken by a file moves aside to name + n
    size_t pathStart = 0;
    platform::FolderHandle handle;
    State state = State::Pending;
    bool made = false;  // by this save
  };

  void make(size_t i) {
    Level& level = levels_[i];
    level.state = State::Failed;
    if (i == 0) {
      if (createFolderPath(level.name, context_.names) && level.handle.open(level.name)) level.state = State::Held;
      return;
    }
    const Level& parent = levels_[i - 1];
    if (parent.state != State::Held) return;
    using Outcome = platform::FolderHandle::Outcome;
    Outcome outcome = level.handle.openChild(parent.handle, level.name);
    if (outcome == Outcome::NameTaken) {
      // A folder whose name is taken by a file (a deleted file and a live
      // folder of one name, or names that repair made equal) moves aside,
      // as a file would, instead of losing everything below it.
      for (uint64_t n = 0; n < kMaxFolderCounter && outcome == Outcome::NameTaken; ++n) {
        std::string candidate = level.name + std::to_string(n);
        outcome = level.handle.openChild(parent.handle, candidate);
        if (outcome == Outcome::Made || outcome == Outcome::Opened) rename(i, std::move(candidate));
      }
    }
    if (outcome != Outcome::Made && outcome != Outcome::Opened) return;
    level.state = State::Held;
    level.made = outcome == Outcome::Made;
    if (level.made) context_.names->noteFolderMade(level.handle);
    if (i >= kOpenLevels && levels_[i - kOpenLevels].state == State::Held) {
      levels_[i - kOpenLevels].handle.park();
      levels_[i - kOpenLevels].state = State::Parked;
    }
  }

  // Level i got another name: the path from there down follows.
  void rename(size_t i, std::string name) {
    levels_[i].name = std::move(name);
    path_.resize(levels_[i].pathStart);
    for (size_t j = i; j < levels_.size(); ++j) {
      levels_[j].pathStart = path_.size();
      path_ += '/';
      path_ += levels_[j].name;
    }
  }

  SaveContext& context_;
  std::vector<Level> levels_;  // [0] is the destination
  std::string path_;
};

}  // namespace

void saveNode(SaveContext& context, const std::string& destination, const ExfatFileRecord* record) {
  if (!record) return;
  SaveNamespace ownNames;
  if (!context.names) context.names = &ownNames;
  {
    FolderStack folders(context, destination);
    walkTree(
        *record,
        [&](const ExfatFileRecord& r, size_t) {
          if (context.progress && context.progress->cancelled()) return WalkStep::Stop;
          if (!r.isFile() && !r.isFolder()) return WalkStep::Skip;
          std::string name = outputNameFor(r, context.nameOptions);
          if (r.isFile()) {
            if (!context.fileFilter || context.fileFilter(r)) {
              const platform::FolderHandle* folder = context.dryRun ? nullptr : folders.ready();
              saveFileData(context, OutputPlace{folder, folders.path(), name}, r);
            }
            return WalkStep::Skip;
          }
          folders.enter(name);
          // Unfiltered, a folder is made even when nothing below it is: empty
          // folders were part of what the volume held.
          if (!context.fileFilter && (context.dryRun || folders.ready()) && context.onFolder)
            context.onFolder(folders.path());
          return WalkStep::Descend;
        },
        [&](const ExfatFileRecord& r, size_t) { folders.leave(r); });
  }
  if (context.names == &ownNames) context.names = nullptr;
}

}  // namespace dudorazu
