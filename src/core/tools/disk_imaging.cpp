#include "core/tools/disk_imaging.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/common/text.h"
#include "core/device/sector_device.h"
#include "core/tools/bounded_io.h"
#include "core/tools/copy_pipeline.h"
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


// Blocks are read ahead and written behind on threads of their own; the
// copy itself only waits for them, each wait bounded.
class Copier {
 public:
  Copier(const ImagingJob& job, ProgressBlock& progress, MessageSink& messages,
         const std::function<void(uint64_t, uint64_t)>& onBadSector, std::shared_ptr<SectorDevice> source,
         std::shared_ptr<SectorDevice> target, uint64_t sourceStart, uint64_t targetStart, uint64_t length,
         ImagingOutcome& outcome)
      : job_(job), progress_(progress), messages_(messages), onBadSector_(onBadSector),
        pool_(std::make_shared<BufferPool>(kImagingBlock)),
        reader_(source, pool_, sourceStart, length, kImagingBlock, kReadAhead), writer_(target, pool_, kWriteBehind),
        sectorLane_(source), sourceStart_(sourceStart), targetStart_(targetStart), length_(length),
        outcome_(outcome), map_(sourceStart, length) {}

  ImagingStatus run();
  // The map of what reached the target; call after run().
  const RescueMap& map();

 private:
  static constexpr size_t kReadAhead = 4;
  static constexpr size_t kWriteBehind = 4;

  // What one submitted write carries: its length and, for a block copied
  // sector by sector, which sectors were readable.
  struct Written {
    size_t length;
    std::vector<bool> sectors;  // empty: all readable
  };

  bool readSectorBySector(IoBuffer& area, uint64_t offset, size_t length, std::vector<bool>& sectors);
  bool submit(std::shared_ptr<IoBuffer> data, uint64_t offset, size_t length, std::vector<bool> sectors);
  ImagingStatus finish(ImagingStatus status);

  const ImagingJob& job_;
  ProgressBlock& progress_;
  MessageSink& messages_;
  const std::function<void(uint64_t, uint64_t)>& onBadSector_;
  std::shared_ptr<BufferPool> pool_;
  ReadAhead reader_;
  WriteBehind writer_;
  IoLane sectorLane_;
  uint64_t sourceStart_, targetStart_, length_;
  ImagingOutcome& outcome_;
  RescueMap map_;
  std::vector<Written> submitted_;
  uint64_t submittedBytes_ = 0;
};

ImagingStatus Copier::run() {
  const uint64_t blocks = length_ / kImagingBlock;
  const uint64_t areas = (length_ + kImagingBlock - 1) / kImagingBlock;
  progress_.setRange(blocks, 1);
  if (areas) reader_.start(0);
  for (uint64_t i = 0; i < areas; ++i) {
    const uint64_t offset = i * kImagingBlock;
    const size_t length = static_cast<size_t>(std::min<uint64_t>(kImagingBlock, length_ - offset));
    std::optional<ReadBlock> block = reader_.next(job_.waits.blockRead);
    if (block && block->got == length) {
      if (!submit(std::move(block->buffer), offset, length, {})) return finish(ImagingStatus::WriteFailed);
    } else {
      // A block read that hangs keeps its buffer; the retry gets a new one.
      std::shared_ptr<IoBuffer> area = block ? std::move(block->buffer) : std::make_shared<IoBuffer>(kImagingBlock);
      std::vector<bool> sectors;
      bool stopped = !readSectorBySector(*area, offset, length, sectors);
      size_t done = std::min(length, sectors.size() * kSectorSize);
      if (!submit(std::move(area), offset, done, std::move(sectors))) return finish(ImagingStatus::WriteFailed);
      if (stopped) return finish(ImagingStatus::Stopped);
      if (i + 1 < areas) reader_.start(i + 1);
    }
    if (i < blocks) progress_.stepIt();
    progress_.setText(format("%llu", static_cast<unsigned long long>(submittedBytes_ / kSectorSize)));
    if (progress_.cancelled() && i + 1 < areas) return finish(ImagingStatus::Stopped);
  }
  return finish(ImagingStatus::Completed);
}

// A block that failed as a whole: every sector is tried on its own, and the
// ones that still fail are listed and filled with the marker pattern. A
// last piece shorter than a sector is handled like a sector. False when a
// stop came before the end of the block.
bool Copier::readSectorBySector(IoBuffer& area, uint64_t offset, size_t length, std::vector<bool>& sectors) {
  auto sector = std::make_shared<IoBuffer>(kSectorSize);
  for (size_t done = 0; done < length;) {
    size_t n = std::min<size_t>(kSectorSize, length - done);
    uint64_t at = sourceStart_ + offset + done;
    sectorLane_.startRead(at, sector, n);
    std::optional<size_t> got = sectorLane_.finish(job_.waits.sectorRead);
    bool good = got && *got == n;
    if (good) {
      std::memcpy(area.data() + done, sector->data(), n);
    } else {
      if (!got) sector = std::make_shared<IoBuffer>(kSectorSize);  // the late read keeps the old one
      std::memset(area.data() + done, kUnreadableFill, n);
      outcome_.badSectors.push_back(at / kSectorSize);
      if (onBadSector_) onBadSector_(outcome_.badSectors.size(), at / kSectorSize);
    }
    sectors.push_back(good);
    done += n;
    if (progress_.cancelled() && done < length) return false;
  }
  return true;
}

bool Copier::submit(std::shared_ptr<IoBuffer> data, uint64_t offset, size_t length, std::vector<bool> sectors) {
  if (length == 0) return true;
  submitted_.push_back({length, std::move(sectors)});
  submittedBytes_ += length;
  return writer_.submit(targetStart_ + offset, std::move(data), length, job_.waits.write);
}

ImagingStatus Copier::finish(ImagingStatus status) {
  reader_.stop();
  if (!writer_.drain(job_.waits.write)) status = ImagingStatus::WriteFailed;
  if (status == ImagingStatus::WriteFailed) messages_.show(kMsgBadTarget, kCaptionError);
  return status;
}

const RescueMap& Copier::map() {
  // Only what was written counts as copied; the rest stays untried.
  uint64_t written = writer_.completed();
  for (uint64_t k = 0; k < written && k < submitted_.size(); ++k) {
    const Written& w = submitted_[k];
    outcome_.bytesDone += w.length;
    if (w.sectors.empty()) {
      map_.mark(w.length, true);
      continue;
    }
    size_t pos = 0;
    for (bool good : w.sectors) {
      size_t n = std::min<size_t>(kSectorSize, w.length - pos);
      map_.mark(n, good);
      pos += n;
    }
  }
  return map_;
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
  // A disk reports write errors that were deferred only when flushed; an
  // image file is left to the page cache, as other imaging tools leave it.
  if (outcome.status == ImagingStatus::Completed && job.toDisk && !target->flush()) {
    messages.show(kMsgBadTarget, kCaptionError);
    outcome.status = ImagingStatus::WriteFailed;
  }
  const RescueMap& map = copier.map();
  if (!job.mapfile.empty()) outcome.mapfileSaved = map.save(job.mapfile, outcome.status == ImagingStatus::Completed);
  if (outcome.status == ImagingStatus::Stopped) progress.setPosition(0);
  if (outcome.status == ImagingStatus::Completed) messages.show(kMsgImagingDone, kApplicationTitle);
  return outcome;
}

}  // namespace dudorazu
