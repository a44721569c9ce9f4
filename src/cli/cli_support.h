#pragma once
// What every subcommand shares: argument picking, finding the source disk
// and partition, JSON output, a progress bar on stderr and confirmation.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/common/progress_block.h"
#include "core/device/disk_catalogue.h"
#include "core/device/unopened_drives.h"

namespace dudorazu::cli {

// Removes a flag from args; true when it was there.
bool takeFlag(Args& args, const std::string& flag);
// Removes "--opt VALUE" (or "--opt=VALUE"); false when absent. A missing
// value sets `missingValue`.
bool takeOption(Args& args, const std::string& opt, std::string& value, bool& missingValue);
// Every occurrence of an option, in order.
std::vector<std::string> takeOptions(Args& args, const std::string& opt, bool& missingValue);
// An unsigned decimal number; false when the text is not one.
bool parseUnsigned(const std::string& text, uint64_t& value);
// True when an argument left over starts with "-" (an unknown option);
// prints the usage error.
bool rejectUnknownOptions(const Args& args, const char* command);

// Prints "dudorazu-cli COMMAND: message" on stderr.
void printError(const char* command, const std::string& message);

// Finds SOURCE: an image file or device path (catalogued on the spot), else
// the display name of a drive (drives are enumerated only then). Prints the
// error and returns nullptr when nothing matches or it cannot be opened.
DiskRecord* resolveSource(DiskCatalogue& catalogue, const std::string& source, const char* command);
// The partition named by its text (name or mount point); prints the error.
PartitionRecord* resolvePartition(DiskRecord& disk, const std::string& text, const char* command);
// As resolvePartition, and refuses a partition that does not hold exFAT;
// tells on stderr when its volume is read through the backup boot sector.
PartitionRecord* resolveExfatPartition(DiskRecord& disk, const std::string& text, const char* command);

// The disk and exFAT partition a command works on, from its SOURCE and
// PARTITION arguments; prints the error and returns false when either fails.
struct ExfatTarget {
  DiskRecord* disk = nullptr;
  PartitionRecord* partition = nullptr;
};
bool resolveExfatTarget(DiskCatalogue& catalogue, const std::string& source, const std::string& partition,
                        const char* command, ExfatTarget& target);

// Enumerates the machine's drives into the catalogue (sysfs, mountinfo, or
// `enumerator` when given) and tells on stderr which drives were left out
// because they could not be opened.
void addMachineDrives(DiskCatalogue& catalogue, DriveEnumerator* enumerator = nullptr);
using dudorazu::unopenedDrivesNote;

// While alive, Ctrl-C sets the block's cancel flag instead of killing the
// process, so a search, a save or a copy stops cleanly and keeps what it wrote.
class InterruptStops {
 public:
  explicit InterruptStops(ProgressBlock& block);
  ~InterruptStops();
  InterruptStops(const InterruptStops&) = delete;
  InterruptStops& operator=(const InterruptStops&) = delete;
};

// An existing path made absolute and free of links, so a disk catalogued
// from it carries the same devicePath whatever directory the user is in
// (partition-table backups compare it); other texts unchanged.
std::string canonicalSource(const std::string& text);

bool pathExists(const std::string& path);

// Asks on the terminal; without a terminal refuses unless `yes`.
bool confirm(const std::string& question, bool yes);

// Draws a bar on stderr while an operation runs, when stderr is a terminal.
class ProgressBar {
 public:
  ProgressBar(ProgressBlock& block, std::string title);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

 private:
  struct State;
  State* state_;
};

// Minimal JSON writer: objects, arrays, strings (escaped, made valid UTF-8),
// numbers and booleans, with commas placed automatically.
class JsonWriter {
 public:
  std::string str() const { return out_; }
  JsonWriter& beginObject();
  JsonWriter& endObject();
  JsonWriter& beginArray();
  JsonWriter& endArray();
  JsonWriter& key(const std::string& k);
  JsonWriter& value(const std::string& v);
  JsonWriter& value(const char* v) { return value(std::string(v)); }
  JsonWriter& value(uint64_t v);
  JsonWriter& value(int64_t v);
  JsonWriter& value(uint32_t v) { return value(static_cast<uint64_t>(v)); }
  JsonWriter& value(int v) { return value(static_cast<int64_t>(v)); }
  JsonWriter& value(bool v);
  template <typename T>
  JsonWriter& field(const std::string& k, const T& v) {
    key(k);
    return value(v);
  }

 private:
  void separate();
  std::string out_;
  std::vector<bool> first_;
  bool afterKey_ = false;
};

std::string jsonEscape(const std::string& s);

}  // namespace dudorazu::cli
