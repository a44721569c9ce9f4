// recover and stats: the save engine and the statistics on the command line.

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "cli/cli_support.h"
#include "core/device/map_limited_device.h"
#include "cli/record_listing.h"
#include "core/common/text.h"
#include "core/device/command_output.h"
#include "core/exfat/lost_file_scan.h"
#include "core/exfat/record_walk.h"
#include "core/exfat/subtree_tally.h"
#include "core/exfat/tree_loader.h"
#include "core/present/display_format.h"
#include "core/present/recoverability_text.h"
#include "core/present/statistics.h"
#include "core/recovery/dfxml_report.h"
#include "core/recovery/record_filter.h"
#include "core/recovery/save_plan.h"
#include "core/recovery/save_report.h"
#include "core/recovery/save_room.h"
#include "core/tools/long_operations.h"
#include "core/tools/write_questions.h"

namespace dudorazu::cli {
namespace {

const char* const kRecoverUsage =
    "usage: dudorazu-cli recover SOURCE PARTITION DEST [--path P]... [--lost]\n"
    "                            [--deleted | --live] [--name PATTERN] [--ext LIST]\n"
    "                            [--only-intact | --only-at-risk]\n"
    "                            [--dry-run] [--report FILE [--yes]] [--chain-only]\n"
    "                            [--map MAPFILE]\n"
    "\n"
    "Copies files and folders of an exFAT partition, deleted ones included, out of\n"
    "the raw sectors into DEST. Without --path the root folder is saved, into\n"
    "DEST/根目录/...; existing files are never overwritten (a.txt becomes\n"
    "a.txt0.txt, a.txt1.txt, ...). Saved files and folders keep their modified\n"
    "times. Nothing is written when DEST's file system has less room than the\n"
    "files need.\n"
    "\n"
    "  SOURCE        an image file, a device path or a disk's display name\n"
    "  PARTITION     the partition's text as disks shows it, or @SECTOR for a\n"
    "                volume search found starting there\n"
    "  DEST          the target folder (made when missing); not on the volume\n"
    "                being read\n"
    "  --path P      save the record at P, a path as tree prints it (\"/photos\",\n"
    "                \"/扩展目录/1234.jpg\"); repeat for more (each is one job, ten run\n"
    "                at once)\n"
    "  --lost        run the lost-file scan first and save from its trees (found\n"
    "                folders under the root, carved files under 扩展目录)\n"
    "  --deleted     only deleted files      --live   only live files\n"
    "  --name PAT    only files whose name matches PAT (* and ?, no case; several\n"
    "                patterns separated by ;)\n"
    "  --ext LIST    only files with one of these extensions (\"jpg;doc\")\n"
    "  --only-intact   only files whose every cluster is still their own (see\n"
    "                tree --help: recoverability)\n"
    "  --only-at-risk  only the others: overwritten, damaged, guessed, carved or\n"
    "                unreachable\n"
    "                Folders are made only where a matching file is saved.\n"
    "  --dry-run     list what would be saved, write nothing\n"
    "  --report FILE write a DFXML report: per file its path in the volume, size,\n"
    "                allocation, byte runs, SHA-256 of what was written, output\n"
    "                path, status, whether it was carved or guessed, the\n"
    "                bytes read from clusters other files hold now, and its\n"
    "                recoverability (dudorazu:recoverability: the worst state,\n"
    "                all of them and the bytes at risk)\n"
    "  --chain-only  a deleted file whose FAT chain ends before its length is\n"
    "                saved as far as the chain goes; without it the rest is\n"
    "                taken from the clusters after it that the allocation bitmap\n"
    "                marks free, in order (a driver clears a deleted file's chain)\n"
    "  --yes         replace an existing report file\n"
    "  --map MAPFILE the rescue mapfile of an image (ours or GNU ddrescue's): what\n"
    "                it does not call finished reads as unreadable, so the files\n"
    "                there are named damaged instead of saved with filler bytes\n"
    "\n"
    "Every file not saved whole or as recorded is named on stderr: failed,\n"
    "partial (failed or interrupted midway; the file keeps what it holds under\n"
    "NAME.partial), damaged (unreadable runs saved as zeros, clusters the load or\n"
    "scan could not read, or a length beyond what the volume holds: saved up to\n"
    "the volume's end), short (the data\n"
    "clusters ended first), overwritten (a deleted file some of whose clusters\n"
    "are in use now: marked in the allocation bitmap or held by a live file or\n"
    "folder; the bytes are saved as they are and the count of bytes read from\n"
    "them is given), guessed (see --chain-only; a deleted JPEG takes the free\n"
    "clusters where its data decodes on), carved (found by content with --lost:\n"
    "a JPEG's data decoded up to its end marker, or a file's own structure walked\n"
    "to its end; \"carved (end guessed)\" when an\n"
    "end marker was only searched for; guessed when its data went on in free\n"
    "clusters chosen by decoding it; incomplete when its data breaks off or no\n"
    "end marker or structure end was found). Empty files and folders are recreated. Prints a\n"
    "summary line. Exit status 1 when a file failed, is partial, damaged, short,\n"
    "overwritten, guessed or carved, or when DEST has too little room.\n";

const char* const kStatsUsage =
    "usage: dudorazu-cli stats SOURCE PARTITION [PATH]\n"
    "\n"
    "Prints the file statistics of PATH (a path as tree prints it, default the\n"
    "root folder \"/\"): bytes, folders and files below it, deleted ones included,\n"
    "then how many files are in each worst recoverability state (see tree --help).\n";

int openTarget(Args& args, size_t count, const char* command, DiskCatalogue& catalogue, ExfatTarget& target) {
  const size_t least = count == 3 && std::string(command) == "stats" ? 2 : count;
  if (!argumentsFit(args, command, least, count, "wrong number of arguments")) return 2;
  if (!resolveExfatTarget(catalogue, args[0], args[1], command, target)) return 1;
  return -1;
}

// Folders are counted by a hash of their output path: keeping the paths
// themselves would cost memory quadratic in the depth of the tree.
using FolderSet = std::unordered_set<size_t>;

// What the jobs report, taken in as each file is reached (under one lock:
// jobs run side by side) and kept only as counts: a save of millions of
// files holds no entry per file. Lines go out as they come; the report
// gets each file's entry the same way.
struct SaveLog {
  std::mutex mutex;
  FolderSet folders;
  uint64_t carved = 0, incomplete = 0, partial = 0;
  DfxmlWriter* report = nullptr;
};

CommandPath reportOutput(const std::string& path) { return {path, "--report", ByteRange::from(0), false}; }

// Notes the folders above `file` up to DEST, from the nearest on, until one
// is known already.
void addFolders(FolderSet& folders, const std::string& dest, std::string_view file) {
  for (size_t slash = file.rfind('/'); slash != std::string::npos && slash > dest.size(); slash = file.rfind('/', slash - 1)) {
    if (!folders.insert(std::hash<std::string_view>{}(file.substr(0, slash))).second) break;
  }
}

}  // namespace

int cmdRecover(Args args) {
  if (helpShown(args, kRecoverUsage)) return 0;
  bool missing = false;
  std::vector<std::string> paths = takeOptions(args, "--path", missing);
  bool lost = takeFlag(args, "--lost");
  bool deletedOnly = takeFlag(args, "--deleted");
  bool liveOnly = takeFlag(args, "--live");
  bool dryRun = takeFlag(args, "--dry-run");
  bool chainOnly = takeFlag(args, "--chain-only");
  bool onlyIntact = takeFlag(args, "--only-intact");
  bool onlyAtRisk = takeFlag(args, "--only-at-risk");
  std::string namePattern, extList, reportPath;
  bool hasName = takeOption(args, "--name", namePattern, missing);
  bool hasExt = takeOption(args, "--ext", extList, missing);
  bool hasReport = takeOption(args, "--report", reportPath, missing);
  std::string mapfile;
  const bool hasMap = takeOption(args, "--map", mapfile, missing);
  bool yes = takeFlag(args, "--yes");
  if (missing) {
    printError("recover", "an option is missing its value (see --help)");
    return 2;
  }
  if (deletedOnly && liveOnly) {
    printError("recover", "--deleted and --live exclude each other");
    return 2;
  }
  if (onlyIntact && onlyAtRisk) {
    printError("recover", "--only-intact and --only-at-risk exclude each other");
    return 2;
  }
  if (args.size() == 3 && args[2].empty()) {
    printError("recover", "DEST is empty; name the folder to save into");
    return 2;
  }
  DiskCatalogue catalogue;
  ExfatTarget target;
  if (hasMap && !args.empty() && !limitSourceToMap(args[0], mapfile, "recover")) return 1;
  if (int status = openTarget(args, 3, "recover", catalogue, target); status >= 0) return status;
  const std::string dest = withoutTrailingSlashes(args[2]);
  LoadedVolume volume(*target.partition);
  // What a rescue map leaves unfinished is known to be unreadable before a read.
  volume.unreadableGiven = unreadableByMap(target.disk->devicePath, target.disk->diskSize);
  const CommandPath source = partitionInput(target.disk->devicePath, volume.partition, "SOURCE");
  if (hasReport) {
    // Asked now as well as when the report is made, so a long save does not
    // end in a refusal.
    if (std::string problem = outputProblem({source}, {reportOutput(reportPath)}); !problem.empty()) {
      printError("recover", problem);
      return 1;
    }
    if (pathExists(reportPath) && !CliQuestions("recover", yes).confirm(replaceFileQuestion(reportPath))) return 1;
  }

  ProgressBlock progress;
  if (!runOperation(lost ? lostFileScanOperation(*target.disk, volume) : treeLoadOperation(*target.disk, volume),
                    progress)) {
    printError("recover", lost ? "cannot open '" + target.disk->devicePath + "' for reading"
                               : "partition '" + args[1] + "' has no readable exFAT boot sector; try --lost");
    return 1;
  }
  if (!lost && !rootFolderReadable(*target.disk, volume)) {
    printError("recover", format("the root folder (cluster %" PRIu32 ") of partition '%s' cannot be read: the disk or "
                                 "image ends before it or the read failed; try --lost",
                                 volume.rootRecord.firstCluster, args[1].c_str()));
    return 1;
  }

  std::vector<const ExfatFileRecord*> records;
  if (paths.empty()) {
    records.push_back(&volume.rootRecord);
    if (lost) records.push_back(&volume.extendedRecord);
  }
  for (const std::string& p : paths) {
    const auto [r, matches] = findByPath(volume, p);
    if (!r) {
      printError("recover", "no record at '" + p + "' (tree lists the paths)");
      return 1;
    }
    if (matches > 1)
      std::fprintf(stderr, "dudorazu-cli recover: %zu records share the path '%s'; saving the %s one\n", matches,
                   p.c_str(), r->isDeleted() ? "first" : "live");
    records.push_back(r);
  }

  RecordFilter filter;
  filter.state = deletedOnly ? RecordFilter::State::Deleted
                 : liveOnly  ? RecordFilter::State::Live
                             : RecordFilter::State::Any;
  if (hasName) filter.namePatterns = parsePatternList(namePattern);
  if (hasExt) filter.extensions = parseExtensionList(extList);
  filter.recoverability = onlyIntact ? kOnlyIntact : onlyAtRisk ? kOnlyAtRisk : 0;

  // One clear refusal instead of one failure per file.
  if (std::string problem = targetFolderProblem(dest, source, !dryRun); !problem.empty()) {
    printError("recover", problem);
    return 1;
  }
  std::optional<uint64_t> freeBytes;
  if (!dryRun) {
    freeBytes = 0;
    if (!destinationFreeBytes(dest, *freeBytes)) {
      printError("recover", "cannot ask how much room '" + dest + "' has");
      return 1;
    }
  }

  SaveJobOptions options;
  if (!filter.empty()) options.fileFilter = [filter](const ExfatFileRecord& f) { return filter.matches(f); };
  options.dryRun = dryRun;
  options.collectRuns = hasReport;
  options.hashData = hasReport && !dryRun;
  options.guessFreeClusters = !chainOnly;
  std::vector<PlannedRecord> planned;
  for (size_t i = 0; i < records.size(); ++i)
    planned.push_back({{target.disk, &volume, const_cast<ExfatFileRecord*>(records[i])}, dest, i});
  // The room test and the bar count only what the filters let through, and
  // of a length beyond the volume only what the volume can hold.
  RecordingMessageSink refusal;
  SavePlan plan = planBatchSave(planned, freeBytes, options, progress, refusal);
  if (plan.refused) {
    std::string room;
    if (freeBytes && refusal.messages[0].text != kTargetOnSource)
      room = format(" (%" PRIu64 " bytes to save, %" PRIu64 " free)", plan.total, *freeBytes);
    printError("recover", refusal.messages[0].text + room);
    return 1;
  }
  if (!plan.dropped.empty()) {
    printError("recover", "cannot open '" + target.disk->devicePath + "' for reading");
    return 1;
  }
  SaveLog log;
  // The report is made before the first file is saved: a report that cannot
  // be written stops the command before anything is done.
  CommandOutput reportFile;
  std::optional<DfxmlWriter> report;
  if (hasReport) {
    reportFile = createCommandOutput(reportOutput(reportPath), {source});
    if (!reportFile.problem.empty() || !reportFile.file) {
      printError("recover", !reportFile.problem.empty() ? reportFile.problem
                                                        : "cannot write the report '" + reportPath + "'");
      return 1;
    }
    DfxmlSource read;
    read.imageFilename = target.disk->devicePath;
    read.partitionOffset = volume.partition.startOffset();
    read.blockSize = volume.clusterBytes();
    read.commandLine = "dudorazu-cli recover";
    log.report = &report.emplace(*reportFile.file, std::move(read));
  }
  // A line printed while the bar is drawn on the same terminal first wipes
  // the bar, which is drawn again below it at its next change.
  const char* const overBar = ::isatty(STDERR_FILENO) ? "\r\033[K" : "";
  const char* const outOverBar = ::isatty(STDOUT_FILENO) ? overBar : "";
  for (SaveJob& job : plan.jobs) {
    job.options.onFile = [&log, &dest, dryRun, overBar, outOverBar](const SavedFile& f) {
      std::lock_guard<std::mutex> lock(log.mutex);
      if (dryRun)
        std::printf("%s%s  %" PRIu64 "  %s\n", outOverBar, printableText(f.outputPath).c_str(), f.record->dataLength,
                    stateText(f.record->state));
      if (std::string line = savedFileProblem(f, dryRun); !line.empty())
        std::fprintf(stderr, "%s%s\n", overBar, line.c_str());
      log.carved += f.record->carve != kNotCarved;
      log.incomplete += f.record->carve == kCarvedIncomplete;
      log.partial += f.partial || f.cancelled;
      if (f.created || dryRun) addFolders(log.folders, dest, f.outputPath);
      if (log.report) log.report->add(dfxmlFileOf(f, dryRun));
    };
    job.options.onFolder = [&log, &dest](const std::string& folder) {
      std::lock_guard<std::mutex> lock(log.mutex);
      addFolders(log.folders, dest, folder + "/");
    };
  }

  SaveScheduler scheduler;
  runOperation(batchSaveOperation(scheduler, std::move(plan.jobs), dryRun), progress);

  const SaveTotals totals = sumTotals(scheduler.saveQueue());
  const FolderSet& folders = log.folders;
  const uint64_t carved = log.carved, incomplete = log.incomplete, partial = log.partial;
  // A carve is never known to be whole.
  const bool notWhole = totals.failed || totals.damaged || totals.shortened || totals.overwritten || totals.guessed ||
                        partial || carved;
  int status = notWhole ? 1 : 0;
  if (report && !report->finish()) {
    printError("recover", "cannot write the report '" + reportPath + "'");
    status = 1;
  }
  std::string summary = format("%s %" PRIu64 " files in %zu folders, %" PRIu64 " bytes, %" PRIu64 " failed, %" PRIu64
                               " damaged",
                               dryRun ? "would save" : "saved", totals.files, folders.size(), totals.bytes,
                               totals.failed, totals.damaged);
  if (totals.shortened) summary += format(", %" PRIu64 " shorter than recorded (no more data clusters)", totals.shortened);
  if (partial) summary += format(", %" PRIu64 " partial", partial);
  if (totals.overwritten) summary += format(", %" PRIu64 " overwritten", totals.overwritten);
  if (totals.guessed) summary += format(", %" PRIu64 " guessed", totals.guessed);
  if (carved) summary += format(", %" PRIu64 " carved", carved);
  if (incomplete) summary += format(" (%" PRIu64 " incomplete)", incomplete);
  if (progress.cancelled()) {
    summary += ", interrupted";
    status = 1;
  }
  std::printf("%s; %s %s\n", summary.c_str(), dryRun ? "target" : "into", dest.c_str());
  return std::fflush(stdout) == 0 ? status : 1;
}

int cmdStats(Args args) {
  if (helpShown(args, kStatsUsage)) return 0;
  DiskCatalogue catalogue;
  ExfatTarget target;
  if (int status = openTarget(args, 3, "stats", catalogue, target); status >= 0) return status;
  LoadedVolume volume(*target.partition);
  ProgressBlock progress;
  if (!runOperation(treeLoadOperation(*target.disk, volume), progress)) {
    printError("stats", "partition '" + args[1] + "' has no readable exFAT boot sector");
    return 1;
  }
  std::string path = args.size() > 2 ? args[2] : "/";
  const ExfatFileRecord* record = findByPath(volume, path).record;
  if (!record) {
    printError("stats", "no record at '" + path + "' (tree lists the paths)");
    return 1;
  }
  const SubtreeTally tally = tallySubtree(record);
  std::printf("%s\n", statisticsMessage(tally).c_str());
  if (tally.files != 0) std::printf("by recoverability: %s\n", countsByStateNames(tally).c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace dudorazu::cli
