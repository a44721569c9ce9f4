// dudorazu-cli pt-backup and pt-restore: the sectors of a disk's partition
// structure saved to a file and written back.
#include <cstdio>
#include <string>

#include "cli/cli_support.h"
#include "cli/tools_cli.h"
#include "core/common/text.h"
#include "core/device/command_paths.h"
#include "core/device/open_device.h"
#include "core/partitions/file_system_text.h"
#include "core/partitions/partition_table.h"
#include "core/present/display_format.h"
#include "core/tools/partition_table_backup.h"
#include "core/tools/partition_table_restore.h"
#include "core/tools/tool_messages.h"
#include "core/tools/write_questions.h"

namespace dudorazu::cli {
namespace {

const char* const kBackupUsage =
    "usage: dudorazu-cli pt-backup SOURCE FILE [--yes]\n\n"
    "Saves sector 0 and, for every partition, its first sector and the sector\n"
    "after the previous partition (where extended boot records stand) to FILE,\n"
    "with their offsets, the disk's device path and its display name. On a GPT\n"
    "disk both GPT headers and the sectors of their entry arrays go in too.\n"
    "An existing FILE is replaced only with --yes.\n";

const char* const kRestoreUsage =
    "usage: dudorazu-cli pt-restore SOURCE FILE [--yes]\n\n"
    "Writes the sectors saved by pt-backup in FILE back to SOURCE. The file must\n"
    "have been made from this very disk (same device path and display name), and\n"
    "every sector must belong to the tables the disk holds once they are written\n"
    "back: sector 0, the EBRs of its chain, the GPT headers and entry arrays, a\n"
    "partition's first sector or the sector right after one, never a sector\n"
    "inside a partition; otherwise nothing is written. Afterwards the partition\n"
    "table is read back from SOURCE and listed.\n"
    "  --yes   do not ask before writing\n";

// A name read from the disk, with control characters shown as "?".
std::string shownName(const std::string& raw) {
  std::string text = sanitizeUtf8(raw);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

// Reads the partition table back from the disk just written, as a fresh
// catalogue would, and says what it holds. False when a backup that held
// sectors gave back a disk without any partition.
bool reportReadBack(const DiskRecord& disk, const BackupContents& contents) {
  auto device = openDevice(disk.devicePath, OpenMode::Read);
  if (!device) {
    printError("pt-restore", "cannot read " + disk.devicePath + " back");
    return false;
  }
  DiskRecord now;
  now.devicePath = disk.devicePath;
  discoverPartitions(*device, now);
  std::printf("read back from %s: %zu partition(s)\n", shownName(displayName(disk)).c_str(), now.partitions.size());
  for (const PartitionRecord& p : now.partitions)
    std::printf("  %-28s %-8s start %-12llu %s\n", shownName(partitionText(p)).c_str(), fileSystemText(p).c_str(),
                static_cast<unsigned long long>(p.startSector), formatSizeShort(p.sizeBytes()).c_str());
  if (!now.partitions.empty() || contents.offsets.empty()) return true;
  bool hasGptHeader = false;
  // LBA 1 of the disk: byte 4096 on a disk with 4 KiB sectors.
  for (uint64_t offset : contents.offsets) hasGptHeader = hasGptHeader || offset == kSectorSize || offset == 4096;
  printError("pt-restore", std::string("the sectors were written back, but no partition can be read from the disk") +
                               (hasGptHeader ? "" : "; the backup holds no GPT header (sector 1), as backups "
                                                    "made by older versions do not"));
  return false;
}

}  // namespace

int cmdPtBackup(Args args) {
  const char* command = "pt-backup";
  if (helpShown(args, kBackupUsage)) return 0;
  bool yes = takeFlag(args, "--yes");
  if (!argumentsFit(args, command, 2, 2, "needs SOURCE and FILE")) return 2;
  const std::string& file = args[1];
  if (pathExists(file) && !CliQuestions(command, yes).confirm(replaceFileQuestion(file))) return 1;
  DiskCatalogue catalogue;
  DiskRecord* disk = resolveSource(catalogue, args[0], command);
  if (!disk) return 1;
  CliMessages messages(command);
  BackupResult result = backupPartitionTable(*disk, file, messages);
  if (result == BackupResult::DiskNotOpened) printError(command, "cannot open " + disk->devicePath + " for reading");
  return result == BackupResult::Written ? 0 : 1;
}

int cmdPtRestore(Args args) {
  const char* command = "pt-restore";
  if (helpShown(args, kRestoreUsage)) return 0;
  bool yes = takeFlag(args, "--yes");
  if (!argumentsFit(args, command, 2, 2, "needs SOURCE and FILE")) return 2;
  const std::string& file = args[1];
  if (!pathExists(file)) {
    printError(command, "no file '" + file + "'");
    return 1;
  }
  if (std::string problem = commandPathProblem({{file, "FILE"}}, {}); !problem.empty()) {
    printError(command, problem);
    return 1;
  }
  DiskCatalogue catalogue;
  DiskRecord* disk = resolveSource(catalogue, args[0], command);
  if (!disk) return 1;
  CliMessages messages(command);
  std::optional<BackupContents> contents = readBackupFile(file);
  if (!contents) {
    messages.show(kMsgBadBackupFile, kCaptionError);
    return 1;
  }
  // Refuse a foreign file before asking anything.
  if (refuseForeignBackup(*disk, *contents, messages)) {
    std::fprintf(stderr, "  the file was made from %s (%s)\n", printableText(contents->displayName).c_str(),
                 printableText(contents->devicePath).c_str());
    return 1;
  }
  if (!contents->offsets.empty() && !CliQuestions(command, yes).confirm(restoreQuestion(*disk, *contents))) return 1;
  if (restoreFromBackup(*disk, *contents, messages) != RestoreResult::Restored) return 1;
  return reportReadBack(*disk, *contents) ? 0 : 1;
}

}  // namespace dudorazu::cli
