#include "core/recovery/save_engine.h"

#include <algorithm>
#include <cinttypes>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "core/common/text.h"
#include "core/exfat/recoverability.h"
#include "core/recovery/decoded_jpeg_clusters.h"
#include "core/recovery/file_times.h"
#include "core/recovery/sha256.h"

namespace dudorazu {
namespace {

// Pieces at least this long that hold only zeros are left as holes in the
// output: the file reads the same and a sparse source stays cheap to save.
constexpr size_t kHoleMinimum = 64 * 1024;

// Bytes moved per read and write inside a piece: small enough to stay in the
// processor's cache, large enough to cost few system calls.
constexpr size_t kCopyChunk = 1024 * 1024;

// Hashes on a thread of its own while the saving thread reads and writes the
// next chunk: two buffers, one being hashed while the other is filled.
class BackgroundHash {
 public:
  BackgroundHash() : thread_([this] { run(); }) {
    for (auto& b : buffers_) b.resize(kCopyChunk);
  }
  ~BackgroundHash() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  // The buffer to fill next (kCopyChunk bytes); no hash is reading it.
  uint8_t* buffer() { return buffers_[next_].data(); }
  // Hands the first `length` bytes of buffer() over to be hashed.
  void submit(size_t length) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    job_ = buffers_[next_].data();
    length_ = length;
    busy_ = true;
    next_ ^= 1;
    changed_.notify_all();
  }
  std::string finishHex() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    return hash_.finishHex();
  }

 private:
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return busy_ || stop_; });
      if (!busy_) return;
      lock.unlock();
      hash_.update(job_, length_);
      lock.lock();
      busy_ = false;
      changed_.notify_all();
    }
  }

  std::vector<uint8_t> buffers_[2];
  int next_ = 0;
  Sha256 hash_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const uint8_t* job_ = nullptr;
  size_t length_ = 0;
  bool busy_ = false;
  bool stop_ = false;
  std::thread thread_;  // last: starts once everything above exists
};

bool allZero(const uint8_t* p, size_t n) {
  if (n == 0) return true;
  if (p[0] != 0) return false;
  size_t head = std::min<size_t>(n, 16);
  for (size_t i = 0; i < head; ++i)
    if (p[i] != 0) return false;
  // Compare the buffer with itself shifted by 16: equal only when every
  // 16-byte stretch equals the zero head.
  return n <= 16 || std::memcmp(p, p + 16, n - 16) == 0;
}

// Reads `length` bytes; a read that keeps failing is retried, then read in
// small pieces so that only what is really unreadable becomes zeros.
// Returns the unreadable stretches (device offsets) through `bad`.
void readWithRetry(SectorDevice& device, uint64_t offset, uint8_t* buffer, size_t length,
                   std::vector<DataRun>& bad, uint64_t fileOffset) {
  size_t got = 0;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    got = device.readAt(offset, buffer, length);
    if (got >= length) return;
  }
  // The first `got` bytes arrived; go on from there piece by piece.
  for (size_t pos = got; pos < length;) {
    size_t piece = std::min(kSalvageBytes - (pos % kSalvageBytes), length - pos);
    size_t n = device.readAt(offset + pos, buffer + pos, piece);
    if (n < piece) {
      std::memset(buffer + pos + n, 0, piece - n);
      DataRun lost{fileOffset + pos + n, offset + pos + n, piece - n};
      if (!bad.empty() && bad.back().deviceOffset + bad.back().length == lost.deviceOffset)
        bad.back().length += lost.length;
      else
        bad.push_back(lost);
    }
    pos += piece;
  }
}

void reportProgress(SaveContext& context, uint64_t piece, uint64_t fileTotal, uint64_t dataLength) {
  if (!context.progress) return;
  if (context.batchStep != 0 && context.batch) {
    context.batch->addPiece(piece, context.batchStep, *context.progress);
    return;
  }
  context.progress->setText(format("%" PRIu64 " BYTE被保存", fileTotal));
  // Percent in 64 bits without overflow for any length.
  uint64_t percent = fileTotal >= dataLength ? 100
                     : dataLength > UINT64_MAX / 100 ? fileTotal / (dataLength / 100)
                                                     : fileTotal * 100 / dataLength;
  context.progress->setPosition(percent);
}

void appendRun(std::vector<DataRun>& runs, const DataRun& run) {
  if (!runs.empty()) {
    DataRun& last = runs.back();
    if (last.fileOffset + last.length == run.fileOffset && last.deviceOffset + last.length == run.deviceOffset) {
      last.length += run.length;
      return;
    }
  }
  runs.push_back(run);
}

void finishFile(SaveContext& context, SavedFile& saved, const DataRunWalker& walker) {
  saved.guessed = walker.guessed();
  saved.overwrittenBytes = walker.bytesInUse();
  saved.beyondVolume = walker.beyondVolume();
  if (saved.beyondVolume) saved.damaged = true;
  // The record's assessment and the save judge its clusters by the same
  // walk; unreadable areas the save cannot see for itself (an image reads
  // zeros where the copy never got) come from the assessment.
  saved.damagedBeforeBytes = damagedBytes(*saved.record, context.volume->clusterBytes());
  if (saved.damagedBeforeBytes != 0) saved.damaged = true;
  saved.bytesAtRisk = bytesAtRisk(*saved.record, context.volume->clusterBytes());
  SaveTotals& t = context.totals;
  if (saved.failed) ++t.failed;
  else if (saved.cancelled) ++t.cancelled;
  else if (saved.created || context.dryRun) ++t.files;
  if (saved.damaged) ++t.damaged;
  if (saved.shortened) ++t.shortened;
  if (saved.guessed) ++t.guessed;
  if (saved.overwrittenBytes != 0) ++t.overwritten;
  t.bytes += saved.bytesWritten;
  if (context.onFile) context.onFile(saved);
}

// Clusters chosen for the record by its content: those of a carve that went
// on in free clusters, or, reading the device, the free clusters that carry
// on a deleted JPEG whose chain was cleared, where its data decodes on. True
// when the latter were found.
bool chooseClusters(SaveContext& context, const ExfatFileRecord& record, DataRunWalker& walker, bool mayRead) {
  const LoadedVolume& p = *context.volume;
  if (auto it = p.carvedClusters.find(&record); it != p.carvedClusters.end()) {
    walker.useClusters(it->second);
    return false;
  }
  if (!mayRead || !context.guessFreeClusters || !context.device) return false;
  std::optional<std::vector<ClusterRun>> decoded = decodedJpegClusters(*context.device, p, record);
  if (!decoded) return false;
  std::unordered_map<uint32_t, uint32_t> after;
  uint32_t last = 0;
  for (const ClusterRun& run : *decoded)
    for (uint64_t c = run.first; c < uint64_t{run.first} + run.count; ++c) {
      if (last != 0) after.emplace(last, static_cast<uint32_t>(c));
      last = static_cast<uint32_t>(c);
    }
  walker.setContinuation([after = std::move(after)](const DataRunWalker& w, uint32_t from) {
    auto it = after.find(from);
    return it != after.end() ? std::optional<uint32_t>(it->second) : w.nextFreeCluster(from);
  });
  return true;
}

bool planOnly(SaveContext& context, const std::string& outputPath, const ExfatFileRecord& record) {
  SavedFile saved;
  saved.record = &record;
  saved.outputPath = outputPath;
  DataRunWalker walker(record, *context.volume, kRunBytes, context.guessFreeClusters);
  // A dry run reads nothing: a deleted JPEG is planned as the plain guess.
  chooseClusters(context, record, walker, false);
  while (std::optional<DataRun> run = walker.next())
    if (context.collectRuns) appendRun(saved.runs, *run);
  saved.bytesWritten = walker.covered();
  saved.shortened = walker.covered() < record.dataLength && !walker.beyondVolume();
  finishFile(context, saved, walker);
  return true;
}

// A file left partial keeps what it holds under a name that says so.
void markPartial(SavedFile& saved, const OutputPlace& place, const OutputFile& out) {
  if (std::optional<std::string> renamed = renameAsideIn(*place.folder, out.name(), ".partial")) {
    saved.outputPath = std::string(place.folderPath) + "/" + *renamed;
    saved.partial = true;
  }
}

}  // namespace

bool saveFileData(SaveContext& context, const OutputPlace& place, const ExfatFileRecord& record) {
  if (context.dryRun) return planOnly(context, place.path(), record);

  SavedFile saved;
  saved.record = &record;
  saved.outputPath = place.path();
  DataRunWalker walker(record, *context.volume, kRunBytes, context.guessFreeClusters);
  saved.decodedGuess = chooseClusters(context, record, walker, true);
  OutputFile out;
  if (!place.folder ||
      !openOutputFileIn(out, *place.folder, place.folderPath, place.name, context.names)) {
    saved.failed = true;
    finishFile(context, saved, walker);
    return false;
  }
  saved.created = true;
  saved.outputPath = out.path();
  if (context.progress && context.progress->cancelled()) {
    out.close();
    saved.cancelled = true;
    if (record.dataLength != 0) markPartial(saved, place, out);
    finishFile(context, saved, walker);
    return false;
  }
  if (context.progress && context.batchStep == 0) context.progress->setRange(100, 1);

  // A hash needs the bytes here: each chunk is read once, written from the
  // buffer, and hashed beside the next chunk's read and write (files over a
  // few chunks) so that the hash costs little more than the copy.
  Sha256 hash;
  std::optional<BackgroundHash> background;
  if (context.hashData && record.dataLength > 2 * kCopyChunk) background.emplace();
  std::vector<uint8_t>& buffer = context.buffer;
  // Without a hash the bytes need not pass through here: the device copies
  // them into the file itself where it can, and whatever it leaves (a read
  // that failed, a device that cannot) goes the careful way below.
  const bool deviceCopies = !context.hashData;
  bool ok = true;
  while (ok) {
    std::optional<DataRun> run = walker.next();
    if (!run) break;
    if (context.collectRuns) appendRun(saved.runs, *run);
    // A run is one piece of progress, except for clusters larger than the
    // piece size. Each piece is copied through a small buffer that stays in
    // the processor's cache; the output is the same as one big read.
    for (uint64_t done = 0; done < run->length && ok;) {
      uint64_t piece = std::min<uint64_t>(run->length - done, kRunBytes);
      uint64_t copied = deviceCopies ? out.copyFrom(*context.device, run->deviceOffset + done, piece) : 0;
      for (uint64_t chunkAt = copied; chunkAt < piece; chunkAt += kCopyChunk) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(piece - chunkAt, kCopyChunk));
        if (!background && buffer.size() < chunk)
          buffer.resize(std::max<size_t>(chunk, std::min<uint64_t>(record.dataLength, kCopyChunk)));
        uint8_t* data = background ? background->buffer() : buffer.data();
        size_t before = saved.unreadable.size();
        uint64_t at = done + chunkAt;
        readWithRetry(*context.device, run->deviceOffset + at, data, chunk, saved.unreadable, run->fileOffset + at);
        if (saved.unreadable.size() != before) saved.damaged = true;
        if (chunk >= kHoleMinimum && allZero(data, chunk)) {
          out.skip(chunk);
        } else if (!out.write(data, chunk)) {
          saved.failed = true;
          ok = false;
          break;
        }
        if (background) background->submit(chunk);
        else if (context.hashData) hash.update(data, chunk);
      }
      if (!ok) break;
      done += piece;
      reportProgress(context, piece, out.size(), record.dataLength);
      if (context.progress && context.progress->cancelled()) {
        saved.cancelled = true;
        ok = false;
      }
    }
  }
  if (ok && context.keepTimes)
    if (std::optional<std::time_t> when = recordLocalTime(record.modifyDate, record.modifyTime))
      out.setModifiedTime(*when);
  if (!out.close()) saved.failed = true;
  // What the file holds, also when a write failed partway.
  saved.bytesWritten = out.size();
  if (!saved.failed && !saved.cancelled) {
    saved.shortened = saved.bytesWritten < record.dataLength && !walker.beyondVolume();
    if (context.hashData) saved.sha256 = background ? background->finishHex() : hash.finishHex();
  } else {
    markPartial(saved, place, out);
  }
  finishFile(context, saved, walker);
  return !saved.failed && !saved.cancelled;
}

bool saveFileData(SaveContext& context, const std::string& outputPath, const ExfatFileRecord& record) {
  size_t slash = outputPath.rfind('/');
  std::string folderPath = slash == std::string::npos ? std::string(".") : outputPath.substr(0, slash);
  std::string name = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
  platform::FolderHandle folder;
  if (!context.dryRun && (folderPath.empty() || !createFolderPath(folderPath, context.names) || !folder.open(folderPath)))
    return saveFileData(context, OutputPlace{nullptr, folderPath, name}, record);
  return saveFileData(context, OutputPlace{&folder, folderPath, name}, record);
}

}  // namespace dudorazu
