#include "core/tools/disk_imaging.h"

#include <algorithm>
#include <memory>

#include "core/common/text.h"
#include "core/device/command_output.h"
#include "core/device/open_device.h"
#include "core/device/rescue_map.h"
#include "platform/devices.h"
#include "platform/files.h"
#include "core/tools/tool_messages.h"

namespace dudorazu {
namespace {

std::vector<CommandPath> imagingInputs(const ImagingJob& job, const ByteRange& window) {
  return {{job.source.devicePath, "the source", window}};
}

CommandPath imageFileOutput(const ImagingJob& job) { return {job.targetFile, "the image file", ByteRange::from(0), false}; }

// Nothing the copy writes (the target's window, the image file, the map)
// may share bytes with the source's window or with each other.
std::string overlapProblem(const ImagingJob& job, const ByteRange& window, const ByteRange& written) {
  std::vector<CommandPath> outputs;
  if (job.toDisk) outputs.push_back({job.target.devicePath, "the target", written});
  else outputs.push_back(imageFileOutput(job));
  if (!job.mapfile.empty()) {
    outputs.push_back({job.mapfile, "the mapfile", ByteRange::from(0), false});
    outputs.push_back({job.mapfile + ".part", "the mapfile's temporary file", ByteRange::from(0), false});
  }
  return outputProblem(imagingInputs(job, window), outputs);
}

// The sectors left bad in the window, ascending, as many as the list holds.
void listBadSectors(const RescueMap& map, const ByteRange& window, ImagingOutcome& outcome) {
  for (const RescueArea& a : map.areasWithin(window)) {
    if (a.state != RescueState::Bad) continue;
    const SectorRange sectors = sectorsHolding(a.bytes, kSectorSize);
    outcome.unreadableSectors += sectors.length();
    for (uint64_t s = sectors.start(); s < sectors.end() && outcome.badSectors.size() < kMaxListedBadSectors; ++s)
      outcome.badSectors.push_back(s);
  }
}

}  // namespace

std::string badSectorRowText(uint64_t ordinal) {
  return format("第%llu个坏扇区", static_cast<unsigned long long>(ordinal));
}

std::optional<ByteRange> sourceWindow(const ImagingJob& job) {
  std::optional<uint64_t> skip = checkedProduct(job.sourceStartSector, kSectorSize);
  if (!skip) return std::nullopt;
  return endpointRange(job.source).after(*skip);
}

uint64_t imagingLength(const ImagingJob& job) {
  std::optional<ByteRange> window = sourceWindow(job);
  return window ? window->length() : 0;
}

std::optional<uint64_t> targetStartOffset(const ImagingJob& job) {
  if (!job.toDisk) return 0;
  std::optional<uint64_t> skip = checkedProduct(job.targetStartSector, kSectorSize);
  return skip ? checkedSum(endpointRange(job.target).start(), *skip) : std::nullopt;
}

uint64_t imagingSectors(const ImagingJob& job) {
  std::optional<ByteRange> window = sourceWindow(job);
  return window ? sectorsHolding(*window, kSectorSize).length() : 0;
}

bool imagingTargetInUse(const ImagingJob& job) {
  return job.toDisk && !job.target.devicePath.empty() && platform::diskInUse(job.target.devicePath);
}

std::string imagingJobProblem(const ImagingJob& job) {
  if (!job.toDisk && platform::pathKind(job.targetFile) == platform::PathKind::BlockDevice)
    return format(kMsgFileTargetIsDevice, job.targetFile.c_str());
  if (job.source.claimedLength != 0 && job.source.bytes.empty())
    return std::string(imagingCutShortText(job)) + kMsgNothingToCopy;
  // A disk whose size is not known yet is measured when opened.
  const uint64_t sourceBytes = endpointBytes(job.source);
  if (!sourceWindow(job) || (job.sourceStartSector != 0 && sourceBytes != 0 && imagingLength(job) == 0))
    return format(kMsgStartPastSourceEnd, static_cast<unsigned long long>(job.sourceStartSector),
                  static_cast<unsigned long long>(sourceBytes / kSectorSize));
  if (!targetStartOffset(job)) return kMsgTargetTooSmall;
  return {};
}

std::string imagingCutShortText(const ImagingJob& job) {
  if (job.source.claimedLength == 0) return {};
  return format(kMsgSourceCutShort, static_cast<unsigned long long>(job.source.claimedLength / kSectorSize),
                static_cast<unsigned long long>(job.source.bytes.length() / kSectorSize));
}

std::string imagingShortfallText(const ImagingJob& job, const ImagingOutcome& outcome) {
  std::string text = imagingCutShortText(job);
  if (!text.empty()) text += kMsgImageIncomplete;
  auto line = [&](const std::string& more) { text += (text.empty() ? "" : "\n") + more; };
  if (outcome.unreadableSectors != 0)
    line(format("有%llu个扇区无法读取，已用0x20填充（见坏扇区列表）",
                static_cast<unsigned long long>(outcome.unreadableSectors)));
  const RescueCounts& c = outcome.summary.counts;
  if (outcome.status == ImagingStatus::Completed && c.nonTried + c.nonTrimmed + c.nonScraped != 0)
    line(format("有%llu个扇区未逐个读取，已用0x20填充",
                static_cast<unsigned long long>((c.nonTried + c.nonTrimmed + c.nonScraped + kSectorSize - 1) /
                                                kSectorSize)));
  if (outcome.status == ImagingStatus::Stopped) {
    line(format("镜像已停止：已写入%llu个扇区，其余未复制",
                static_cast<unsigned long long>(outcome.bytesDone / kSectorSize)));
    if (outcome.mapfileSaved) text += "，映射文件 " + job.mapfile + " 记录了未复制的部分";
  }
  return text;
}

std::string ddrescueContinuation(const ImagingJob& job, const ImagingOutcome& outcome) {
  if (!outcome.mapfileSaved || outcome.whole()) return {};
  return format("ddrescue%s -i %llu -s %llu -o %llu '%s' '%s' '%s'", job.toDisk ? " -f" : "",
                static_cast<unsigned long long>(sourceWindow(job).value_or(ByteRange{}).start()),
                static_cast<unsigned long long>(imagingLength(job)),
                static_cast<unsigned long long>(targetStartOffset(job).value_or(0)), job.source.devicePath.c_str(),
                job.toDisk ? job.target.devicePath.c_str() : job.targetFile.c_str(), job.mapfile.c_str());
}

ImagingOutcome imageDisk(const ImagingJob& job, ProgressBlock& progress, MessageSink& messages,
                         const std::function<void(uint64_t ordinal, uint64_t sector)>& onBadSector) {
  ImagingOutcome outcome;
  if (std::string problem = imagingJobProblem(job); !problem.empty()) {
    messages.show(problem, kCaptionError);
    return outcome;
  }
  std::shared_ptr<SectorDevice> source;
  if (job.source.diskFound && (!job.source.isPartition || job.source.partitionFound))
    source = openDevice(job.source.devicePath, OpenMode::Read);
  if (!source) {
    messages.show(kMsgOpenFailed, kApplicationTitle);
    outcome.status = ImagingStatus::SourceNotOpened;
    return outcome;
  }
  // A disk whose size was not known is measured now, and its start sector
  // checked against it like any other.
  ImagingJob sized = job;
  if (!sized.source.isPartition && sized.source.diskSize == 0) {
    sized.source.diskSize = source->size();
    if (std::string problem = imagingJobProblem(sized); !problem.empty()) {
      messages.show(problem, kCaptionError);
      return outcome;
    }
  }
  // Both are sure once imagingJobProblem found nothing.
  ByteRange window = *sourceWindow(sized);
  const uint64_t targetStart = *targetStartOffset(job);
  // Nothing past the device's end is asked for, whatever a table claims.
  if (const uint64_t deviceSize = source->size(); deviceSize != 0) window = window.before(deviceSize);
  const uint64_t length = window.length();
  // Where the copy lands; one that would pass 64 bits never fits a target.
  const std::optional<ByteRange> written = ByteRange::of(targetStart, length);

  std::shared_ptr<SectorDevice> target;
  if (std::string problem = overlapProblem(job, window, written.value_or(ByteRange::from(targetStart)));
      !problem.empty()) {
    messages.show(std::string(kMsgSourceIsTarget) + ": " + problem, kCaptionError);
    return outcome;
  }
  if (imagingTargetInUse(job)) {
    messages.show(kMsgTargetInUse, kCaptionError);
    return outcome;
  }
  RescueMap map(window);
  if (job.resume) {
    std::string error;
    std::optional<RescueMap> loaded = job.mapfile.empty() ? std::nullopt : RescueMap::load(job.mapfile, error);
    if (!loaded) {
      messages.show(job.mapfile.empty() ? kMsgResumeNeedsMapfile : format(kMsgMapfileUnusable, error.c_str()),
                    kCaptionError);
      return outcome;
    }
    map = std::move(*loaded);
  }
  if (!job.toDisk) {
    if (job.resume && platform::pathKind(job.targetFile) != platform::PathKind::RegularFile) {
      messages.show(format(kMsgResumeTargetMissing, job.targetFile.c_str()), kCaptionError);
      return outcome;
    }
    CommandOutput file = job.resume ? openCommandOutput(imageFileOutput(job), imagingInputs(job, window))
                                    : createCommandOutput(imageFileOutput(job), imagingInputs(job, window));
    if (!file.problem.empty()) {
      messages.show(std::string(kMsgSourceIsTarget) + ": " + file.problem, kCaptionError);
      return outcome;
    }
    target = std::move(file.file);
    // An image shorter than the bytes its map calls copied belongs to
    // another run: going on would leave holes called finished.
    if (target && job.resume) {
      uint64_t copiedEnd = 0;
      for (const RescueArea& a : map.areasWithin(window))
        if (a.state == RescueState::Finished) copiedEnd = a.bytes.end() - window.start();
      if (target->size() < copiedEnd) {
        messages.show(kMsgImageShorterThanMap, kCaptionError);
        return outcome;
      }
    }
  } else if (job.target.diskFound && (!job.target.isPartition || job.target.partitionFound)) {
    target = openDevice(job.target.devicePath, OpenMode::ReadWrite);
  }
  if (!target) {
    messages.show(kMsgOpenFailed, kApplicationTitle);
    outcome.status = ImagingStatus::TargetNotOpened;
    return outcome;
  }
  if (job.toDisk) {
    // Writing past the chosen target would overwrite whatever follows it.
    uint64_t capacity = job.target.isPartition ? job.target.bytes.length()
                                               : (job.target.diskSize ? job.target.diskSize : target->size());
    const std::optional<ByteRange> room = ByteRange::of(job.targetStartSector * kSectorSize, length);
    if (!room || !ByteRange::first(capacity).contains(*room)) {
      messages.show(kMsgTargetTooSmall, kCaptionError);
      return outcome;
    }
  }

  RescueSettings settings;
  settings.domain = window;
  settings.targetStart = targetStart;
  settings.blockSize = job.blockSize ? job.blockSize : kImagingBlock;
  settings.retryPasses = job.retryPasses;
  settings.reverse = job.reverse;
  settings.scrape = job.scrape;
  settings.waits = job.waits;
  RescueHooks hooks;
  uint64_t ordinal = 0;
  hooks.onBadSector = [&](uint64_t sector) {
    if (onBadSector) onBadSector(++ordinal, sector);
  };
  const std::vector<CommandPath> inputs = imagingInputs(job, window);
  if (!job.mapfile.empty()) hooks.saveMap = [&] { return outcome.mapfileSaved = map.save(job.mapfile, inputs); };
  hooks.onPass = job.onPass;
  hooks.monitor = job.monitor.get();
  switch (runRescue(settings, source, target, map, progress, hooks, &outcome.summary)) {
    case RescueEnd::Finished: outcome.status = ImagingStatus::Completed; break;
    case RescueEnd::Stopped: outcome.status = ImagingStatus::Stopped; break;
    case RescueEnd::WriteFailed:
      messages.show(kMsgBadTarget, kCaptionError);
      outcome.status = ImagingStatus::WriteFailed;
      break;
  }
  outcome.bytesDone = length - outcome.summary.counts.nonTried;
  listBadSectors(map, window, outcome);
  // A disk reports write errors that were deferred only when flushed.
  if (outcome.status == ImagingStatus::Completed && job.toDisk && !target->flush()) {
    messages.show(kMsgBadTarget, kCaptionError);
    outcome.status = ImagingStatus::WriteFailed;
  }
  if (outcome.status == ImagingStatus::Stopped) progress.setPosition(0);
  if (outcome.status == ImagingStatus::Completed) messages.show(kMsgImagingDone, kApplicationTitle);
  return outcome;
}

}  // namespace dudorazu
