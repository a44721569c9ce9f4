// tree and scan-lost: the exFAT reader on the command line.
#include <cstdio>

#include "cli/cli_support.h"
#include "core/device/map_limited_device.h"
#include "cli/record_listing.h"
#include "core/exfat/lost_file_scan.h"
#include "core/exfat/tree_loader.h"
#include "core/tools/long_operations.h"

namespace dudorazu::cli {
namespace {

const char* const kTreeUsage =
    "usage: dudorazu-cli tree SOURCE PARTITION [--json] [--map MAPFILE]\n"
    "\n"
    "Loads the partition's whole exFAT folder tree from the raw sectors, deleted\n"
    "files and folders included, and prints it: one line per record with its name\n"
    "(indented by depth), state, size in bytes, created and modified times, first\n"
    "cluster and recoverability: how sure a save can be of the record's bytes,\n"
    "judged without reading them (see below).\n"
    "\n"
    "  SOURCE     an image file, a device path or a disk's display name (see disks)\n"
    "  PARTITION  the partition's text as disks shows it (its name or mount point),\n"
    "             or @SECTOR for a volume search found starting there\n"
    "  --json     print {\"records\":[...]} in depth-first order, each record with\n"
    "             path, name, state, stateText, dataLength, firstCluster,\n"
    "             allocationFlags, created, modified, parentCluster,\n"
    "             recoverability, recoverabilityStates, bytesAtRisk,\n"
    "             overwrittenBytes, damagedBytes and alsoInTree\n"
    "\n"
    "Recoverability, worst last: intact (every cluster its own), carved (found by\n"
    "its content), guessed (its chain was cleared: the free clusters after it),\n"
    "damaged (clusters the disk could not read), overwritten (clusters other\n"
    "files or folders hold now), unreachable (its data starts or goes on outside\n"
    "the volume). The text shows every state that applies, worst first, and the\n"
    "bytes at risk of the length (\"overwritten 16384/40000\"); a folder shows all\n"
    "that its files have.\n"
    "  --map MAPFILE  the rescue mapfile of an image (ours or GNU ddrescue's): what\n"
    "             it does not call finished reads as unreadable, and the files\n"
    "             there are damaged\n";

const char* const kScanUsage =
    "usage: dudorazu-cli scan-lost SOURCE PARTITION [--json] [--map MAPFILE]\n"
    "\n"
    "Reads every cluster of the partition and lists what no folder reaches any\n"
    "more: folders found by their entries (under the root, named after their\n"
    "cluster) and files carved out of raw clusters (under \"扩展目录\"): JPEG\n"
    "images, Office documents, and files whose own structure gives their length\n"
    "(MP4/MOV/HEIC and the other ISO media, PNG, GIF, BMP, TIFF and camera raw\n"
    "files, WebP/AVI/WAV, MKV/WebM, MP3, MPEG-TS/AVCHD, ZIP/DOCX/XLSX/ODT/EPUB,\n"
    "PDF), each named by its first cluster and extension. Works without boot\n"
    "sectors too.\n"
    "\n"
    "  SOURCE     an image file, a device path or a disk's display name (see disks)\n"
    "  PARTITION  the partition's text as disks shows it (its name or mount point),\n"
    "             or @SECTOR for a volume search found starting there\n"
    "  --json     print {\"records\":[...]} as tree --json does; carved files have\n"
    "             paths under /扩展目录, their format in carveFormat and how their\n"
    "             end was found in carveEnd (end-marker, structure, estimated,\n"
    "             cut-short, end-guessed)\n"
    "  --map MAPFILE  the rescue mapfile of an image (ours or GNU ddrescue's): what\n"
    "             it does not call finished reads as unreadable\n"
    "\n"
    "Found folders and carves that the live tree holds too (the live root folder,\n"
    "live photos) are marked also-in-tree (alsoInTree in JSON): saving them again\n"
    "saves the same files twice.\n";

// Parses SOURCE PARTITION [--json]; returns the exit status to give up
// with, or -1 to go on.
int parseTarget(Args& args, const char* command, const char* usage, bool& json, ExfatTarget& target,
                DiskCatalogue& catalogue) {
  if (helpShown(args, usage)) return 0;
  json = takeFlag(args, "--json");
  bool missing = false;
  std::string mapfile;
  const bool hasMap = takeOption(args, "--map", mapfile, missing);
  if (missing) {
    printError(command, "--map needs a mapfile");
    return 2;
  }
  if (!argumentsFit(args, command, 2, 2, "expected SOURCE and PARTITION")) return 2;
  if (hasMap && !limitSourceToMap(args[0], mapfile, command)) return 1;
  if (!resolveExfatTarget(catalogue, args[0], args[1], command, target)) return 1;
  return -1;
}

}  // namespace

int cmdTree(Args args) {
  DiskCatalogue catalogue;
  ExfatTarget target;
  bool json = false;
  if (int status = parseTarget(args, "tree", kTreeUsage, json, target, catalogue); status >= 0) return status;
  LoadedVolume volume(*target.partition);
  // What a rescue map leaves unfinished is known to be unreadable before a read.
  volume.unreadableGiven = unreadableByMap(target.disk->devicePath, target.disk->diskSize);
  ProgressBlock progress;
  if (!runOperation(treeLoadOperation(*target.disk, volume), progress)) {
    printError("tree", "partition '" + args[1] + "' has no readable exFAT boot sector (main or backup); "
                       "scan-lost can still look for lost files");
    return 1;
  }
  if (json) {
    RecordJsonStream stream(stdout, volume.clusterBytes());
    stream.addTree(volume.rootRecord, "/");
  } else {
    printTreeText(stdout, volume.rootRecord, volume.clusterBytes());
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int cmdScanLost(Args args) {
  DiskCatalogue catalogue;
  ExfatTarget target;
  bool json = false;
  if (int status = parseTarget(args, "scan-lost", kScanUsage, json, target, catalogue); status >= 0)
    return status;
  LoadedVolume volume(*target.partition);
  // What a rescue map leaves unfinished is known to be unreadable before a read.
  volume.unreadableGiven = unreadableByMap(target.disk->devicePath, target.disk->diskSize);
  ProgressBlock progress;
  if (!runOperation(lostFileScanOperation(*target.disk, volume), progress)) {
    printError("scan-lost", "cannot open '" + target.disk->devicePath + "' for reading");
    return 1;
  }
  if (json) {
    RecordJsonStream stream(stdout, volume.clusterBytes());
    stream.addTree(volume.rootRecord, "/");
    stream.addTree(volume.extendedRecord, std::string("/") + kExtendedFolderName);
  } else {
    printTreeText(stdout, volume.rootRecord, volume.clusterBytes());
    printTreeText(stdout, volume.extendedRecord, volume.clusterBytes());
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace dudorazu::cli
