#pragma once
// A file being written by a save: created exclusively, written at explicit
// offsets (so a run of zeros can stay a hole), given its length and time
// through the open handle, then closed; and the folders of a save's output
// tree, held open while files and folders are made in them.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/files.h"

namespace dudorazu::platform {

enum class CreateOutcome {
  Created,
  NameTaken,      // something of that name exists
  FolderMissing,  // a folder on the way is missing (or is not a folder)
  Refused,        // the target refuses this name; no other name will help
};

// A folder of the output tree, held open so that what is made in it is
// named relative to it: no path text grows with the depth of the tree (a
// path of 10,000 folders passes any system's limit). Linux holds a
// descriptor; Windows a directory handle beside the folder's long path
// ("\\?\..."), bounded by that system's 32,767 characters.
class FolderHandle {
 public:
  enum class Outcome {
    Made,       // made by this call
    Opened,     // a folder of that name was there already
    NameTaken,  // a file, a link or anything else but a folder has the name
    Failed,
  };

  FolderHandle() = default;
  ~FolderHandle() { close(); }
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  FolderHandle(FolderHandle&& other) noexcept { take(other); }
  FolderHandle& operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
      close();
      take(other);
    }
    return *this;
  }

  // Holds the existing folder at `path`.
  bool open(const std::string& path);
  // Holds the folder `name` below `parent`, making it when it is missing. A
  // link is never followed. Closes a folder held before.
  Outcome openChild(const FolderHandle& parent, const std::string& name);
  // Lets the system's handle go while remembering which folder it held, so
  // that a deep walk keeps few handles open.
  void park();
  // Holds again the folder held before park(): the one above `child`. False
  // (and nothing held) when the folder found there is another one.
  bool reopenAbove(const FolderHandle& child);
  bool isOpen() const { return native_ != kNone; }
  // Sets the modification and access time of the folder through the handle.
  bool setModifiedTime(std::time_t when);
  void close();

  // Which folder is held (also while parked): device or volume, and inode or
  // file index. Zero when none.
  uint64_t device() const { return device_; }
  uint64_t object() const { return object_; }

  // For the backends: the descriptor or HANDLE, and (Windows) the long path.
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t native() const { return native_; }
  const std::string& systemPath() const { return path_; }

 private:
  void take(FolderHandle& other) {
    native_ = other.native_;
    device_ = other.device_;
    object_ = other.object_;
    path_ = std::move(other.path_);
    other.native_ = kNone;
    other.device_ = other.object_ = 0;
  }
  std::intptr_t native_ = kNone;
  uint64_t device_ = 0, object_ = 0;  // which folder: device (volume) and inode (file index)
  std::string path_;
};

// Renames `from` to `to` inside `folder` without ever replacing a file.
RenameOutcome renameNoReplaceIn(const FolderHandle& folder, const std::string& from, const std::string& to);

class OutputHandle {
 public:
  OutputHandle() = default;
  ~OutputHandle() { close(); }
  OutputHandle(const OutputHandle&) = delete;
  OutputHandle& operator=(const OutputHandle&) = delete;

  // Creates `path` for writing; nothing that exists, or that another writer
  // creates meanwhile, is opened. Closes a file held before.
  CreateOutcome createExclusive(const std::string& path);
  // The same for the file `name` in `folder`; a name that is no single
  // component ("", ".", "..", one holding a separator) is Refused.
  CreateOutcome createExclusiveIn(const FolderHandle& folder, const std::string& name);
  bool isOpen() const { return native_ != kNone; }
  // Writes `length` bytes at `offset`; returns how many were written, fewer
  // only when the target refused (full, I/O error).
  size_t writeAt(uint64_t offset, const void* data, size_t length);
  // Makes the file at least `length` bytes long (a hole at the end counts
  // only once the length is set); false when that failed.
  bool extendTo(uint64_t length);
  // Sets the modification and access time through the open handle.
  void setModifiedTime(std::time_t when);
  // False when closing reported a failure (data that could not be written).
  bool close();
  // The system's code of the last failure (an errno value on Linux).
  int lastError() const { return error_; }

  // The backend's own handle (a descriptor on Linux, a HANDLE on Windows),
  // for a backend's sector device copying into the file.
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t native() const { return native_; }

 private:
  std::intptr_t native_ = kNone;
  int error_ = 0;
};

}  // namespace dudorazu::platform
