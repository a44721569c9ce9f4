#include "core/tools/disk_imaging.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/common/text.h"
#include "core/device/command_output.h"
#include "core/device/open_device.h"
#include "core/tools/bounded_io.h"
#include "core/tools/rescue_map.h"
#include "core/tools/straight_copy.h"
#include "platform/devices.h"
#include "platform/files.h"
#include "core/tools/tool_messages.h"

namespace dudorazu {
namespace {

std::vector<CommandPath> imagingInputs(const ImagingJob& job, uint64_t sourceStart, uint64_t length) {
  return {{job.source.devicePath, "the source", sourceStart, length}};
}

CommandPath imageFileOutput(const ImagingJob& job) { return {job.targetFile, "the image file", 0, UINT64_MAX, false}; }

// Nothing the copy writes (the target's window, the image file, the map)
// may share bytes with the source's window or with each other.
std::string overlapProblem(const ImagingJob& job, uint64_t sourceStart, uint64_t targetStart, uint64_t length) {
  std::vector<CommandPath> outputs;
  if (job.toDisk) outputs.push_back({job.target.devicePath, "the target", targetStart, length});
  else outputs.push_back(imageFileOutput(job));
  if (!job.mapfile.empty()) {
    outputs.push_back({job.mapfile, "the mapfile", 0, UINT64_MAX, false});
    outputs.push_back({job.mapfile + ".part", "the mapfile's temporary file", 0, UINT64_MAX, false});
  }
  return outputProblem(imagingInputs(job, sourceStart, length), outputs);
}

// Healthy stretches go straight through (see StraightCopy); a block whose
// read fails or hangs is retried sector by sector here, each read and the
// block's write bounded on their own.
class Copier {
 public:
  Copier(const ImagingJob& job, ProgressBlock& progress, MessageSink& messages,
         const std::function<void(uint64_t, uint64_t)>& onBadSector, std::shared_ptr<SectorDevice> source,
         std::shared_ptr<SectorDevice> target, uint64_t sourceStart, uint64_t targetStart, uint64_t length,
         ImagingOutcome& outcome)
      : job_(job), progress_(progress), messages_(messages), onBadSector_(onBadSector),
        straight_(source, target, sourceStart, targetStart, length, kImagingBlock), reader_(source), writer_(target),
        sourceStart_(sourceStart), targetStart_(targetStart), length_(length), outcome_(outcome),
        map_(sourceStart, length) {}

  ImagingStatus run();
  const RescueMap& map() const { return map_; }

 private:
  // Outcome of one block copied sector by sector.
  enum class AreaEnd { Done, Stopped, WriteFailed };
  AreaEnd copySectorBySector(uint64_t area);
  ImagingStatus fail() {
    messages_.show(kMsgBadTarget, kCaptionError);
    return ImagingStatus::WriteFailed;
  }

  const ImagingJob& job_;
  ProgressBlock& progress_;
  MessageSink& messages_;
  const std::function<void(uint64_t, uint64_t)>& onBadSector_;
  StraightCopy straight_;
  IoLane reader_;
  IoLane writer_;
  uint64_t sourceStart_, targetStart_, length_;
  ImagingOutcome& outcome_;
  RescueMap map_;
};

ImagingStatus Copier::run() {
  const uint64_t blocks = length_ / kImagingBlock;
  const uint64_t areas = (length_ + kImagingBlock - 1) / kImagingBlock;
  progress_.setRange(blocks, 1);
  for (uint64_t area = 0; area < areas;) {
    StraightRun r = straight_.run(area, progress_, job_.waits.blockRead, job_.waits.write);
    uint64_t copied = std::min(length_, (area + r.areasDone) * kImagingBlock) - area * kImagingBlock;
    map_.mark(copied, true);
    outcome_.bytesDone += copied;
    switch (r.end) {
      case StraightRun::End::Finished: return ImagingStatus::Completed;
      case StraightRun::End::Stopped: return ImagingStatus::Stopped;
      case StraightRun::End::WriteFailed:
      case StraightRun::End::WriteHung: return fail();
      case StraightRun::End::ShortRead:
      case StraightRun::End::ReadHung: break;
    }
    AreaEnd end = copySectorBySector(r.stoppedAt);
    if (end == AreaEnd::WriteFailed) return fail();
    if (end == AreaEnd::Stopped) return ImagingStatus::Stopped;
    area = r.stoppedAt + 1;
    if (area <= blocks) progress_.stepIt();
    progress_.setText(format("%llu", static_cast<unsigned long long>(outcome_.bytesDone / kSectorSize)));
    if (progress_.cancelled() && area < areas) return ImagingStatus::Stopped;
  }
  return ImagingStatus::Completed;
}

// Every sector of a block that failed as a whole is tried on its own; the
// ones that still fail are listed and filled with the marker pattern. A
// last piece shorter than a sector is handled like a sector. A stop ends the
// block early; what was read of it is still written.
Copier::AreaEnd Copier::copySectorBySector(uint64_t area) {
  const uint64_t offset = area * kImagingBlock;
  const size_t length = static_cast<size_t>(std::min<uint64_t>(kImagingBlock, length_ - offset));
  auto block = std::make_shared<IoBuffer>(length);
  auto sector = std::make_shared<IoBuffer>(kSectorSize);
  std::vector<bool> good;
  size_t done = 0;
  bool stopped = false;
  while (done < length && !stopped) {
    size_t n = std::min<size_t>(kSectorSize, length - done);
    uint64_t at = sourceStart_ + offset + done;
    reader_.startRead(at, sector, n);
    std::optional<size_t> got = reader_.finish(job_.waits.sectorRead);
    if (got && *got == n) {
      std::memcpy(block->data() + done, sector->data(), n);
      good.push_back(true);
    } else {
      if (!got) sector = std::make_shared<IoBuffer>(kSectorSize);  // the late read keeps the old one
      std::memset(block->data() + done, kUnreadableFill, n);
      good.push_back(false);
      outcome_.badSectors.push_back(at / kSectorSize);
      if (onBadSector_) onBadSector_(outcome_.badSectors.size(), at / kSectorSize);
    }
    done += n;
    stopped = progress_.cancelled();
  }
  writer_.startWrite(targetStart_ + offset, block, done);
  std::optional<size_t> written = writer_.finish(job_.waits.write);
  if (!written || *written != done) return AreaEnd::WriteFailed;
  size_t pos = 0;
  for (bool ok : good) {
    size_t n = std::min<size_t>(kSectorSize, done - pos);
    map_.mark(n, ok);
    pos += n;
  }
  outcome_.bytesDone += done;
  return stopped && done < length ? AreaEnd::Stopped : AreaEnd::Done;
}

}  // namespace

std::string badSectorRowText(uint64_t ordinal) {
  return format("第%llu个坏扇区", static_cast<unsigned long long>(ordinal));
}

uint64_t imagingLength(const ImagingJob& job) {
  uint64_t whole = endpointBytes(job.source);
  uint64_t skipped = job.sourceStartSector > whole / kSectorSize ? whole : job.sourceStartSector * kSectorSize;
  return whole - skipped;
}

uint64_t sourceStartOffset(const ImagingJob& job) {
  return job.source.startOffset + job.sourceStartSector * kSectorSize;
}

uint64_t targetStartOffset(const ImagingJob& job) {
  return job.toDisk ? job.target.startOffset + job.targetStartSector * kSectorSize : 0;
}

uint64_t imagingSectors(const ImagingJob& job) {
  const uint64_t length = imagingLength(job);
  return length / kSectorSize + (length % kSectorSize != 0);
}

bool imagingTargetInUse(const ImagingJob& job) {
  return job.toDisk && !job.target.devicePath.empty() && platform::diskInUse(job.target.devicePath);
}

std::string imagingJobProblem(const ImagingJob& job) {
  if (!job.toDisk && platform::pathKind(job.targetFile) == platform::PathKind::BlockDevice)
    return format(kMsgFileTargetIsDevice, job.targetFile.c_str());
  if (job.source.claimedLength != 0 && job.source.length == 0)
    return std::string(imagingCutShortText(job)) + kMsgNothingToCopy;
  // A disk whose size is not known yet is measured when opened.
  const uint64_t sourceBytes = endpointBytes(job.source);
  if (job.sourceStartSector != 0 && sourceBytes != 0 && imagingLength(job) == 0)
    return format(kMsgStartPastSourceEnd, static_cast<unsigned long long>(job.sourceStartSector),
                  static_cast<unsigned long long>(sourceBytes / kSectorSize));
  return {};
}

std::string imagingCutShortText(const ImagingJob& job) {
  if (job.source.claimedLength == 0) return {};
  return format(kMsgSourceCutShort, static_cast<unsigned long long>(job.source.claimedLength / kSectorSize),
                static_cast<unsigned long long>(job.source.length / kSectorSize));
}

std::string imagingShortfallText(const ImagingJob& job, const ImagingOutcome& outcome) {
  std::string text = imagingCutShortText(job);
  if (!text.empty()) text += kMsgImageIncomplete;
  if (!outcome.badSectors.empty())
    text += std::string(text.empty() ? "" : "\n") +
            format("有%llu个扇区无法读取，已用0x20填充（见坏扇区列表）",
                   static_cast<unsigned long long>(outcome.badSectors.size()));
  if (outcome.status == ImagingStatus::Stopped) {
    if (!text.empty()) text += "\n";
    text += format("镜像已停止：已写入%llu个扇区，其余未复制",
                   static_cast<unsigned long long>(outcome.bytesDone / kSectorSize));
    if (outcome.mapfileSaved) text += "，映射文件 " + job.mapfile + " 记录了未复制的部分";
  }
  return text;
}

std::string ddrescueContinuation(const ImagingJob& job, const ImagingOutcome& outcome) {
  if (!outcome.mapfileSaved || (outcome.status == ImagingStatus::Completed && outcome.badSectors.empty())) return {};
  return format("ddrescue%s -i %llu -s %llu -o %llu '%s' '%s' '%s'", job.toDisk ? " -f" : "",
                static_cast<unsigned long long>(sourceStartOffset(job)), static_cast<unsigned long long>(imagingLength(job)),
                static_cast<unsigned long long>(targetStartOffset(job)), job.source.devicePath.c_str(),
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
  ImagingJob sized = job;
  if (!sized.source.isPartition && sized.source.diskSize == 0) sized.source.diskSize = source->size();
  const uint64_t sourceStart = sourceStartOffset(job);
  // Nothing past the device's end is asked for, whatever a table claims.
  uint64_t length = imagingLength(sized);
  if (const uint64_t deviceSize = source->size(); deviceSize != 0)
    length = std::min(length, deviceSize - std::min(sourceStart, deviceSize));

  std::shared_ptr<SectorDevice> target;
  uint64_t targetStart = targetStartOffset(job);
  if (std::string problem = overlapProblem(job, sourceStart, targetStart, length); !problem.empty()) {
    messages.show(std::string(kMsgSourceIsTarget) + ": " + problem, kCaptionError);
    return outcome;
  }
  if (imagingTargetInUse(job)) {
    messages.show(kMsgTargetInUse, kCaptionError);
    return outcome;
  }
  if (!job.toDisk) {
    CommandOutput file = createCommandOutput(imageFileOutput(job), imagingInputs(job, sourceStart, length));
    if (!file.problem.empty()) {
      messages.show(std::string(kMsgSourceIsTarget) + ": " + file.problem, kCaptionError);
      return outcome;
    }
    target = std::move(file.file);
  } else if (job.target.diskFound && (!job.target.isPartition || job.target.partitionFound))
    target = openDevice(job.target.devicePath, OpenMode::ReadWrite);
  if (!target) {
    messages.show(kMsgOpenFailed, kApplicationTitle);
    outcome.status = ImagingStatus::TargetNotOpened;
    return outcome;
  }
  if (job.toDisk) {
    // Writing past the chosen target would overwrite whatever follows it.
    uint64_t capacity = job.target.isPartition ? job.target.length
                                               : (job.target.diskSize ? job.target.diskSize : target->size());
    uint64_t skip = job.targetStartSector * kSectorSize;
    if (job.targetStartSector > capacity / kSectorSize || length > capacity - skip) {
      messages.show(kMsgTargetTooSmall, kCaptionError);
      return outcome;
    }
  }

  Copier copier(job, progress, messages, onBadSector, source, target, sourceStart, targetStart, length, outcome);
  outcome.status = copier.run();
  // A disk reports write errors that were deferred only when flushed; an
  // image file is left to the page cache, as other imaging tools leave it.
  if (outcome.status == ImagingStatus::Completed && job.toDisk && !target->flush()) {
    messages.show(kMsgBadTarget, kCaptionError);
    outcome.status = ImagingStatus::WriteFailed;
  }
  const RescueMap& map = copier.map();
  if (!job.mapfile.empty()) outcome.mapfileSaved = map.save(job.mapfile, outcome.status == ImagingStatus::Completed,
                                                         imagingInputs(job, sourceStart, length));
  if (outcome.status == ImagingStatus::Stopped) progress.setPosition(0);
  if (outcome.status == ImagingStatus::Completed) messages.show(kMsgImagingDone, kApplicationTitle);
  return outcome;
}

}  // namespace dudorazu
