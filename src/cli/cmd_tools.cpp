// dudorazu-cli search, upcase-scan and rebuild-mbr: finding lost exFAT
// volumes and writing an MBR for them.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "cli/tools_cli.h"
#include "core/common/text.h"
#include "core/partitions/file_system_text.h"
#include "core/tools/long_operations.h"
#include "core/tools/mbr_rebuild.h"
#include "core/tools/write_questions.h"

namespace dudorazu::cli {
namespace {

const char* const kModeHelp =
    "  --mode MODE   aligned (default): every 1 MiB boundary and the cylinder\n"
    "                candidates; cylinder: the first sector and sector 63 of every\n"
    "                cylinder; head: the first sector of every track as well;\n"
    "                sector: every sector (reads the whole disk)\n"
    "  --heads N     heads per cylinder for the grid (1-255; default: the disk's)\n";

std::string searchUsage() {
  return std::string("usage: dudorazu-cli search SOURCE [--mode aligned|cylinder|head|sector] [--heads N]\n"
                     "                            [--json]\n\n"
                     "Searches a disk or image for exFAT volumes whose partition entries are lost\n"
                     "and lists each with its label, cylinder-head-sector, size in sectors and\n"
                     "kind, then the disk's partition list with the found volumes appended.\n"
                     "A found volume is named @START there (its start sector), which tree,\n"
                     "scan-lost, recover and image take as PARTITION. Ctrl-C stops the search.\n\n") +
         kModeHelp + "  --json        print {\"found\":[...],\"partitions\":[...]}\n";
}

const char* const kUpcaseScanUsage =
    "usage: dudorazu-cli upcase-scan SOURCE [PARTITION] [--json]\n\n"
    "Looks for the first sector of a standard exFAT up-case table where a default\n"
    "format would have put it: from the start of the disk, or of the partition.\n"
    "Prints whether one was found and at which sector.\n";

std::string rebuildMbrUsage() {
  return std::string("usage: dudorazu-cli rebuild-mbr SOURCE [--mode MODE] [--heads N] [--list]\n"
                     "                               [--start SECTOR]... [--yes]\n\n"
                     "Searches SOURCE for lost exFAT volumes, lists the volumes a new MBR can hold\n"
                     "(--list, or when no --start is given) and writes sector 0 with one primary\n"
                     "entry for each row whose start sector is given (at most four). The boot code\n"
                     "and the status and CHS bytes of sector 0 stay. A volume that runs past the\n"
                     "disk's end gets an entry that stops there; volumes that overlap, and a disk\n"
                     "with a mounted volume, are refused. Back the table up first with pt-backup.\n\n") +
         kModeHelp +
         "  --list        only list the rows\n"
         "  --start N     write the row starting at sector N (repeatable)\n"
         "  --yes         do not ask before writing sector 0\n";
}

struct SearchOptions {
  SearchMode mode = SearchMode::Aligned;
  uint8_t heads = 0;
};

// Takes --mode and --heads; returns 0, or 2 after printing a usage error.
int takeSearchOptions(Args& args, const char* command, SearchOptions& options) {
  bool missing = false;
  std::string mode, heads;
  if (takeOption(args, "--mode", mode, missing)) {
    if (mode == "aligned") options.mode = SearchMode::Aligned;
    else if (mode == "cylinder") options.mode = SearchMode::Cylinder;
    else if (mode == "head") options.mode = SearchMode::Head;
    else if (mode == "sector") options.mode = SearchMode::Sector;
    else {
      printError(command, "--mode must be aligned, cylinder, head or sector");
      return 2;
    }
  }
  if (takeOption(args, "--heads", heads, missing)) {
    uint64_t n = 0;
    if (!parseDecimal(heads, n) || n < 1 || n > 255) {
      printError(command, "--heads must be a number from 1 to 255");
      return 2;
    }
    options.heads = static_cast<uint8_t>(n);
  }
  if (missing) {
    printError(command, "--mode and --heads need a value");
    return 2;
  }
  return 0;
}

// Columns are padded by what a terminal shows: CJK characters take two cells.
std::string cell(const std::string& raw, size_t width, bool right = false) {
  const std::string text = printableText(raw);
  size_t shown = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    shown += length == 3 ? 2 : 1;
    i += length;
  }
  std::string pad(shown < width ? width - shown : 0, ' ');
  return right ? pad + text : text + pad;
}

// Runs the search with a progress bar; Ctrl-C stops it.
bool runSearch(DiskRecord& disk, const SearchOptions& options, std::vector<FoundVolume>& found) {
  ProgressBlock progress;
  return runOperation(searchOperation(disk, options.mode, options.heads,
                                      [&](const FoundVolume& v) { found.push_back(v); }),
                      progress);
}

// What tree, recover and image take as PARTITION for the row: a found
// volume, which no later run lists, by its start.
std::string commandName(const PartitionRecord& p) {
  return p.searchKind == kSearchKindFound ? foundVolumeAddress(p.startSector) : partitionText(p);
}

void printSearchJson(const DiskRecord& disk, const std::vector<FoundVolume>& found, bool completed) {
  JsonWriter json;
  json.beginObject().field("completed", completed).key("found").beginArray();
  for (const FoundVolume& v : found) {
    json.beginObject()
        .field("fileSystem", "exFat")
        .field("label", v.label)
        .field("chs", v.chs)
        .field("sizeSectors", v.sizeSectors)
        .field("kind", entryKindText(v.entryKind))
        .field("startSector", v.startSector)
        .field("partition", foundVolumeAddress(v.startSector))
        .field("viaBackup", v.viaBackup)
        .field("appended", v.appended)
        .endObject();
  }
  json.endArray().key("partitions").beginArray();
  for (const PartitionRecord& p : disk.partitions) {
    json.beginObject()
        .field("name", p.name)
        .field("partition", commandName(p))
        .field("label", p.label)
        .field("fileSystem", fileSystemText(p))
        .field("typeCode", static_cast<uint32_t>(p.typeCode))
        .field("startSector", p.startSector)
        .field("sizeSectors", p.sizeSectors)
        .field("entryKind", static_cast<uint32_t>(p.entryKind))
        .field("searchKind", p.searchKind)
        .endObject();
  }
  json.endArray().endObject();
  std::printf("%s\n", json.str().c_str());
}

void printSearchText(const DiskRecord& disk, const std::vector<FoundVolume>& found) {
  std::printf("%s %s %s %s %s\n", cell("文件系统", 8).c_str(), cell("卷标", 16).c_str(),
              cell("柱面-磁头-扇区", 16).c_str(), cell("分区大小", 12, true).c_str(), "分区类型");
  for (const FoundVolume& v : found)
    std::printf("%s %s %s %s %s\n", cell("exFat", 8).c_str(), cell(v.label, 16).c_str(), cell(v.chs, 16).c_str(),
                cell(std::to_string(v.sizeSectors), 12, true).c_str(), entryKindText(v.entryKind));
  std::printf("\npartitions of %s:\n", printableText(displayName(disk)).c_str());
  // The first column is what names the row in a later command.
  for (const PartitionRecord& p : disk.partitions)
    std::printf("  %s %s start %-10llu size %-12llu %s %s%s\n", cell(commandName(p), 14).c_str(),
                cell(fileSystemText(p), 7).c_str(), static_cast<unsigned long long>(p.startSector),
                static_cast<unsigned long long>(p.sizeSectors), cell(entryKindText(p.entryKind), 4).c_str(),
                printableText(p.label).c_str(), p.searchKind == kSearchKindFound ? "  (found)" : "");
}

void printRows(const std::vector<RebuildRow>& rows) {
  std::printf("%s %s %s %s %s\n", cell("系统", 6).c_str(), cell("卷标", 16).c_str(),
              cell("起始位置(sec)", 14, true).c_str(), cell("大小", 10, true).c_str(), "主/逻辑");
  for (const RebuildRow& r : rows)
    std::printf("%s %s %s %s %s\n", cell(r.system, 6).c_str(), cell(r.label, 16).c_str(),
                cell(r.startText, 14, true).c_str(), cell(r.sizeText, 10, true).c_str(), r.kindText.c_str());
}

}  // namespace

int cmdSearch(Args args) {
  const char* command = "search";
  if (helpShown(args, searchUsage())) return 0;
  SearchOptions options;
  if (int rc = takeSearchOptions(args, command, options)) return rc;
  bool asJson = takeFlag(args, "--json");
  if (!argumentsFit(args, command, 1, 1, "needs exactly one SOURCE")) return 2;
  DiskCatalogue catalogue;
  DiskRecord* disk = resolveSource(catalogue, args[0], command);
  if (!disk) return 1;
  std::vector<FoundVolume> found;
  bool completed = runSearch(*disk, options, found);
  if (asJson) printSearchJson(*disk, found, completed);
  else printSearchText(*disk, found);
  if (!completed) printError(command, "the search was stopped or the disk could not be read to its end");
  return completed ? 0 : 1;
}

int cmdUpcaseScan(Args args) {
  const char* command = "upcase-scan";
  if (helpShown(args, kUpcaseScanUsage)) return 0;
  bool asJson = takeFlag(args, "--json");
  if (!argumentsFit(args, command, 1, 2, "needs SOURCE and optionally PARTITION")) return 2;
  DiskCatalogue catalogue;
  DiskRecord* disk = resolveSource(catalogue, args[0], command);
  if (!disk) return 1;
  PartitionRecord* partition = nullptr;
  if (args.size() == 2 && !(partition = resolvePartition(*disk, args[1], command))) return 1;

  ProgressBlock progress;
  uint64_t sector = 0;
  const bool found = runOperation(upcaseScanOperation(*disk, partition, sector), progress);
  if (asJson) {
    JsonWriter json;
    json.beginObject().field("found", found);
    if (found) json.field("sector", sector);
    std::printf("%s\n", json.endObject().str().c_str());
  } else if (found) {
    std::printf("up-case table found at sector %llu\n", static_cast<unsigned long long>(sector));
  } else {
    std::printf("no up-case table found\n");
  }
  return progress.cancelled() ? 1 : 0;
}

int cmdRebuildMbr(Args args) {
  const char* command = "rebuild-mbr";
  if (helpShown(args, rebuildMbrUsage())) return 0;
  SearchOptions options;
  if (int rc = takeSearchOptions(args, command, options)) return rc;
  bool listOnly = takeFlag(args, "--list");
  bool yes = takeFlag(args, "--yes");
  bool missing = false;
  std::vector<std::string> starts = takeOptions(args, "--start", missing);
  if (missing) {
    printError(command, "--start needs a SECTOR");
    return 2;
  }
  if (!argumentsFit(args, command, 1, 1, "needs exactly one SOURCE")) return 2;
  DiskCatalogue catalogue;
  DiskRecord* disk = resolveSource(catalogue, args[0], command);
  if (!disk) return 1;
  CliMessages messages(command);
  if (!rebuildAllowed(*disk, messages)) return 1;

  std::vector<FoundVolume> found;
  if (!runSearch(*disk, options, found)) {
    printError(command, "the search was stopped or the disk could not be read; nothing written");
    return 1;
  }
  std::vector<RebuildRow> rows = rebuildRows(*disk);
  if (listOnly || starts.empty()) {
    printRows(rows);
    if (!listOnly) std::printf("\nnothing written: give --start SECTOR for each row to put in the MBR\n");
    return 0;
  }

  // A row is chosen by its start; when rows share one, the last in the
  // list is the one the table gets.
  std::vector<size_t> ticked;
  std::vector<const RebuildRow*> chosenRows;
  std::set<std::string> seen;
  for (const std::string& s : starts) {
    uint64_t n = 0;
    if (!parseDecimal(s, n)) {
      printError(command, "--start needs a sector number, not '" + s + "'");
      return 2;
    }
    std::string text = std::to_string(n);
    if (!seen.insert(text).second) continue;
    const RebuildRow* chosen = nullptr;
    for (const RebuildRow& r : rows)
      if (r.startText == text) chosen = &r;
    if (!chosen) {
      printError(command, "no row starts at sector " + text + " (see --list)");
      return 2;
    }
    ticked.push_back(chosen->recordIndex);
    chosenRows.push_back(chosen);
  }
  if (refuseRebuild(*disk, ticked, messages)) return 1;
  if (!CliQuestions(command, yes).confirm(rebuildMbrQuestion(*disk, chosenRows))) return 1;
  RebuildResult result = writeRebuiltMbr(*disk, ticked, messages);
  if (result != RebuildResult::Written) return 1;
  std::printf("sector 0 of %s written with %zu entr%s\n", displayName(*disk).c_str(), ticked.size(),
              ticked.size() == 1 ? "y" : "ies");
  for (size_t index : ticked) {
    const RebuiltEntry entry = rebuiltEntry(*disk, disk->partitions[index]);
    std::printf("  start %llu, %llu sectors%s\n", static_cast<unsigned long long>(entry.firstSector),
                static_cast<unsigned long long>(entry.sectors),
                entry.cut ? " (the volume runs past the disk's end: its entry stops there)" : "");
  }
  return 0;
}

}  // namespace dudorazu::cli
