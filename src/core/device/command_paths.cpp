#include "core/device/command_paths.h"

#include "platform/storage_extent.h"

namespace dudorazu {
namespace {

using platform::StorageExtent;

// The bytes of a path inside its holder.
struct Window {
  StorageExtent extent;
  ByteRange bytes;
};

Window windowOf(const StorageExtent& e, const ByteRange& bytes) {
  // A file grows under its writer; only a device ends where it says.
  ByteRange own = bytes;
  if (e.kind == StorageExtent::Kind::BlockDevice && e.length != UINT64_MAX) own = bytes.before(e.length);
  // Moved to where the path lies in its holder. A window that would pass 64
  // bits reaches to the end instead: it may only ever refuse more, never
  // wrap round to miss bytes it covers.
  const uint64_t start = checkedSum(e.offset, own.start()).value_or(UINT64_MAX);
  return {e, ByteRange::of(start, own.length()).value_or(ByteRange::from(start))};
}

Window windowOf(const CommandPath& p) { return windowOf(platform::storageExtent(p.path), p.bytes); }

bool sameHolder(const StorageExtent& a, const StorageExtent& b) {
  return a.holderIsDisk == b.holderIsDisk && a.holderDevice == b.holderDevice && a.holderInode == b.holderInode &&
         a.missingName == b.missingName && !(a.holderDevice == 0 && a.holderInode == 0);
}

bool meet(const Window& a, const Window& b) {
  if (!sameHolder(a.extent, b.extent)) return false;
  // Paths that do not exist yet hold no bytes; naming one entry twice is
  // still one file.
  if (a.extent.kind == StorageExtent::Kind::Missing) return true;
  return a.bytes.intersects(b.bytes);
}

std::string named(const CommandPath& p) { return p.role + " '" + p.path + "'"; }

bool onVolumeOf(const std::string& path, const Window& input) {
  StorageExtent volume = platform::volumeExtent(path);
  return volume.kind != StorageExtent::Kind::Missing && meet(windowOf(volume, ByteRange::from(0)), input);
}

}  // namespace

CommandPath partitionInput(const std::string& devicePath, const PartitionRecord& partition, std::string role) {
  ByteRange bytes = partition.bytesOnDevice(0);
  if (partition.sizeSectors == 0) bytes = ByteRange::from(bytes.start());
  return {devicePath, std::move(role), bytes};
}

std::string commandPathProblem(const std::vector<CommandPath>& inputs, const std::vector<CommandPath>& outputs) {
  std::vector<Window> inputWindows, outputWindows;
  for (const CommandPath& in : inputs) {
    inputWindows.push_back(windowOf(in));
    StorageExtent::Kind kind = inputWindows.back().extent.kind;
    if (kind != StorageExtent::Kind::RegularFile && kind != StorageExtent::Kind::BlockDevice &&
        kind != StorageExtent::Kind::Missing)
      return named(in) + " is neither a regular file nor a block device";
  }
  for (size_t i = 0; i < outputs.size(); ++i) {
    const CommandPath& out = outputs[i];
    outputWindows.push_back(windowOf(out));
    StorageExtent::Kind kind = outputWindows.back().extent.kind;
    bool device = kind == StorageExtent::Kind::BlockDevice;
    if (!(kind == StorageExtent::Kind::Missing || kind == StorageExtent::Kind::RegularFile || (device && out.deviceAllowed)))
      return named(out) + (device ? " is a device, not a file" : " is neither a regular file nor a block device");
    for (size_t k = 0; k < inputs.size(); ++k)
      if (meet(outputWindows[i], inputWindows[k])) return named(out) + " is " + named(inputs[k]);
    for (size_t k = 0; k < i; ++k)
      if (meet(outputWindows[i], outputWindows[k])) return named(out) + " is " + named(outputs[k]);
  }
  return "";
}

std::string outputProblem(const std::vector<CommandPath>& inputs, const std::vector<CommandPath>& outputs) {
  if (std::string problem = commandPathProblem(inputs, outputs); !problem.empty()) return problem;
  for (const CommandPath& out : outputs) {
    // A target disk is written in place: it holds no file system of its own
    // to land on, and its bytes were compared above.
    if (platform::storageExtent(out.path).kind == StorageExtent::Kind::BlockDevice) continue;
    for (const CommandPath& in : inputs)
      if (onVolumeOf(out.path, windowOf(in)))
        return named(out) + " lies on " + named(in) + ", the volume being read; choose a place on another disk";
  }
  return "";
}

bool folderOnSource(const std::string& folder, const CommandPath& source) { return onVolumeOf(folder, windowOf(source)); }

std::string targetFolderProblem(const std::string& folder, const CommandPath& source, bool create) {
  // Asked before the folder is made: making it would already write there.
  if (folderOnSource(folder, source))
    return "'" + folder + "' lies on " + named(source) + ", the volume being read; choose a folder on another disk";
  std::string problem = platform::folderProblem(folder, create);
  return problem.empty() ? "" : "cannot save into '" + folder + "': " + problem;
}

}  // namespace dudorazu
