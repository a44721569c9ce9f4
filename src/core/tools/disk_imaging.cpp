#include "core/tools/disk_imaging.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/common/text.h"
#include "core/device/sector_device.h"
#include "core/tools/bounded_io.h"
#include "core/tools/rescue_map.h"
#include "core/tools/tool_messages.h"

namespace dudorazu {
namespace {

std::string canonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

bool rangesOverlap(uint64_t a, uint64_t aLength, uint64_t b, uint64_t bLength) {
  return aLength != 0 && bLength != 0 && a < b + bLength && b < a + aLength;
}

std::shared_ptr<IoBuffer> newBuffer(size_t size) { return std::make_shared<IoBuffer>(size); }

class Copier {
 public:
  Copier(const ImagingJob& job, ProgressBlock& progress, MessageSink& messages,
         const std::function<void(uint64_t, uint64_t)>& onBadSector, std::shared_ptr<SectorDevice> source,
         std::shared_ptr<SectorDevice> target, uint64_t sourceStart, uint64_t targetStart, uint64_t length,
         ImagingOutcome& outcome)
      : job_(job), progress_(progress), messages_(messages), onBadSector_(onBadSector), reader_(std::move(source)),
        writer_(std::move(target)), sourceStart_(sourceStart), targetStart_(targetStart), length_(length),
        outcome_(outcome), map_(sourceStart, length) {}

  ImagingStatus run();
  const RescueMap& map() const { return map_; }

 private:
  enum class AreaResult { Done, Stopped, WriteFailed };
  AreaResult copySectorBySector(std::shared_ptr<IoBuffer>& area, uint64_t offset, size_t length);
  bool write(const std::shared_ptr<IoBuffer>& data, uint64_t offset, size_t length);
  void showProgressText() { progress_.setText(format("%llu", static_cast<unsigned long long>(outcome_.bytesDone / kSectorSize))); }

  const ImagingJob& job_;
  ProgressBlock& progress_;
  MessageSink& messages_;
  const std::function<void(uint64_t, uint64_t)>& onBadSector_;
  IoLane reader_;
  IoLane writer_;
  uint64_t sourceStart_, targetStart_, length_;
  ImagingOutcome& outcome_;
  RescueMap map_;
};

ImagingStatus Copier::run() {
  const uint64_t blocks = length_ / kImagingBlock;
  const size_t tail = static_cast<size_t>(length_ % kImagingBlock);
  const uint64_t areas = blocks + (tail ? 1 : 0);
  progress_.setRange(blocks, 1);
  auto current = newBuffer(kImagingBlock);
  auto next = newBuffer(kImagingBlock);
  if (areas) reader_.startRead(sourceStart_, current, blocks ? kImagingBlock : tail);

  for (uint64_t i = 0; i < areas; ++i) {
    const uint64_t offset = i * kImagingBlock;
    const size_t length = i < blocks ? kImagingBlock : tail;
    std::optional<size_t> got = reader_.finish(job_.waits.blockRead);
    if (!got) current = newBuffer(kImagingBlock);  // the late read keeps the old buffer
    const bool moreToRead = i + 1 < areas;
    const size_t nextLength = i + 1 < blocks ? kImagingBlock : tail;
    if (got && *got == length) {
      // Read the next block while this one is written.
      if (moreToRead && !progress_.cancelled()) reader_.startRead(sourceStart_ + offset + kImagingBlock, next, nextLength);
      if (!write(current, offset, length)) return ImagingStatus::WriteFailed;
      map_.mark(length, true);
      outcome_.bytesDone += length;
    } else {
      AreaResult r = copySectorBySector(current, offset, length);
      if (r == AreaResult::WriteFailed) return ImagingStatus::WriteFailed;
      if (r == AreaResult::Stopped) return ImagingStatus::Stopped;
      if (moreToRead && !progress_.cancelled()) reader_.startRead(sourceStart_ + offset + kImagingBlock, next, nextLength);
    }
    if (i < blocks) progress_.stepIt();
    showProgressText();
    if (progress_.cancelled()) return moreToRead ? ImagingStatus::Stopped : ImagingStatus::Completed;
    std::swap(current, next);
  }
  return ImagingStatus::Completed;
}

// A block that failed as a whole: every sector is tried on its own, and the
// ones that still fail are listed and filled with the marker pattern. A
// last piece shorter than a sector is handled like a sector.
Copier::AreaResult Copier::copySectorBySector(std::shared_ptr<IoBuffer>& area, uint64_t offset, size_t length) {
  auto sector = newBuffer(kSectorSize);
  std::vector<bool> good;
  size_t done = 0;
  bool stopped = false;
  while (done < length && !stopped) {
    size_t n = std::min<size_t>(kSectorSize, length - done);
    uint64_t at = sourceStart_ + offset + done;
    reader_.startRead(at, sector, n);
    std::optional<size_t> got = reader_.finish(job_.waits.sectorRead);
    if (!got) sector = newBuffer(kSectorSize);
    if (got && *got == n) {
      std::memcpy(area->data() + done, sector->data(), n);
      good.push_back(true);
    } else {
      std::memset(area->data() + done, kUnreadableFill, n);
      good.push_back(false);
      outcome_.badSectors.push_back(at / kSectorSize);
      if (onBadSector_) onBadSector_(outcome_.badSectors.size(), at / kSectorSize);
    }
    done += n;
    stopped = progress_.cancelled();
  }
  if (!write(area, offset, done)) return AreaResult::WriteFailed;
  size_t pos = 0;
  for (bool ok : good) {
    size_t n = std::min<size_t>(kSectorSize, done - pos);
    map_.mark(n, ok);
    pos += n;
  }
  outcome_.bytesDone += done;
  return stopped && done < length ? AreaResult::Stopped : AreaResult::Done;
}

bool Copier::write(const std::shared_ptr<IoBuffer>& data, uint64_t offset, size_t length) {
  writer_.startWrite(targetStart_ + offset, data, length);
  std::optional<size_t> written = writer_.finish(job_.waits.write);
  if (written && *written == length) return true;
  messages_.show(kMsgBadTarget, kCaptionError);
  return false;
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

ImagingOutcome imageDisk(const ImagingJob& job, ProgressBlock& progress, MessageSink& messages,
                         const std::function<void(uint64_t ordinal, uint64_t sector)>& onBadSector) {
  ImagingOutcome outcome;
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
  const uint64_t length = imagingLength(sized);
  const uint64_t sourceStart = job.source.startOffset + job.sourceStartSector * kSectorSize;
  const std::string sourcePath = canonicalPath(job.source.devicePath);

  std::shared_ptr<SectorDevice> target;
  uint64_t targetStart = 0;
  if (job.toDisk) {
    if (job.target.diskFound && (!job.target.isPartition || job.target.partitionFound))
      target = openDevice(job.target.devicePath, OpenMode::ReadWrite);
    if (!target) {
      messages.show(kMsgOpenFailed, kApplicationTitle);
      outcome.status = ImagingStatus::TargetNotOpened;
      return outcome;
    }
    // Writing past the chosen target would overwrite whatever follows it.
    uint64_t capacity = job.target.isPartition ? job.target.length
                                               : (job.target.diskSize ? job.target.diskSize : target->size());
    uint64_t skip = job.targetStartSector * kSectorSize;
    if (job.targetStartSector > capacity / kSectorSize || length > capacity - skip) {
      messages.show(kMsgTargetTooSmall, kCaptionError);
      return outcome;
    }
    targetStart = job.target.startOffset + skip;
    if (canonicalPath(job.target.devicePath) == sourcePath && rangesOverlap(sourceStart, length, targetStart, length)) {
      messages.show(kMsgSourceIsTarget, kCaptionError);
      return outcome;
    }
  } else {
    // Creating the file truncates it: it must not be the source itself.
    if (canonicalPath(job.targetFile) == sourcePath) {
      messages.show(kMsgSourceIsTarget, kCaptionError);
      return outcome;
    }
    target = openDevice(job.targetFile, OpenMode::CreateWrite);
    if (!target) {
      messages.show(kMsgOpenFailed, kApplicationTitle);
      outcome.status = ImagingStatus::TargetNotOpened;
      return outcome;
    }
  }

  Copier copier(job, progress, messages, onBadSector, source, target, sourceStart, targetStart, length, outcome);
  outcome.status = copier.run();
  if (outcome.status == ImagingStatus::Completed && !target->flush()) {
    messages.show(kMsgBadTarget, kCaptionError);
    outcome.status = ImagingStatus::WriteFailed;
  }
  if (!job.mapfile.empty()) outcome.mapfileSaved = copier.map().save(job.mapfile, outcome.status == ImagingStatus::Completed);
  if (outcome.status == ImagingStatus::Stopped) progress.setPosition(0);
  if (outcome.status == ImagingStatus::Completed) messages.show(kMsgImagingDone, kApplicationTitle);
  return outcome;
}

}  // namespace dudorazu
