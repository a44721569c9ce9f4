#pragma once
// A file being written by a save: created exclusively, written at explicit
// offsets (so a run of zeros can stay a hole), given its length and time
// through the open handle, then closed.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace dudorazu::platform {

enum class CreateOutcome {
  Created,
  NameTaken,      // something of that name exists
  FolderMissing,  // a folder on the way is missing (or is not a folder)
  Refused,        // the target refuses this name; no other name will help
};

class OutputHandle {
 public:
  OutputHandle() = default;
  ~OutputHandle() { close(); }
  OutputHandle(const OutputHandle&) = delete;
  OutputHandle& operator=(const OutputHandle&) = delete;

  // Creates `path` for writing; nothing that exists, or that another writer
  // creates meanwhile, is opened. Closes a file held before.
  CreateOutcome createExclusive(const std::string& path);
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
