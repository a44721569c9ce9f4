#pragma once
// What every subcommand shares: argument picking, finding the source disk
// and partition, JSON output, a progress bar on stderr and confirmation.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "core/common/long_operation.h"
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
// True when an argument left over starts with "-" (an unknown option);
// prints the usage error.
bool rejectUnknownOptions(const Args& args, const char* command);
// Removes --help or -h; true when either was there.
bool takeHelp(Args& args);
// As takeHelp, and prints `usage` on stdout when asked.
bool helpShown(Args& args, const std::string& usage);
// What is left after the options: no unknown option and `least` to `most`
// arguments. Otherwise prints the usage error ("`need` (see --help)" for a
// wrong count) and returns false.
bool argumentsFit(const Args& args, const char* command, size_t least, size_t most, const char* need);

// Prints "dudorazu-cli COMMAND: message" on stderr.
void printError(const char* command, const std::string& message);
// ": why" when the last image that failed to open on this thread was
// recognised (an evidence file this build cannot read, a broken one), else "".
std::string openProblemText();

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
// --map MAPFILE of tree, recover and scan-lost: from now on SOURCE reads
// only what the rescue map calls finished; everything else fails like a bad
// sector. False with the error printed when the map cannot be used.
bool limitSourceToMap(const std::string& source, const std::string& mapfile, const char* command);

// Enumerates the machine's drives into the catalogue (sysfs, mountinfo, or
// `enumerator` when given) and tells on stderr which drives were left out
// because they could not be opened.
void addMachineDrives(DiskCatalogue& catalogue, DriveEnumerator* enumerator = nullptr);
using dudorazu::unopenedDrivesNote;


bool pathExists(const std::string& path);

// Asks on the terminal; without a terminal refuses unless `yes`.
bool confirm(const std::string& question, bool yes);

// Answers the core's questions for COMMAND: a write is confirmed on the
// terminal ("COMMAND: question [y/N]") unless --yes was given; an existing
// output file is replaced only with --yes.
class CliQuestions : public Questions {
 public:
  CliQuestions(const char* command, bool yes) : command_(command), yes_(yes) {}
  bool confirm(const Question& question) override;

 private:
  const char* command_;
  bool yes_;
};

// Runs a long operation on this thread, with its bar on stderr when stderr
// is a terminal; while a stoppable one runs, Ctrl-C sets the block's cancel
// flag instead of killing the process, so a search, a save or a copy stops
// cleanly and keeps what it wrote. Returns what the operation returned.
bool runOperation(const LongOperation& operation, ProgressBlock& progress, MessageSink& messages,
                  Questions& questions);
// The same for an operation that shows no message and asks nothing.
bool runOperation(const LongOperation& operation, ProgressBlock& progress);

// Minimal JSON writer: objects, arrays, strings (escaped, made valid UTF-8),
// numbers and booleans, with commas placed automatically.
class JsonWriter {
 public:
  std::string str() const { return out_; }
  const std::string& text() const { return out_; }
  // Starts over with an empty text, keeping the buffer, so one writer can
  // write a long listing object by object.
  void clear() {
    out_.clear();
    first_.clear();
    afterKey_ = false;
  }
  JsonWriter& beginObject() { return open('{'); }
  JsonWriter& endObject() { return close('}'); }
  JsonWriter& beginArray() { return open('['); }
  JsonWriter& endArray() { return close(']'); }
  JsonWriter& key(std::string_view k);
  JsonWriter& value(std::string_view v);
  JsonWriter& value(const std::string& v) { return value(std::string_view(v)); }
  JsonWriter& value(const char* v) { return value(std::string_view(v)); }
  JsonWriter& value(uint64_t v);
  JsonWriter& value(int64_t v);
  JsonWriter& value(uint32_t v) { return value(static_cast<uint64_t>(v)); }
  JsonWriter& value(int v) { return value(static_cast<int64_t>(v)); }
  JsonWriter& value(bool v);
  template <typename T>
  JsonWriter& field(std::string_view k, const T& v) {
    key(k);
    return value(v);
  }

 private:
  JsonWriter& open(char bracket);
  JsonWriter& close(char bracket);
  void separate();
  std::string out_;
  std::vector<bool> first_;
  bool afterKey_ = false;
};

// `raw` as a quoted JSON string: invalid UTF-8 becomes U+FFFD, and controls
// and reordering marks are escaped so a terminal shows the JSON as it is.
std::string jsonEscape(std::string_view raw);
// The same, appended to `out`.
void appendJsonString(std::string& out, std::string_view raw);

}  // namespace dudorazu::cli
