// dudorazu-cli image: a disk or partition copied sector by sector into an
// image file or onto another disk, listing the sectors that cannot be read.
#include <cstdio>
#include <string>

#include "cli/cli_support.h"
#include "cli/tools_cli.h"
#include "core/common/text.h"
#include "core/tools/rescue_passes.h"
#include "core/tools/disk_imaging.h"
#include "core/tools/long_operations.h"
#include "core/tools/tool_messages.h"
#include "core/tools/write_questions.h"

namespace dudorazu::cli {
namespace {

const char* const kCommand = "image";

struct EndpointArg {
  DiskRecord* disk = nullptr;
  PartitionRecord* partition = nullptr;
};

// "DISK" or "DISK,PARTITION", split where a disk is really named.
bool resolveEndpointArg(DiskCatalogue& catalogue, const std::string& text, EndpointArg& out) {
  EndpointText split = splitEndpointText(
      text, [&](const std::string& disk) { return findDisk(catalogue, disk) != nullptr || pathExists(disk); });
  out.disk = resolveSource(catalogue, split.disk, kCommand);
  if (!out.disk) return false;
  if (split.hasPartition && !(out.partition = resolvePartition(*out.disk, split.partition, kCommand))) return false;
  return true;
}

std::string describe(const EndpointArg& e) {
  std::string text = displayName(*e.disk) + " (" + e.disk->devicePath + ")";
  if (e.partition) text = "partition " + partitionText(*e.partition) + " of " + text;
  return printableText(text);
}

void printUsage() {
  std::printf(
      "usage: dudorazu-cli image SOURCE[,PARTITION] (--to-file FILE | --to-disk TARGET[,PARTITION])\n"
      "                          [--start N] [--target-start N] [--mapfile FILE | --resume FILE]\n"
      "                          [--retries N] [--reverse] [--no-scrape] [--yes]\n\n"
      "Copies a disk or one partition, getting the good data of a failing disk first.\n"
      "The copy runs in passes: 1 MiB blocks, skipping ahead past a block that fails\n"
      "or reads slowly (the skip grows while errors go on), then back over what was\n"
      "skipped; then the edges of each failed block are trimmed sector by sector and\n"
      "the rest scraped sector by sector, then bad sectors are retried. A sector that\n"
      "stays unreadable is listed (\"第N个坏扇区\" and its sector number) and holds\n"
      "512 bytes of 0x20 in the copy. Reads wait at most 2 s per block and 1 s per\n"
      "sector, writes 3 s. The state is kept in a GNU ddrescue mapfile, saved every\n"
      "few seconds: Ctrl-C, a crash or a power cut loses at most the last seconds,\n"
      "and running the same command again goes on where it stopped. Exit status 1\n"
      "while any byte is not copied.\n\n"
      "  --to-file FILE      write a raw image file (replaced unless its map exists)\n"
      "  --to-disk TARGET    write onto a disk, partition or image standing for a disk\n"
      "  --start N           skip the first N sectors of the source\n"
      "  --target-start N    begin N sectors into the target (--to-disk)\n"
      "  --mapfile FILE      the mapfile (positions on the source device); FILE.map\n"
      "                      beside an image file when not given. When it exists with\n"
      "                      its target, the copy goes on from it\n"
      "  --resume FILE       go on from this mapfile (ours or GNU ddrescue's); it and\n"
      "                      the target must exist\n"
      "  --retries N         retry bad sectors N more passes, each the other way (0)\n"
      "  --reverse           run every pass the other way round\n"
      "  --no-scrape         leave the inside of failed areas unread\n"
      "  --yes               do not ask before overwriting\n");
}

// Sizes as ddrescue shows them, in binary units.
std::string size(uint64_t bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 6) value /= 1024, ++unit;
  return unit == 0 ? format("%llu B", static_cast<unsigned long long>(bytes)) : format("%.1f %s", value, units[unit]);
}

// The state of the run, as ddrescue prints it between passes.
void printStatus(const RescueSnapshot& s) {
  const RescueCounts& c = s.counts;
  const uint64_t all = s.domain.length();
  std::fprintf(stderr, "image: %s\n", rescuePhaseText(s).c_str());
  std::fprintf(stderr, "image:   rescued: %s (%.2f%%), non-tried: %s, non-trimmed: %s, non-scraped: %s\n",
               size(c.rescued).c_str(), all ? 100.0 * static_cast<double>(c.rescued) / static_cast<double>(all) : 100.0,
               size(c.nonTried).c_str(), size(c.nonTrimmed).c_str(), size(c.nonScraped).c_str());
  std::fprintf(stderr,
               "image:   bad-sector: %s, bad areas: %llu, read errors: %llu, slow reads: %llu, average rate: %s/s, "
               "time since last successful read: %llds\n",
               size(c.bad).c_str(), static_cast<unsigned long long>(c.badAreas),
               static_cast<unsigned long long>(s.readErrors), static_cast<unsigned long long>(s.slowReads),
               size(s.averageRate).c_str(), static_cast<long long>(s.sinceLastGoodRead.count() / 1000));
}

}  // namespace

int cmdImage(Args args) {
  if (takeHelp(args)) {
    printUsage();
    return 0;
  }
  bool yes = takeFlag(args, "--yes");
  const bool reverse = takeFlag(args, "--reverse"), noScrape = takeFlag(args, "--no-scrape");
  bool missing = false;
  std::string toFile, toDisk, start, targetStart, mapfile, resumeMap, retries;
  bool fileMode = takeOption(args, "--to-file", toFile, missing);
  bool diskMode = takeOption(args, "--to-disk", toDisk, missing);
  bool hasStart = takeOption(args, "--start", start, missing);
  bool hasTargetStart = takeOption(args, "--target-start", targetStart, missing);
  const bool hasMapfile = takeOption(args, "--mapfile", mapfile, missing);
  const bool resume = takeOption(args, "--resume", resumeMap, missing);
  const bool hasRetries = takeOption(args, "--retries", retries, missing);
  if (missing) {
    printError(kCommand, "an option is missing its value (see --help)");
    return 2;
  }
  if (rejectUnknownOptions(args, kCommand)) return 2;
  if (args.size() != 1 || fileMode == diskMode) {
    printError(kCommand, "needs SOURCE and one of --to-file or --to-disk (see --help)");
    return 2;
  }
  ImagingJob job;
  if ((hasStart && !parseDecimal(start, job.sourceStartSector)) ||
      (hasTargetStart && !parseDecimal(targetStart, job.targetStartSector))) {
    printError(kCommand, "--start and --target-start need a sector number");
    return 2;
  }
  if (hasTargetStart && !diskMode) {
    printError(kCommand, "--target-start goes with --to-disk");
    return 2;
  }
  uint64_t retryPasses = 0;
  if (hasRetries && !parseDecimal(retries, retryPasses, 1000)) {
    printError(kCommand, "--retries needs a number of passes (0 to 1000)");
    return 2;
  }
  if (resume && hasMapfile) {
    printError(kCommand, "--resume names the mapfile; --mapfile goes without it");
    return 2;
  }
  if (resume) mapfile = resumeMap;
  else if (!hasMapfile && fileMode) mapfile = toFile + ".map";
  if ((resume || hasMapfile) && mapfile.empty()) {
    printError(kCommand, "the mapfile's name is empty");
    return 2;
  }

  DiskCatalogue catalogue;
  EndpointArg source, target;
  if (!resolveEndpointArg(catalogue, args[0], source)) return 1;
  if (diskMode && !resolveEndpointArg(catalogue, toDisk, target)) return 1;
  job.source = endpointFor(*source.disk, source.partition);
  job.toDisk = diskMode;
  if (diskMode) job.target = endpointFor(*target.disk, target.partition);
  job.targetFile = toFile;
  job.mapfile = mapfile;
  job.retryPasses = static_cast<int>(retryPasses);
  job.reverse = reverse;
  job.scrape = !noScrape;
  // A map beside its target means an earlier run of this copy: go on.
  const bool targetThere = diskMode || pathExists(toFile);
  job.resume = resume || (pathExists(mapfile) && targetThere);
  if (resume && !pathExists(mapfile)) {
    printError(kCommand, "cannot open the mapfile " + printableText(mapfile));
    return 1;
  }
  const uint64_t sectors = imagingSectors(job);
  if (std::string problem = imagingJobProblem(job); !problem.empty()) {
    printError(kCommand, describe(source) + ": " + problem);
    return 1;
  }
  const bool cutShort = job.source.claimedLength != 0;
  if (cutShort) printError(kCommand, describe(source) + ": " + imagingCutShortText(job) + kMsgImageIncomplete);

  if (imagingTargetInUse(job)) {
    printError(kCommand, describe(target) + ": " + kMsgTargetInUse);
    return 1;
  }
  CliQuestions questions(kCommand, yes);
  std::optional<Question> question =
      imagingQuestion(job, sectors, diskMode ? describe(target) : std::string(),
                      !job.resume && !diskMode && pathExists(toFile), !job.resume && pathExists(mapfile));
  if (question && !questions.confirm(*question)) return 1;

  if (job.resume) std::fprintf(stderr, "image: going on from the mapfile %s\n", printableText(mapfile).c_str());
  std::fprintf(stderr, "image: copying %llu sector(s) of %s\n", static_cast<unsigned long long>(sectors),
               describe(source).c_str());
  job.onPass = printStatus;
  CliMessages messages(kCommand);
  ProgressBlock progress;
  ImagingOutcome outcome;
  runOperation(imagingOperation(job, outcome,
                                [](uint64_t ordinal, uint64_t sector) {
                                  std::printf("%s\t%llu\n", badSectorRowText(ordinal).c_str(),
                                              static_cast<unsigned long long>(sector));
                                  std::fflush(stdout);
                                }),
               progress, messages, questions);
  bool copyRan = outcome.status == ImagingStatus::Completed || outcome.status == ImagingStatus::Stopped ||
                 outcome.status == ImagingStatus::WriteFailed;
  const bool mapfileLost = !mapfile.empty() && copyRan && !outcome.mapfileSaved;
  if (mapfileLost) printError(kCommand, "could not write the mapfile " + mapfile);
  if (std::string line = ddrescueContinuation(job, outcome); !line.empty())
    std::fprintf(stderr, "image: to go on with GNU ddrescue: %s\n", line.c_str());
  if (outcome.status == ImagingStatus::Stopped)
    printError(kCommand, "stopped after " + std::to_string(outcome.bytesDone / kSectorSize) + " sector(s); what was written stays");
  // Sectors filled in place of unreadable ones make the copy incomplete.
  if (outcome.unreadableSectors != 0)
    printError(kCommand, std::to_string(outcome.unreadableSectors) +
                             " sector(s) could not be read; the copy holds 0x20 bytes in their place");
  if (outcome.status == ImagingStatus::Completed && !outcome.whole())
    printError(kCommand, "not every byte could be read; the mapfile says which (run again with --retries N to try "
                         "the bad sectors again)");
  return outcome.whole() && !mapfileLost && !cutShort ? 0 : 1;
}

}  // namespace dudorazu::cli
