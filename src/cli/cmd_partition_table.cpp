// dudorazu-cli pt-backup and pt-restore: the sectors of a disk's partition
// structure saved to a file and written back.
#include <cstdio>
#include <string>

#include "cli/cli_support.h"
#include "cli/tools_cli.h"
#include "core/common/text.h"
#include "core/device/command_paths.h"
#include "core/tools/partition_table_backup.h"
#include "core/tools/partition_table_restore.h"
#include "core/tools/tool_messages.h"

namespace dudorazu::cli {

int cmdPtBackup(Args args) {
  const char* command = "pt-backup";
  if (takeFlag(args, "--help") || takeFlag(args, "-h")) {
    std::printf("usage: dudorazu-cli pt-backup SOURCE FILE [--yes]\n\n"
                "Saves sector 0 and, for every partition, its first sector and the sector\n"
                "after the previous partition (where extended boot records stand) to FILE,\n"
                "with their offsets, the disk's device path and its display name.\n"
                "An existing FILE is replaced only with --yes.\n");
    return 0;
  }
  bool yes = takeFlag(args, "--yes");
  if (rejectUnknownOptions(args, command)) return 2;
  if (args.size() != 2) {
    printError(command, "needs SOURCE and FILE (see --help)");
    return 2;
  }
  const std::string& file = args[1];
  if (pathExists(file) && !yes) {
    printError(command, "'" + file + "' exists; pass --yes to replace it");
    return 1;
  }
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
  if (takeFlag(args, "--help") || takeFlag(args, "-h")) {
    std::printf("usage: dudorazu-cli pt-restore SOURCE FILE [--yes]\n\n"
                "Writes the sectors saved by pt-backup in FILE back to SOURCE. The file must\n"
                "have been made from this very disk (same device path and display name) and\n"
                "every sector must lie inside it; otherwise nothing is written.\n"
                "  --yes   do not ask before writing\n");
    return 0;
  }
  bool yes = takeFlag(args, "--yes");
  if (rejectUnknownOptions(args, command)) return 2;
  if (args.size() != 2) {
    printError(command, "needs SOURCE and FILE (see --help)");
    return 2;
  }
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
  if (contents->displayName != displayName(*disk) || contents->devicePath != disk->devicePath) {
    messages.show(kMsgBackupMismatch, kCaptionError);
    std::fprintf(stderr, "  the file was made from %s (%s)\n", printableText(contents->displayName).c_str(),
                 printableText(contents->devicePath).c_str());
    return 1;
  }
  std::string sectors;
  for (size_t i = 0; i < contents->offsets.size(); ++i) {
    if (i == 16) {
      sectors += " ...";
      break;
    }
    sectors += " " + std::to_string(contents->offsets[i] / 512);
  }
  if (!contents->offsets.empty() &&
      !confirm("pt-restore: this overwrites " + std::to_string(contents->offsets.size()) + " sector(s) of " +
                   displayName(*disk) + " (" + disk->devicePath + "):" + sectors + "\nContinue?",
               yes))
    return 1;
  RestoreResult result = restoreFromBackup(*disk, *contents, messages);
  return result == RestoreResult::Restored ? 0 : 1;
}

}  // namespace dudorazu::cli
