// dudorazu-cli: the scriptable front end of the recovery core.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "cli/commands.h"
#include "platform/files.h"

namespace {

struct Command {
  const char* name;
  int (*run)(dudorazu::cli::Args);
  const char* summary;
};

const Command kCommands[] = {
    {"disks", dudorazu::cli::cmdDisks, "list drives and image files with their partitions"},
    {"tree", dudorazu::cli::cmdTree, "load an exFAT partition's folder tree, deleted entries included"},
    {"scan-lost", dudorazu::cli::cmdScanLost, "scan every cluster for lost folders, JPEG and Office files"},
    {"recover", dudorazu::cli::cmdRecover, "copy files and folders out of an exFAT partition"},
    {"stats", dudorazu::cli::cmdStats, "count files, folders and bytes below a folder"},
    {"search", dudorazu::cli::cmdSearch, "search a disk for lost exFAT volumes"},
    {"upcase-scan", dudorazu::cli::cmdUpcaseScan, "look for an exFAT up-case table on a disk or partition"},
    {"rebuild-mbr", dudorazu::cli::cmdRebuildMbr, "write a new MBR from found volumes"},
    {"pt-backup", dudorazu::cli::cmdPtBackup, "back up the sectors of a disk's partition structure"},
    {"pt-restore", dudorazu::cli::cmdPtRestore, "write a partition-table backup back to its disk"},
    {"image", dudorazu::cli::cmdImage, "copy a disk or partition sector by sector, listing bad sectors"},
};

void usage(FILE* out) {
  std::fprintf(out, "usage: dudorazu-cli COMMAND [ARGS...]   (COMMAND --help for details)\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %-12s %s\n", c.name, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
  dudorazu::platform::settleLocalTimeZone();
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    usage(stdout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    try {
      return c.run(dudorazu::cli::Args(argv + 2, argv + argc));
    } catch (const std::bad_alloc&) {
      // A damaged volume can describe more than this machine can hold even
      // after every bound; that is a failed command, never an abort.
      std::fprintf(stderr, "dudorazu-cli %s: not enough memory for what the disk describes; nothing more was done\n",
                   c.name);
      return 1;
    }
  }
  std::fprintf(stderr, "dudorazu-cli: unknown command '%s'\n", name.c_str());
  usage(stderr);
  return 2;
}
