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

// Healthy stretches go straight through (see StraightCopy); a block whose
// read fails or hangs is retried sector by sector here, each read and the
// block's write bounded on their own.
class Copier {
 public:
  Copier(const ImagingJob& job, ProgressBlock& progress, MessageSink& messages,
         const std::function<void(uint64_t, uint64_t)>& onBadSector, std::shared_ptr<SectorDevice> source,
         std::shared_ptr<SectorDevice> target, const ByteRange& window, uint64_t targetStart, ImagingOutcome& outcome)
      : job_(job), progress_(progress), messages_(messages), onBadSector_(onBadSector),
        straight_(source, target, window.start(), targetStart, window.length(), kImagingBlock), reader_(source),
        writer_(target), sourceStart_(window.start()), targetStart_(targetStart), length_(window.length()),
        outcome_(outcome), map_(window), next_(window.start()) {}

  ImagingStatus run();
  RescueMap& map() { return map_; }

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
  uint64_t next_;
  void mark(uint64_t size, bool good) {
    map_.set(*ByteRange::of(next_, size), good ? RescueState::Finished : RescueState::Bad);
    next_ += size;
    map_.currentPosition = std::min(next_, map_.extent().end() - 1);
  }
};

ImagingStatus Copier::run() {
  // The bar counts every block, a last short one too, so that it reads 100%
  // whenever the sector counter says everything was copied.
  const uint64_t areas = (length_ + kImagingBlock - 1) / kImagingBlock;
  progress_.setRange(areas, 1);
  for (uint64_t area = 0; area < areas;) {
    StraightRun r = straight_.run(area, progress_, job_.waits.blockRead, job_.waits.write);
    uint64_t copied = std::min(length_, (area + r.areasDone) * kImagingBlock) - area * kImagingBlock;
    mark(copied, true);
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
    progress_.stepIt();
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
    mark(n, ok);
    pos += n;
  }
  outcome_.bytesDone += done;
  return stopped && done < length ? AreaEnd::Stopped : AreaEnd::Done;
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
  if (!job.toDisk) {
    CommandOutput file = createCommandOutput(imageFileOutput(job), imagingInputs(job, window));
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
    uint64_t capacity = job.target.isPartition ? job.target.bytes.length()
                                               : (job.target.diskSize ? job.target.diskSize : target->size());
    const std::optional<ByteRange> room = ByteRange::of(job.targetStartSector * kSectorSize, length);
    if (!room || !ByteRange::first(capacity).contains(*room)) {
      messages.show(kMsgTargetTooSmall, kCaptionError);
      return outcome;
    }
  }

  Copier copier(job, progress, messages, onBadSector, source, target, window, targetStart, outcome);
  outcome.status = copier.run();
  // A disk reports write errors that were deferred only when flushed; an
  // image file is left to the page cache, as other imaging tools leave it.
  if (outcome.status == ImagingStatus::Completed && job.toDisk && !target->flush()) {
    messages.show(kMsgBadTarget, kCaptionError);
    outcome.status = ImagingStatus::WriteFailed;
  }
  RescueMap& map = copier.map();
  if (outcome.status == ImagingStatus::Completed) map.currentStatus = '+';
  if (!job.mapfile.empty()) outcome.mapfileSaved = map.save(job.mapfile, imagingInputs(job, window));
  if (outcome.status == ImagingStatus::Stopped) progress.setPosition(0);
  if (outcome.status == ImagingStatus::Completed) messages.show(kMsgImagingDone, kApplicationTitle);
  return outcome;
}

}  // namespace dudorazu
