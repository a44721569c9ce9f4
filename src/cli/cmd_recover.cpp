// recover and stats: the save engine and the statistics on the command line.

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <set>

#include "cli/cli_support.h"
#include "cli/record_listing.h"
#include "core/common/text.h"
#include "core/device/command_paths.h"
#include "core/exfat/lost_file_scan.h"
#include "core/exfat/tree_loader.h"
#include "core/recovery/dfxml_report.h"
#include "core/recovery/record_filter.h"
#include "core/recovery/save_commands.h"
#include "core/recovery/statistics.h"
#include "core/recovery/subtree_tally.h"
#include "core/tools/long_operations.h"
#include "core/tools/write_questions.h"

namespace dudorazu::cli {
namespace {

const char* const kRecoverUsage =
    "usage: dudorazu-cli recover SOURCE PARTITION DEST [--path P]... [--lost]\n"
    "                            [--deleted | --live] [--name PATTERN] [--ext LIST]\n"
    "                            [--dry-run] [--report FILE [--yes]] [--chain-only]\n"
    "\n"
    "Copies files and folders of an exFAT partition, deleted ones included, out of\n"
    "the raw sectors into DEST. Without --path the root folder is saved, into\n"
    "DEST/根目录/...; existing files are never overwritten (a.txt becomes\n"
    "a.txt0.txt, a.txt1.txt, ...). Saved files and folders keep their modified\n"
    "times. Nothing is written when DEST's file system has less room than the\n"
    "files need.\n"
    "\n"
    "  SOURCE        an image file, a device path or a disk's display name\n"
    "  PARTITION     the partition's text as disks shows it\n"
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
    "                Folders are made only where a matching file is saved.\n"
    "  --dry-run     list what would be saved, write nothing\n"
    "  --report FILE write a DFXML report: per file its path in the volume, size,\n"
    "                allocation, byte runs, SHA-256 of what was written, output\n"
    "                path, status, and whether it was carved or guessed\n"
    "  --chain-only  a deleted file whose FAT chain ends before its length is\n"
    "                saved as far as the chain goes; without it the rest is\n"
    "                taken from the clusters after it that the allocation bitmap\n"
    "                marks free, in order (a driver clears a deleted file's chain)\n"
    "  --yes         replace an existing report file\n"
    "\n"
    "Every file not saved whole or as recorded is named on stderr: failed,\n"
    "partial (failed or interrupted midway; the file keeps what it holds under\n"
    "NAME.partial), damaged (unreadable runs saved as zeros, or a length beyond\n"
    "what the volume holds: saved up to the volume's end), short (the data\n"
    "clusters ended first), guessed (see --chain-only), carved (found by\n"
    "content with --lost; incomplete when no end marker was found). Empty\n"
    "files and folders are recreated. Prints a summary line. Exit status 1 when\n"
    "a file failed, is partial, damaged, short or an incomplete carve, or when\n"
    "DEST has too little room.\n";

const char* const kStatsUsage =
    "usage: dudorazu-cli stats SOURCE PARTITION [PATH]\n"
    "\n"
    "Prints the file statistics of PATH (a path as tree prints it, default the\n"
    "root folder \"/\"): bytes, folders and files below it, deleted ones included.\n";

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Records of both trees whose path as tree prints it is `path`; a live one
// first when several share it.
const ExfatFileRecord* findByPath(const PartitionRecord& partition, const std::string& wanted, size_t& matches) {
  const ExfatFileRecord* live = nullptr;
  const ExfatFileRecord* any = nullptr;
  matches = 0;
  std::string path = withoutTrailingSlashes(wanted);
  auto visit = [&](const ExfatFileRecord& r, const std::string& p, size_t) {
    if (p != path) return;
    ++matches;
    if (!any) any = &r;
    if (!live && !r.isDeleted()) live = &r;
  };
  forEachRecord(partition.rootRecord, "/", visit);
  if (!partition.extendedRecord.children.empty() || partition.extendedRecord.state != 0)
    forEachRecord(partition.extendedRecord, std::string("/") + kExtendedFolderName, visit);
  return live ? live : any;
}

int openTarget(Args& args, size_t count, const char* command, DiskCatalogue& catalogue, ExfatTarget& target) {
  if (rejectUnknownOptions(args, command)) return 2;
  if (args.size() != count && !(count == 3 && args.size() == 2 && std::string(command) == "stats")) {
    printError(command, "wrong number of arguments (see --help)");
    return 2;
  }
  if (!resolveExfatTarget(catalogue, args[0], args[1], command, target)) return 1;
  return -1;
}

// What the jobs report, gathered per job so that no two threads share a list.
struct JobLog {
  std::vector<SavedFile> files;
  std::vector<std::string> folders;  // made (planned) without a filter
};

void addFolders(std::set<std::string>& folders, const std::string& dest, const std::string& file) {
  for (size_t slash = file.rfind('/'); slash != std::string::npos && slash > dest.size(); slash = file.rfind('/', slash - 1)) {
    if (!folders.insert(file.substr(0, slash)).second) break;
  }
}

// The line that names a file not saved whole or as its entry records, or
// an empty string.
std::string namedLine(const SavedFile& f, bool dryRun) {
  const ExfatFileRecord& r = *f.record;
  const std::string from = printableText(recordPath(r));
  const std::string to = " -> " + printableText(f.outputPath);
  if (f.failed && !f.partial) return "failed: " + from + (f.created ? " (write error)" : " (cannot create the output file)");
  if (f.partial)
    return "partial: " + from + to + format(" (%s after %" PRIu64 " of %" PRIu64 " bytes)",
                                            f.cancelled ? "interrupted" : "write error", f.bytesWritten, r.dataLength);
  if (f.cancelled) return "partial: " + from + " (interrupted)";
  std::string line;
  if (f.beyondVolume)
    line = "damaged: " + from + to + format(" (records %" PRIu64 " bytes, more than the volume holds; %" PRIu64 " saved)",
                                            r.dataLength, f.bytesWritten);
  else if (f.damaged)
    line = "damaged: " + from + to + format(" (%zu unreadable runs saved as zeros)", f.unreadable.size());
  else if (f.shortened)
    line = "short: " + from + to + format(" (%" PRIu64 " of %" PRIu64 " bytes; no more data clusters)", f.bytesWritten,
                                          r.dataLength);
  auto add = [&](const std::string& more) { line += (line.empty() ? "" : "\n") + more; };
  if (f.guessed) add("guessed: " + from + to + " (the clusters after its chain's end that are free)");
  if (r.carve == kCarvedToWindowLimit) add("incomplete: " + from + to + " (carved; no end marker within the window)");
  else if (r.carve == kCarvedLengthEstimated) add("carved: " + from + to + " (found by content; length from its header)");
  else if (r.carve != kNotCarved) add("carved: " + from + to + " (found by content; ends at its end marker)");
  if (dryRun && !line.empty()) line = "would be " + line;
  return line;
}

// The root folder's first cluster must be readable, or the volume was cut
// off (a truncated image) and a save would find nothing while saying so
// quietly.
bool rootFolderReadable(const std::string& devicePath, const PartitionRecord& partition) {
  std::unique_ptr<SectorDevice> device = openDevice(devicePath, OpenMode::Read);
  const uint64_t bytes = partition.clusterBytes();
  if (!device || bytes == 0) return false;
  std::vector<uint8_t> cluster(static_cast<size_t>(bytes));
  return device->readAt(partition.clusterPosition(partition.rootRecord.firstCluster), cluster.data(), cluster.size()) ==
         cluster.size();
}

}  // namespace

int cmdRecover(Args args) {
  if (takeFlag(args, "--help") || takeFlag(args, "-h")) {
    std::fputs(kRecoverUsage, stdout);
    return 0;
  }
  bool missing = false;
  std::vector<std::string> paths = takeOptions(args, "--path", missing);
  bool lost = takeFlag(args, "--lost");
  bool deletedOnly = takeFlag(args, "--deleted");
  bool liveOnly = takeFlag(args, "--live");
  bool dryRun = takeFlag(args, "--dry-run");
  bool chainOnly = takeFlag(args, "--chain-only");
  std::string namePattern, extList, reportPath;
  bool hasName = takeOption(args, "--name", namePattern, missing);
  bool hasExt = takeOption(args, "--ext", extList, missing);
  bool hasReport = takeOption(args, "--report", reportPath, missing);
  bool yes = takeFlag(args, "--yes");
  if (missing) {
    printError("recover", "an option is missing its value (see --help)");
    return 2;
  }
  if (deletedOnly && liveOnly) {
    printError("recover", "--deleted and --live exclude each other");
    return 2;
  }
  if (args.size() == 3 && args[2].empty()) {
    printError("recover", "DEST is empty; name the folder to save into");
    return 2;
  }
  DiskCatalogue catalogue;
  ExfatTarget target;
  if (int status = openTarget(args, 3, "recover", catalogue, target); status >= 0) return status;
  const std::string dest = withoutTrailingSlashes(args[2]);
  PartitionRecord& partition = *target.partition;
  const CommandPath source{target.disk->devicePath, "SOURCE", static_cast<uint64_t>(partition.startSector) * 512,
                           partition.sizeSectors > UINT64_MAX / 512 ? UINT64_MAX : partition.sizeSectors * 512};
  if (hasReport) {
    const std::vector<CommandPath> report = {{reportPath, "--report", 0, UINT64_MAX, false}};
    std::string problem = commandPathProblem({source}, report);
    if (problem.empty()) problem = outputVolumeProblem({source}, report);
    if (!problem.empty()) {
      printError("recover", problem);
      return 1;
    }
    if (pathExists(reportPath) && !CliQuestions("recover", yes).confirm(replaceFileQuestion(reportPath))) return 1;
  }

  ProgressBlock progress;
  if (!runOperation(lost ? lostFileScanOperation(*target.disk, partition) : treeLoadOperation(*target.disk, partition),
                    progress)) {
    printError("recover", lost ? "cannot open '" + target.disk->devicePath + "' for reading"
                               : "partition '" + args[1] + "' has no readable exFAT boot sector; try --lost");
    return 1;
  }
  if (!lost && !rootFolderReadable(target.disk->devicePath, partition)) {
    printError("recover", format("the root folder (cluster %" PRIu32 ") of partition '%s' cannot be read: the disk or "
                                 "image ends before it or the read failed; try --lost",
                                 partition.rootRecord.firstCluster, args[1].c_str()));
    return 1;
  }

  std::vector<const ExfatFileRecord*> records;
  if (paths.empty()) {
    records.push_back(&partition.rootRecord);
    if (lost) records.push_back(&partition.extendedRecord);
  }
  for (const std::string& p : paths) {
    size_t matches = 0;
    const ExfatFileRecord* r = findByPath(partition, p, matches);
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

  // The room test and the bar count only what the filters let through, and
  // of a length beyond the volume only what the volume can hold.
  uint64_t total = 0;
  for (const ExfatFileRecord* top : records)
    forEachRecord(*top, "", [&](const ExfatFileRecord& r, const std::string&, size_t) {
      uint64_t n = reachableLength(r, partition);
      if (r.isFile() && filter.matches(r)) total = total + n < total ? UINT64_MAX : total + n;
    });
  // One clear refusal instead of one failure per file.
  if (std::string problem = targetFolderProblem(dest, source, !dryRun); !problem.empty()) {
    printError("recover", problem);
    return 1;
  }
  if (!dryRun) {
    uint64_t freeBytes = 0;
    if (!destinationFreeBytes(dest, freeBytes)) {
      printError("recover", "cannot ask how much room '" + dest + "' has");
      return 1;
    }
    RecordingMessageSink refusal;
    if (refuseBatchForRoom(total, freeBytes, refusal)) {
      printError("recover", refusal.messages[0].text + format(" (%" PRIu64 " bytes to save, %" PRIu64 " free)", total, freeBytes));
      return 1;
    }
  }

  std::vector<JobLog> logs(records.size());
  std::vector<SaveJob> jobs;
  const uint64_t step = batchStepFor(total);
  for (size_t i = 0; i < records.size(); ++i) {
    LocatedRecord found{target.disk, &partition, const_cast<ExfatFileRecord*>(records[i])};
    std::optional<SaveJob> job = prepareSaveJob(found, dest);
    if (!job) {
      printError("recover", "cannot open '" + target.disk->devicePath + "' for reading");
      return 1;
    }
    job->batchStep = step;
    job->rowId = i;
    job->progress = &progress;
    if (!filter.empty()) job->options.fileFilter = [filter](const ExfatFileRecord& f) { return filter.matches(f); };
    job->options.dryRun = dryRun;
    job->options.collectRuns = hasReport;
    job->options.hashData = hasReport && !dryRun;
    job->options.guessFreeClusters = !chainOnly;
    JobLog* log = &logs[i];
    job->options.onFile = [log](const SavedFile& f) { log->files.push_back(f); };
    job->options.onFolder = [log](const std::string& folder) { log->folders.push_back(folder); };
    jobs.push_back(std::move(*job));
  }

  SaveScheduler scheduler;
  runOperation(batchSaveOperation(scheduler, std::move(jobs), dryRun), progress);

  SaveTotals totals;
  std::set<std::string> folders;
  std::vector<DfxmlFile> reportFiles;
  uint64_t carved = 0, incomplete = 0, partial = 0;
  for (const JobLog& log : logs) {
    for (const std::string& folder : log.folders) addFolders(folders, dest, folder + "/");
    for (const SavedFile& f : log.files) {
      if (dryRun)
        std::printf("%s  %" PRIu64 "  %s\n", printableText(f.outputPath).c_str(), f.record->dataLength,
                    stateText(f.record->state));
      if (std::string line = namedLine(f, dryRun); !line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
      carved += f.record->carve != kNotCarved;
      incomplete += f.record->carve == kCarvedToWindowLimit;
      partial += f.partial || f.cancelled;
      if (f.created || dryRun) addFolders(folders, dest, f.outputPath);
      if (hasReport) reportFiles.push_back(dfxmlFileOf(f, partition, dryRun));
    }
  }
  for (const SaveJob& job : scheduler.saveQueue()) {
    totals.files += job.totals.files;
    totals.bytes += job.totals.bytes;
    totals.failed += job.totals.failed;
    totals.damaged += job.totals.damaged;
    totals.shortened += job.totals.shortened;
    totals.cancelled += job.totals.cancelled;
    totals.guessed += job.totals.guessed;
  }

  int status = totals.failed || totals.damaged || totals.shortened || partial || incomplete ? 1 : 0;
  if (hasReport) {
    DfxmlSource source;
    source.imageFilename = target.disk->devicePath;
    source.partitionOffset = partition.startOffset();
    source.blockSize = partition.clusterBytes();
    source.commandLine = "dudorazu-cli recover";
    std::ofstream out(reportPath, std::ios::binary | std::ios::trunc);
    std::string xml = dfxmlDocument(source, reportFiles);
    out.write(xml.data(), static_cast<std::streamsize>(xml.size()));
    out.close();
    if (!out) {
      printError("recover", "cannot write the report '" + reportPath + "'");
      status = 1;
    }
  }
  std::string summary = format("%s %" PRIu64 " files in %zu folders, %" PRIu64 " bytes, %" PRIu64 " failed, %" PRIu64
                               " damaged",
                               dryRun ? "would save" : "saved", totals.files, folders.size(), totals.bytes,
                               totals.failed, totals.damaged);
  if (totals.shortened) summary += format(", %" PRIu64 " shorter than recorded (no more data clusters)", totals.shortened);
  if (partial) summary += format(", %" PRIu64 " partial", partial);
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
  if (takeFlag(args, "--help") || takeFlag(args, "-h")) {
    std::fputs(kStatsUsage, stdout);
    return 0;
  }
  DiskCatalogue catalogue;
  ExfatTarget target;
  if (int status = openTarget(args, 3, "stats", catalogue, target); status >= 0) return status;
  PartitionRecord& partition = *target.partition;
  ProgressBlock progress;
  if (!runOperation(treeLoadOperation(*target.disk, partition), progress)) {
    printError("stats", "partition '" + args[1] + "' has no readable exFAT boot sector");
    return 1;
  }
  std::string path = args.size() > 2 ? args[2] : "/";
  size_t matches = 0;
  const ExfatFileRecord* record = findByPath(partition, path, matches);
  if (!record) {
    printError("stats", "no record at '" + path + "' (tree lists the paths)");
    return 1;
  }
  std::printf("%s\n", statisticsMessage(tallySubtree(record)).c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace dudorazu::cli
