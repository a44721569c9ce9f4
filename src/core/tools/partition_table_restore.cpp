#include "core/tools/partition_table_restore.h"

#include <cstdio>
#include <memory>

#include "core/common/text.h"
#include "core/device/command_paths.h"
#include "core/device/open_device.h"
#include "core/tools/restore_targets.h"
#include "core/tools/tool_messages.h"

namespace dudorazu {
namespace {

constexpr char kSeparator = '^';

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Offsets are written as plain digits and read back as signed 64-bit
// numbers; a sector image only ever comes from a sector boundary.
bool parseOffset(std::string_view text, uint64_t& offset) {
  uint64_t v = 0;
  if (!parseDecimal(text, v, INT64_MAX) || v % kSectorSize != 0) return false;
  offset = v;
  return true;
}

std::string_view trailerText(std::string_view tail) {
  size_t zero = tail.find('\0');
  return zero == std::string_view::npos ? tail : tail.substr(0, zero);
}

}  // namespace

bool parseBackupTrailer(std::string_view trailer, BackupContents& contents) {
  size_t last = trailer.rfind(kSeparator);
  if (last == std::string_view::npos) return false;
  contents.displayName = std::string(trailer.substr(last + 1));
  std::string_view rest = trailer.substr(0, last);
  size_t pathAt = rest.rfind(kSeparator);
  std::string_view list;
  if (pathAt == std::string_view::npos) {
    contents.devicePath = std::string(rest);
  } else {
    contents.devicePath = std::string(rest.substr(pathAt + 1));
    list = rest.substr(0, pathAt);
  }
  contents.offsets.clear();
  while (!list.empty()) {
    size_t cut = list.find(kSeparator);
    uint64_t offset = 0;
    if (!parseOffset(list.substr(0, cut), offset)) return false;
    contents.offsets.push_back(offset);
    if (cut == std::string_view::npos) break;
    list.remove_prefix(cut + 1);
    if (list.empty()) return false;  // a trailing "^" leaves an empty offset text
  }
  return true;
}

bool parseBackupFile(std::string_view bytes, BackupContents& contents) {
  size_t dataLength = bytes.size() - bytes.size() % kSectorSize;
  if (!parseBackupTrailer(trailerText(bytes.substr(dataLength)), contents)) return false;
  if (contents.offsets.size() != dataLength / kSectorSize) return false;
  contents.sectors = std::string(bytes.substr(0, dataLength));
  return true;
}

std::optional<BackupContents> readBackupFile(const std::string& path) {
  if (!commandPathProblem({{path, "the backup file"}}, {}).empty()) return std::nullopt;  // a FIFO would block
  std::unique_ptr<std::FILE, FileCloser> in(std::fopen(path.c_str(), "rb"));
  if (!in || std::fseek(in.get(), 0, SEEK_END) != 0) return std::nullopt;
  long length = std::ftell(in.get());
  if (length < 0) return std::nullopt;
  uint64_t size = static_cast<uint64_t>(length);
  uint64_t dataLength = size - size % kSectorSize;
  std::string tail(static_cast<size_t>(size % kSectorSize), '\0');
  if (std::fseek(in.get(), static_cast<long>(dataLength), SEEK_SET) != 0 ||
      std::fread(tail.data(), 1, tail.size(), in.get()) != tail.size())
    return std::nullopt;
  BackupContents contents;
  // The trailer is shorter than 512 bytes, so it names at most a few hundred
  // sectors; a data part of any other size is not ours and is never loaded.
  if (!parseBackupTrailer(trailerText(tail), contents) || contents.offsets.size() != dataLength / kSectorSize)
    return std::nullopt;
  contents.sectors.assign(static_cast<size_t>(dataLength), '\0');
  if (std::fseek(in.get(), 0, SEEK_SET) != 0 ||
      std::fread(contents.sectors.data(), 1, contents.sectors.size(), in.get()) != contents.sectors.size())
    return std::nullopt;
  return contents;
}

bool refuseForeignBackup(const DiskRecord& selected, const BackupContents& contents, MessageSink& messages) {
  // Both names must match: the display name alone would let a file made for
  // one disk be written to whatever device path it carries.
  if (contents.displayName == displayName(selected) && contents.devicePath == selected.devicePath) return false;
  messages.show(kMsgBackupMismatch, kCaptionError);
  return true;
}

RestoreResult restoreFromBackup(const DiskRecord& selected, const BackupContents& contents, MessageSink& messages) {
  if (contents.offsets.size() * kSectorSize != contents.sectors.size()) {
    messages.show(kMsgBadBackupFile, kCaptionError);
    return RestoreResult::BadFile;
  }
  if (refuseForeignBackup(selected, contents, messages)) return RestoreResult::Mismatch;
  auto device = openDevice(selected.devicePath, OpenMode::ReadWrite);
  if (!device) {
    messages.show(kMsgOpenFailed, kCaptionError);
    return RestoreResult::DiskNotOpened;
  }
  uint64_t diskSize = device->size() != 0 ? device->size() : selected.diskSize;
  if (std::optional<StraySector> stray = straySector(*device, diskSize, contents)) {
    const bool pastEnd = stray->kind == StrayKind::PastEnd;
    messages.show(format(pastEnd ? kMsgSectorPastDiskEnd : kMsgSectorOutsideTables,
                         static_cast<unsigned long long>(stray->offset)),
                  kCaptionError);
    return pastEnd ? RestoreResult::Mismatch : RestoreResult::Refused;
  }
  bool ok = true;
  for (size_t i = 0; i < contents.offsets.size(); ++i) {
    // A failed sector does not stop the others: every sector put back is
    // one more piece of the old layout restored.
    if (device->writeAt(contents.offsets[i], contents.sectors.data() + i * kSectorSize, kSectorSize) != kSectorSize)
      ok = false;
  }
  ok = device->flush() && ok;
  if (!ok) {
    messages.show(kMsgDiskWriteFailed, kCaptionError);
    return RestoreResult::WriteFailed;
  }
  messages.show(kMsgRestoreDone, kCaptionSuccess);
  return RestoreResult::Restored;
}

RestoreResult restorePartitionTable(const DiskRecord& selected, const std::string& filePath, MessageSink& messages) {
  std::optional<BackupContents> contents = readBackupFile(filePath);
  if (!contents) {
    messages.show(kMsgBadBackupFile, kCaptionError);
    return RestoreResult::BadFile;
  }
  return restoreFromBackup(selected, *contents, messages);
}

}  // namespace dudorazu
