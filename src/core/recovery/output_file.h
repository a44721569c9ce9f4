#pragma once
// Output files of a save: created exclusively, never overwriting anything,
// with the folders above them made on demand.
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/sector_device.h"
#include "platform/output_file.h"

namespace dudorazu {

class SaveNamespace;

// A new file being written. Writes go at explicit offsets, so a run of zeros
// can be left as a hole and the file still ends at the right length.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool isOpen() const { return handle_.isOpen(); }
  const std::string& path() const { return path_; }
  // The last component of path(): the name the file has in its folder.
  const std::string& name() const { return name_; }
  // Writes `length` bytes at the current end; false when the target refused
  // (full, I/O error). The system's code of the last failure in lastError().
  bool write(const void* data, size_t length);
  // Moves the end `length` bytes on without writing (a hole).
  void skip(uint64_t length) {
    end_ += length;
    mayEndShort_ = true;
  }
  // Appends up to `length` bytes of `device` from `offset` on, copied by the
  // device itself where it can; returns how many it took (0: none, the
  // caller copies them).
  uint64_t copyFrom(SectorDevice& device, uint64_t offset, uint64_t length);
  uint64_t size() const { return end_; }
  // The modification time the file gets when it is closed.
  void setModifiedTime(std::time_t when) { modified_ = when; }
  // Gives the file its full length and its time and closes it; false when
  // that failed.
  bool close();
  int lastError() const { return handle_.lastError(); }

 private:
  friend bool openOutputFile(OutputFile& file, const std::string& path, SaveNamespace* names);
  friend bool openOutputFileIn(OutputFile& file, const platform::FolderHandle& folder, std::string_view folderPath,
                               std::string_view name, SaveNamespace* names);
  void opened(std::string path, size_t nameStart);

  platform::OutputHandle handle_;
  std::string path_;
  std::string name_;
  uint64_t end_ = 0;
  bool mayEndShort_ = false;  // holes left since the last write
  std::optional<std::time_t> modified_;
};

// What a save remembers between files: the next counter to try for each
// derived name, so a folder with thousands of equal names is not probed from
// 0 every time, and the folders it has made (they get their dates later).
// Shared by the jobs of one batch; safe to use from several threads.
class SaveNamespace {
 public:
  uint64_t nextCounter(const std::string& path);
  void setNextCounter(const std::string& path, uint64_t n);
  void noteFolderMade(const std::string& path);
  bool madeFolder(const std::string& path);
  // The same for folders held open; known by what they are, not by a path
  // that may be longer than the system takes.
  void noteFolderMade(const platform::FolderHandle& folder);
  bool madeFolder(const platform::FolderHandle& folder);
  size_t foldersMade();

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, uint64_t> counters_;
  std::unordered_set<std::string> folders_;
  std::set<std::pair<uint64_t, uint64_t>> heldFolders_;
};

// Creates every missing folder of `folder` ("/" separated). True when the
// whole path is a folder afterwards. Folders it made are noted in `names`.
bool createFolderPath(const std::string& folder, SaveNamespace* names = nullptr);

// Opens a new file at `path`, or, when a file of that name exists, at the
// first free derived name: path + n, or path + n + "." + ext where ext
// follows the last "." of the path (a.txt -> a.txt0.txt, a.txt1.txt; README
// -> README0). Missing folders are created. The file is created exclusively:
// nothing that exists, or that another writer creates meanwhile, is opened.
bool openOutputFile(OutputFile& file, const std::string& path, SaveNamespace* names = nullptr);

// The same for the file `name` in the folder held by `folder`, shown under
// `folderPath`: nothing is looked up by a path, so the depth of the folder
// does not matter.
bool openOutputFileIn(OutputFile& file, const platform::FolderHandle& folder, std::string_view folderPath,
                      std::string_view name, SaveNamespace* names = nullptr);

// Renames the file at `path` to path + suffix, or path + suffix + n when
// that is taken, never replacing anything. The new path, or none when the
// file could not be renamed.
std::optional<std::string> renameAside(const std::string& path, const std::string& suffix);
// The same for the file `name` in `folder`; the new name.
std::optional<std::string> renameAsideIn(const platform::FolderHandle& folder, const std::string& name,
                                         const std::string& suffix);

}  // namespace dudorazu
