// dudorazu-cli image: a disk or partition copied sector by sector into an
// image file or onto another disk, listing the sectors that cannot be read.
#include <cstdio>
#include <string>

#include "cli/cli_support.h"
#include "cli/tools_cli.h"
#include "core/common/text.h"
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
      "                          [--start N] [--target-start N] [--mapfile FILE] [--yes]\n\n"
      "Copies a disk or one partition sector by sector in 1 MiB blocks. A block that\n"
      "cannot be read is copied sector by sector; a sector that still fails is listed\n"
      "(\"第N个坏扇区\" and its sector number) and filled with 512 bytes of 0x20. Reads\n"
      "wait at most 2 s per block and 1 s per sector, writes 3 s. Ctrl-C stops the\n"
      "copy and keeps what was written. Exit status 1 when any sector could not be\n"
      "read or the copy did not finish.\n\n"
      "  --to-file FILE      write a raw image file (replaced when it exists)\n"
      "  --to-disk TARGET    write onto a disk, partition or image standing for a disk\n"
      "  --start N           skip the first N sectors of the source\n"
      "  --target-start N    begin N sectors into the target (--to-disk)\n"
      "  --mapfile FILE      also write a GNU ddrescue mapfile (positions on the source\n"
      "                      device); when the copy stops or meets bad sectors, the\n"
      "                      ddrescue command line that goes on from it is printed\n"
      "  --yes               do not ask before overwriting\n");
}

}  // namespace

int cmdImage(Args args) {
  if (takeHelp(args)) {
    printUsage();
    return 0;
  }
  bool yes = takeFlag(args, "--yes");
  bool missing = false;
  std::string toFile, toDisk, start, targetStart, mapfile;
  bool fileMode = takeOption(args, "--to-file", toFile, missing);
  bool diskMode = takeOption(args, "--to-disk", toDisk, missing);
  bool hasStart = takeOption(args, "--start", start, missing);
  bool hasTargetStart = takeOption(args, "--target-start", targetStart, missing);
  takeOption(args, "--mapfile", mapfile, missing);
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

  DiskCatalogue catalogue;
  EndpointArg source, target;
  if (!resolveEndpointArg(catalogue, args[0], source)) return 1;
  if (diskMode && !resolveEndpointArg(catalogue, toDisk, target)) return 1;
  job.source = endpointFor(*source.disk, source.partition);
  job.toDisk = diskMode;
  if (diskMode) job.target = endpointFor(*target.disk, target.partition);
  job.targetFile = toFile;
  job.mapfile = mapfile;
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
  std::optional<Question> question = imagingQuestion(job, sectors, diskMode ? describe(target) : std::string(),
                                                     !diskMode && pathExists(toFile), pathExists(mapfile));
  if (question && !questions.confirm(*question)) return 1;

  std::fprintf(stderr, "image: copying %llu sector(s) of %s\n", static_cast<unsigned long long>(sectors),
               describe(source).c_str());
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
  if (!outcome.badSectors.empty())
    printError(kCommand, std::to_string(outcome.badSectors.size()) +
                             " sector(s) could not be read; the copy holds 0x20 bytes in their place");
  return outcome.status == ImagingStatus::Completed && outcome.badSectors.empty() && !mapfileLost && !cutShort ? 0 : 1;
}

}  // namespace dudorazu::cli
