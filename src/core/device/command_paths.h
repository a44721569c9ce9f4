#pragma once
// The rule every command that writes files or disks follows: an output is
// never one of its inputs nor another of its outputs. Paths are compared by
// what they are (the same file under another name or a hard link, a loop
// device over an image, a partition of a disk), not by their text.
#include <cstdint>
#include <string>
#include <vector>

#include "core/common/byte_range.h"
#include "core/partitions/partition_record.h"

namespace dudorazu {

struct CommandPath {
  std::string path;
  std::string role;              // how the user named it: "SOURCE", "--report", ...
  ByteRange bytes = ByteRange::from(0);  // the bytes of the path concerned
  bool deviceAllowed = true;     // an output that may be a block device (a target disk)
};

// A partition of the disk at `devicePath` as a command's input: the bytes
// it covers, counted in the disk's own sectors. A partition of unknown size
// (none given) is read as far as its volume says, so it reaches to the end.
CommandPath partitionInput(const std::string& devicePath, const PartitionRecord& partition, std::string role);

// What is wrong with the paths, or an empty text when the command may go on:
// an input that is neither a regular file nor a block device (a FIFO would
// block the first read), an existing output that is neither (or a block
// device where only a file may go), or an output whose bytes meet those of
// an input or of another output.
std::string commandPathProblem(const std::vector<CommandPath>& inputs, const std::vector<CommandPath>& outputs);

// The whole rule for the outputs of a command: commandPathProblem, and
// then no output file may land on a file system living on the bytes an
// input covers (an image mounted from the source, a partition of the source
// disk): writing it would change what is being read. Files are created only
// through createCommandOutput, which asks this first.
std::string outputProblem(const std::vector<CommandPath>& inputs, const std::vector<CommandPath>& outputs);

// True when `folder` (or its nearest existing parent) lies on a file system
// whose bytes meet those of `source`: every file or folder saved there
// would overwrite what is being recovered.
bool folderOnSource(const std::string& folder, const CommandPath& source);

// What is wrong with `folder` as the target of a save from `source`: not a
// folder, cannot be made (when `create`) or written, or a folder on the very
// volume being read. Empty when files may be saved there.
std::string targetFolderProblem(const std::string& folder, const CommandPath& source, bool create);

}  // namespace dudorazu
