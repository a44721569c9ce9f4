#include "core/tools/disk_imaging.h"
#include "core/tools/imaging_form.h"
#include "core/device/rescue_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "support/catalogued.h"
#include "support/faulty_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

// A copy run to its end: its outcome, bad-sector rows and messages.
struct ImagingRun {
  ImagingOutcome outcome;
  std::vector<std::pair<uint64_t, uint64_t>> rows;
  RecordingMessageSink messages;
  ProgressBlock progress;
  explicit ImagingRun(const ImagingJob& job) {
    outcome = imageDisk(job, progress, messages, [&](uint64_t ordinal, uint64_t sector) { rows.push_back({ordinal, sector}); });
  }
  bool said(const std::string& text) const {
    return std::any_of(messages.messages.begin(), messages.messages.end(), [&](const auto& m) { return m.text == text; });
  }
};

ImagingJob toFile(const DiskRecord& disk, const std::string& file, const PartitionRecord* partition = nullptr) {
  ImagingJob job;
  job.source = endpointFor(disk, partition);
  job.targetFile = file;
  return job;
}

ImagingJob toDisk(const ImagingEndpoint& source, const ImagingEndpoint& target, uint64_t targetStart = 0) {
  ImagingJob job;
  job.source = source;
  job.toDisk = true;
  job.target = target;
  job.targetStartSector = targetStart;
  return job;
}

// Compares large byte strings without printing them.
::testing::AssertionResult sameBytes(const std::string& a, const std::string& b) {
  if (a == b) return ::testing::AssertionSuccess();
  auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
  return ::testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size() << ", first difference at " << at;
}

// A blank (sparse) file of `size` bytes.
std::string blank(const std::string& path, uint64_t size) {
  test::writeFile(path, "");
  test::writeAt(path, size - 1, std::string(1, '\0'));
  return path;
}

TEST(ImagingEndpoint, NamesADiskOrOneOfItsPartitionsAndTheFormIsCheckedInTheDialogsOrder) {
  DiskCatalogue catalogue;
  ASSERT_TRUE(openImageAsDisk(catalogue, test::fixtureImage("tools-bigtable.img")));
  ASSERT_TRUE(openImageAsDisk(catalogue, test::fixtureImage("tools-search.img")));
  DiskRecord& disk = catalogue.disks.front();
  disk.partitions[1].driveLetter = "/media/big";
  ImagingEndpoint whole = resolveEndpoint(catalogue, "tools-bigtable.img");
  EXPECT_TRUE(whole.diskFound && !whole.isPartition && whole.diskSize == disk.diskSize);
  ImagingEndpoint part = resolveEndpoint(catalogue, "tools-bigtable.img,/media/big");
  EXPECT_TRUE(part.partitionFound && part.diskSize == 0 && part.bytes == ByteRange::of(4196352ull * 512, 16384ull * 512));
  EXPECT_EQ(resolveEndpoint(catalogue, "tools-bigtable.img,Partition0").bytes.start(), 2048ull * 512);
  ImagingEndpoint missing = resolveEndpoint(catalogue, "tools-bigtable.img,nothing");
  EXPECT_TRUE(!missing.partitionFound && missing.devicePath == disk.devicePath) << "only the device path is known";
  EXPECT_FALSE(resolveEndpoint(catalogue, "other.img").diskFound || resolveEndpoint(catalogue, ",tools-bigtable.img").diskFound)
      << "a disk not listed; a leading comma does not split";
  EXPECT_EQ(std::pair(endpointSizeSectors(catalogue, "tools-bigtable.img,Partition0"),
                      endpointSizeSectors(catalogue, "tools-bigtable.img,nothing")),
            std::pair(uint64_t{16384}, uint64_t{0}));

  // Paths and names may hold commas: the split falls where a disk is named.
  const std::set<std::string> disks = {"a,b.img", "HD0", "dir,x/disk.img"};
  const struct {
    const char *text, *disk, *partition;
  } splits[] = {
      {"a,b.img", "a,b.img", nullptr},
      {"a,b.img,Partition1", "a,b.img", "Partition1"},
      {"dir,x/disk.img,/media/c,d", "dir,x/disk.img", "/media/c,d"},
      {"HD0,Partition0", "HD0", "Partition0"},
      {"nothing,P,Q", "nothing", "P,Q"},  // no disk named: the first comma, so the error names the disk
      {",HD0", ",HD0", nullptr},          // a leading comma does not split
      {"nothing", "nothing", nullptr},
  };
  for (const auto& c : splits) {
    EndpointText split = splitEndpointText(c.text, [&](const std::string& d) { return disks.count(d) != 0; });
    EXPECT_EQ(std::tuple(split.disk, split.hasPartition, split.partition),
              std::tuple(std::string(c.disk), c.partition != nullptr, std::string(c.partition ? c.partition : "")))
        << c.text;
  }

  // Refused before anything is opened, in either front end. (Wine shows the
  // Windows build no disk device to name.)
#ifndef _WIN32
  std::string device;
  for (const auto& entry : std::filesystem::directory_iterator("/dev"))
    if (device.empty() && entry.is_block_file()) device = entry.path().string();
  ASSERT_FALSE(device.empty()) << "no block device to name as a file target";
  ImagingJob onDevice;
  onDevice.source = whole;
  onDevice.targetFile = device;
  EXPECT_NE(imagingJobProblem(onDevice).find("是磁盘设备"), std::string::npos) << "an image file written over a disk";
#endif
  ImagingJob tail;
  tail.source = part;
  tail.targetFile = "/tmp/x.img";
  tail.sourceStartSector = 16383;
  EXPECT_EQ(imagingJobProblem(tail), "");
  tail.sourceStartSector = 16384;
  EXPECT_NE(imagingJobProblem(tail).find("起始扇区16384超出"), std::string::npos);
  tail.sourceStartSector = 0;
  tail.source.claimedLength = tail.source.bytes.length() + 512;
  EXPECT_EQ(imagingJobProblem(tail), "") << "what lies on the disk is copied";
  ImagingOutcome copied;
  copied.status = ImagingStatus::Completed;
  EXPECT_NE(imagingShortfallText(tail, copied).find("镜像不完整"), std::string::npos);
  tail.source.bytes = ByteRange::from(UINT64_MAX);
  EXPECT_NE(imagingJobProblem(tail).find("没有可复制的扇区"), std::string::npos);
  // Start sectors whose bytes pass 64 bits would wrap round to the device's
  // first bytes: refused, even while the source's size is not known.
  ImagingJob far;
  far.source = whole;
  far.source.diskSize = 0;
  far.targetFile = "/tmp/x.img";
  far.sourceStartSector = 1ull << 55;
  EXPECT_NE(imagingJobProblem(far).find("超出"), std::string::npos);
  far.sourceStartSector = 0;
  far.toDisk = true;
  far.target = part;
  far.targetStartSector = (1ull << 55) + 1;
  EXPECT_EQ(imagingJobProblem(far), "目标空间不足");

  // Each field filled in turn; no start in front of the source.
  ImagingForm form;
  EXPECT_EQ(imagingFormProblem(form), "请选择源磁盘信息");
  const struct {
    std::string ImagingForm::*field;
    const char *value, *problem;
  } steps[] = {{&ImagingForm::source, "tools-search.img", "请填写源磁盘镜像大小"},
               {&ImagingForm::sectorCount, "81920", "请填写源磁盘镜像起始扇区"},
               {&ImagingForm::sourceStart, "-1", "请填写源磁盘镜像起始扇区"},
               {&ImagingForm::sourceStart, "0", "请选择目标磁盘信息"},
               {&ImagingForm::target, "other.img", "请填写目标磁盘镜像起始扇区"},
               {&ImagingForm::targetStart, "0", ""}};
  for (const auto& step : steps) EXPECT_EQ(imagingFormProblem((form.*step.field = step.value, form)), step.problem) << step.value;
  form.toDisk = false;
  EXPECT_EQ(imagingFormProblem(form), "请选择目标文件路径");
  form.filePath = "/tmp/x.img";
  form.sourceStart = "100";
  RecordingMessageSink messages;
  std::optional<ImagingJob> job = imagingJobFromForm(catalogue, form, messages);
  ASSERT_TRUE(job);
  EXPECT_TRUE(job->source.diskFound && job->sourceStartSector == 100 && imagingLength(*job) == (81920u - 100) * 512);
  form.resume = true;
  EXPECT_EQ(imagingFormProblem(form), "请选择映射文件路径") << "going on needs the map";
  form.mapfile = "/tmp/x.map";
  job = imagingJobFromForm(catalogue, form, messages);
  EXPECT_TRUE(job && job->resume && job->mapfile == "/tmp/x.map");
  form.filePath.clear();
  EXPECT_TRUE(!imagingJobFromForm(catalogue, form, messages) && messages.messages.back().caption == "error");
}

// tools-search.img is 40 MiB: 40 whole blocks. One sector that cannot be
// read, or whose read hangs, is listed and filled with 0x20 while every other
// byte is copied; a hanging read is cut short and never writes into a buffer
// used again.
TEST(DiskImaging, AnUnreadableOrHangingSectorIsListedAndFilledWhileEverythingElseIsCopied) {
  for (const uint64_t bad : {5000, 7000}) {
    const bool hangs = bad == 7000;
    SCOPED_TRACE(hangs ? "hanging" : "unreadable");
    TempDir dir;
    std::string src = copyFixture(dir, "tools-search.img");
    ImagingJob job = toFile(catalogued(src), dir.file("copy.img"));
    test::FaultPlan plan;
    (hangs ? plan.hangingSectors : plan.badSectors) = {bad};
    plan.hang = std::chrono::seconds(20);
    test::ScopedFaultInjection faults(src, plan);
    job.mapfile = dir.file("copy.map");
    job.waits = {std::chrono::milliseconds(800), std::chrono::milliseconds(500), std::chrono::seconds(3)};
    auto started = std::chrono::steady_clock::now();
    ImagingRun run(job);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15)) << "waited for a hanging read";
    EXPECT_TRUE(run.outcome.status == ImagingStatus::Completed && run.said("镜像完毕"));
    EXPECT_EQ(run.rows, (std::vector<std::pair<uint64_t, uint64_t>>{{1, bad}}));
    EXPECT_EQ(std::to_string(run.progress.position()) + " blocks, " + run.progress.text() + " sectors done",
              "40 blocks, 81920 sectors done");
    std::string source = readFile(src);
    EXPECT_TRUE(sameBytes(readFile(job.targetFile), source.replace(bad * 512, 512, 512, '\x20')));
    if (hangs) continue;
    EXPECT_EQ(readFile(job.mapfile),
              "# Mapfile. Created by dudorazu\n# current_pos  current_status  current_pass\n"
              "0x027FFFFF     +               1\n#      pos        size  status\n"
              "0x00000000  0x00271000  +\n0x00271000  0x00000200  -\n0x00271200  0x0258EE00  +\n");
  }
  EXPECT_EQ(badSectorRowText(1), "第1个坏扇区");
}

// A source of `size` bytes that differ from sector to sector, so a byte
// copied to the wrong place shows.
std::string patternSource(const std::string& path, size_t size) {
  std::string bytes(size, '\0');
  uint64_t x = 88172645463325252ull;
  for (char& c : bytes) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    c = static_cast<char>(x);
  }
  test::writeFile(path, bytes);
  return bytes;
}

std::set<uint64_t> sectorSpan(uint64_t first, uint64_t count) {
  std::set<uint64_t> out;
  for (uint64_t s = first; s < first + count; ++s) out.insert(s);
  return out;
}

// The map a run should end with: everything finished but these sectors.
std::vector<RescueArea> expectedAreas(uint64_t bytes, const std::set<uint64_t>& bad,
                                      const std::set<uint64_t>& unscraped = {}) {
  RescueMap map(*ByteRange::of(0, bytes));
  map.set(*ByteRange::of(0, bytes), RescueState::Finished);
  for (uint64_t s : unscraped) map.set(*ByteRange::of(s * 512, 512), RescueState::NonScraped);
  for (uint64_t s : bad) map.set(*ByteRange::of(s * 512, 512), RescueState::Bad);
  return map.areas();
}

std::vector<RescueArea> savedAreas(const std::string& mapfile) {
  std::string error;
  std::optional<RescueMap> map = RescueMap::load(mapfile, error);
  EXPECT_TRUE(map) << error;
  return map ? map->areas() : std::vector<RescueArea>{};
}

struct Read {
  uint64_t offset;
  size_t length;
  char phase;  // the pass the read belongs to
};

// Each kind of failure is read in the passes' order and ends in exact map
// states; what was never read is 0x20 in the image.
TEST(DiskImaging, PassesCopyGoodDataFirstAndEndInExactMapStates) {
  constexpr size_t kSize = 4 << 20, kBlock = 65536;  // 64 blocks of 128 sectors
  const struct Row {
    const char* name;
    std::set<uint64_t> bad, slow, backwardOnly;
    std::map<uint64_t, int> flaky;
    int retries;
    bool reverse, scrape;
    std::set<uint64_t> endBad, endUnscraped;
    std::function<void(const std::vector<Read>&)> check;
  } rows[] = {
      {"scattered bad sectors", {100, 5000, 5001, 8191}, {}, {}, {}, 0, false, true, {100, 5000, 5001, 8191}, {},
       [](const std::vector<Read>& reads) {
         // Trimming reaches each lone bad sector from both sides, so nothing
         // is left to scrape: one sector read per sector of a failed block.
         EXPECT_EQ(std::count_if(reads.begin(), reads.end(), [](const Read& r) { return r.phase == '/'; }), 0);
         EXPECT_EQ(std::count_if(reads.begin(), reads.end(), [](const Read& r) { return r.phase == '*'; }), 3 * 128);
       }},
      {"a bad band", sectorSpan(2000, 1500), {}, {}, {}, 0, false, true, sectorSpan(2000, 1500), {},
       [](const std::vector<Read>& reads) {
         // Skipping gets out of the band: most of its blocks are first read
         // by the backward pass, from the band's far side.
         size_t intoBand = 0;
         for (const Read& r : reads)
           if (r.phase == '?' && r.offset < 3500 * 512 && r.offset + r.length > 2000 * 512) ++intoBand;
         EXPECT_LE(intoBand, 14u) << "block reads sent into the band";
       }},
      {"no scrape leaves the band's middle", sectorSpan(2000, 1500), {}, {}, {}, 0, false, false, {2000, 3499},
       sectorSpan(2001, 1498), nullptr},
      {"a slow area is read after the good data behind it", {}, sectorSpan(1024, 256), {}, {}, 0, false, true, {}, {},
       [](const std::vector<Read>& reads) {
         auto at = [&](uint64_t sector) {
           return std::find_if(reads.begin(), reads.end(), [&](const Read& r) { return r.offset == sector * 512; }) -
                  reads.begin();
         };
         EXPECT_LT(at(2048), at(1152)) << "the block after the first slow one waits for a later pass";
       }},
      {"retries win a sector on a later try", {}, {}, {}, {{3000, 3}}, 2, false, true, {}, {}, nullptr},
      {"one retry is not enough for it", {}, {}, {}, {{3000, 3}}, 1, false, true, {3000}, {}, nullptr},
      {"reverse reads a region that only reads backwards", {}, {}, sectorSpan(4096, 512), {}, 0, true, true, {}, {},
       [](const std::vector<Read>& reads) {
         EXPECT_EQ(reads.front().offset, kSize - kBlock) << "a reverse run starts at the end";
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::string src = dir.file("source.img");
    std::string source = patternSource(src, kSize);
    ImagingJob job = toFile(catalogued(src), dir.file("copy.img"));
    job.mapfile = dir.file("copy.map");
    job.blockSize = kBlock;
    job.retryPasses = row.retries;
    job.reverse = row.reverse;
    job.scrape = row.scrape;
    job.waits.slowBlock = std::chrono::milliseconds(40);
    job.monitor = std::make_shared<RescueMonitor>();
    char phase = '?';
    job.onPass = [&](const RescueSnapshot& s) { phase = s.phase; };
    std::vector<Read> reads;
    test::FaultPlan plan;
    plan.badSectors = row.bad;
    plan.slowSectors = row.slow;
    plan.slow = std::chrono::milliseconds(80);
    plan.flakySectors = row.flaky;
    plan.backwardOnlySectors = row.backwardOnly;
    plan.onReadRange = [&](uint64_t offset, size_t length) { reads.push_back({offset, length, phase}); };
    test::ScopedFaultInjection faults(src, plan);
    ImagingRun run(job);
    EXPECT_EQ(run.outcome.status, ImagingStatus::Completed);
    EXPECT_EQ(savedAreas(job.mapfile), expectedAreas(kSize, row.endBad, row.endUnscraped));
    for (uint64_t s : row.endBad) source.replace(s * 512, 512, 512, '\x20');
    for (uint64_t s : row.endUnscraped) source.replace(s * 512, 512, 512, '\x20');
    EXPECT_TRUE(sameBytes(readFile(job.targetFile), source));
    EXPECT_EQ(run.outcome.unreadableSectors, row.endBad.size());
    EXPECT_EQ(run.outcome.whole(), row.endBad.empty() && row.endUnscraped.empty());
    const RescueSnapshot shown = job.monitor->snapshot();
    EXPECT_EQ(shown.phase, '+');
    EXPECT_EQ(shown.counts.bad, row.endBad.size() * 512) << "the window is shown the final counts";
    EXPECT_EQ(shown.areas, expectedAreas(kSize, row.endBad, row.endUnscraped));
    // Good data first: every block read ends before the first sector read.
    auto firstSector = std::find_if(reads.begin(), reads.end(), [](const Read& r) { return r.phase != '?'; });
    EXPECT_TRUE(std::all_of(firstSector, reads.end(), [](const Read& r) { return r.length == 512; }));
    if (row.check) row.check(reads);
    EXPECT_EQ(plan.memory->unalignedReads, 0) << "a read into a buffer off a page is split by direct devices";
  }
}

// On a 40 MiB source the skip doubles from 64 KiB while reads keep failing,
// so leaving a 6 MiB bad band costs a handful of reads, not one per block;
// the pass back over what was skipped leaves each skipped area at its first
// error.
TEST(DiskImaging, TheSkipGrowsWhileErrorsRepeat) {
  TempDir dir;
  const std::string src = copyFixture(dir, "tools-search.img");
  ImagingJob job = toFile(catalogued(src), dir.file("copy.img"));
  job.blockSize = 65536;
  job.scrape = false;
  std::vector<uint64_t> failed[3];  // per copy pass
  char phase = '?';
  uint32_t pass = 1;
  job.onPass = [&](const RescueSnapshot& s) { phase = s.phase, pass = s.pass; };
  test::FaultPlan plan;
  plan.badSectors = sectorSpan(20480, 12288);  // bytes [10 MiB, 16 MiB)
  plan.onReadRange = [&](uint64_t offset, size_t length) {
    if (phase == '?' && offset < (16u << 20) && offset + length > (10u << 20)) failed[pass - 1].push_back(offset);
  };
  test::ScopedFaultInjection faults(src, plan);
  ImagingRun run(job);
  const std::vector<uint64_t>& first = failed[0];
  ASSERT_GE(first.size(), 4u);
  EXPECT_LE(first.size(), 20u) << "the first pass left the band in few reads";
  for (size_t i = 2; i < std::min<size_t>(first.size(), 5); ++i)
    EXPECT_GT(first[i] - first[i - 1], first[i - 1] - first[i - 2]) << "the skip grows at read " << i;
  EXPECT_LE(failed[1].size(), first.size()) << "one failed read per skipped area going back";
  EXPECT_EQ(run.outcome.unreadableSectors, 2u) << "trimming finds the band's two edges";
}

// A run stopped anywhere (each pass, mid-block or mid-area) and resumed from
// its image and map ends byte for byte like a run never stopped, and the
// resumed run never reads what the map calls finished.
TEST(DiskImaging, ResumeAfterAStopInAnyPhaseEndsLikeAnUninterruptedRun) {
  constexpr size_t kSize = 4 << 20;
  auto planFor = [](test::FaultPlan& plan) {
    plan.badSectors = sectorSpan(2000, 700);
    plan.badSectors.insert(6000);
    plan.slowSectors = sectorSpan(7000, 64);
    plan.slow = std::chrono::milliseconds(60);
    plan.flakySectors = {{5000, 3}};
  };
  auto jobFor = [](const TempDir& dir, const std::string& src) {
    ImagingJob job = toFile(catalogued(src), dir.file("copy.img"));
    job.mapfile = dir.file("copy.map");
    job.blockSize = 65536;
    job.retryPasses = 2;
    job.waits.slowBlock = std::chrono::milliseconds(30);
    return job;
  };
  TempDir reference;
  const std::string refSource = reference.file("source.img");
  patternSource(refSource, kSize);
  {
    test::FaultPlan plan;
    planFor(plan);
    test::ScopedFaultInjection faults(refSource, plan);
    ASSERT_EQ(ImagingRun(jobFor(reference, refSource)).outcome.status, ImagingStatus::Completed);
  }
  const std::string whole = readFile(reference.file("copy.img"));
  const std::vector<RescueArea> wholeMap = savedAreas(reference.file("copy.map"));

  const struct {
    char phase;
    uint32_t pass;
    int nthRead;
  } stops[] = {{'?', 1, 3}, {'?', 1, 40}, {'?', 2, 2}, {'/', 1, 300}, {'*', 1, 1},
               {'*', 1, 130}, {'/', 1, 5}, {'-', 1, 1}, {'-', 2, 1}};
  for (const auto& stop : stops) {
    SCOPED_TRACE(std::string("stopped in ") + stop.phase + " pass " + std::to_string(stop.pass) + " at read " +
                 std::to_string(stop.nthRead));
    TempDir dir;
    const std::string src = dir.file("source.img");
    patternSource(src, kSize);
    test::FaultPlan plan;
    planFor(plan);
    ProgressBlock progress;
    RecordingMessageSink messages;
    char phase = '?';
    uint32_t pass = 1;
    int readsInPhase = 0;
    std::vector<std::pair<uint64_t, size_t>> reads;
    ImagingJob job = jobFor(dir, src);
    job.onPass = [&](const RescueSnapshot& s) { phase = s.phase, pass = s.pass, readsInPhase = 0; };
    plan.onReadRange = [&](uint64_t offset, size_t length) {
      reads.push_back({offset, length});
      if (!job.resume && phase == stop.phase && pass == stop.pass && ++readsInPhase == stop.nthRead) progress.cancel();
    };
    test::ScopedFaultInjection faults(src, plan);
    ImagingOutcome first = imageDisk(job, progress, messages);
    ASSERT_EQ(first.status, ImagingStatus::Stopped);
    EXPECT_EQ(progress.position(), 0u) << "the bar goes back to 0";
    ASSERT_TRUE(first.mapfileSaved);
    std::string error;
    const RescueMap atStop = *RescueMap::load(job.mapfile, error);
    progress.clearCancel();
    reads.clear();
    job.resume = true;
    ImagingOutcome second = imageDisk(job, progress, messages);
    EXPECT_EQ(second.status, ImagingStatus::Completed);
    EXPECT_TRUE(sameBytes(readFile(job.targetFile), whole));
    EXPECT_EQ(savedAreas(job.mapfile), wholeMap);
    for (const auto& [offset, length] : reads)
      for (const RescueArea& a : atStop.areasWithin(*ByteRange::of(offset, length)))
        EXPECT_NE(a.state, RescueState::Finished) << "read again at " << offset;
  }
}

// Going on needs a map that reads and an image as long as what it says was copied.
TEST(DiskImaging, ResumeRefusesAMapItCannotTrust) {
  TempDir dir;
  const std::string src = dir.file("source.img");
  patternSource(src, 1 << 20);
  ImagingJob job = toFile(catalogued(src), dir.file("copy.img"));
  job.mapfile = dir.file("copy.map");
  job.resume = true;
  const struct {
    const char* map;
    const char* image;  // nullptr: no image file
    const char* said;
  } cases[] = {
      {nullptr, "", "映射文件无法使用：cannot open"},
      {"0 ? 1\n0 4096 +\n8192 512 +\n", "", "映射文件无法使用：line 3 of the mapfile: a gap"},
      {"0 ? 1\n0 4096 +\n", nullptr, "要继续的镜像文件"},
      {"0 ? 1\n0 4096 +\n4096 1044480 ?\n", "short", "镜像文件比映射文件记载的已复制部分短"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(job.mapfile);
    std::filesystem::remove(job.targetFile);
    if (c.map) test::writeFile(job.mapfile, c.map);
    if (c.image) test::writeFile(job.targetFile, c.image);
    ImagingRun run(job);
    EXPECT_EQ(run.outcome.status, ImagingStatus::Refused) << c.said;
    ASSERT_FALSE(run.messages.messages.empty());
    EXPECT_NE(run.messages.messages.back().text.find(c.said), std::string::npos) << run.messages.messages.back().text;
    EXPECT_EQ(readFile(job.targetFile), c.image ? c.image : "") << "the image is left alone";
  }
}

TEST(DiskImaging, PartitionTailIsCopiedAndStartSectorShortensTheWindow) {
  TempDir dir;
  std::string src = copyFixture(dir, "tools-search.img");
  DiskRecord disk = catalogued(src);
  std::string source = readFile(src);
  PartitionRecord p;
  p.startSector = 2048;
  p.sizeSectors = 10000;  // 4 blocks and a tail of 925,696 bytes
  ImagingRun run(toFile(disk, dir.file("p.img"), &p));
  EXPECT_EQ(run.outcome.status, ImagingStatus::Completed);
  EXPECT_EQ(std::pair(run.progress.upper(), run.progress.position()), std::pair(uint64_t{5}, uint64_t{5}))
      << "the short last block counts, and a whole copy reads 100%";
  EXPECT_TRUE(sameBytes(readFile(dir.file("p.img")), source.substr(2048 * 512, 5120000)));

  // A start sector moves the window and ends it at the source's end.
  ImagingJob shifted = toFile(disk, dir.file("s.img"), &p);
  shifted.sourceStartSector = 100;
  ImagingRun second(shifted);
  EXPECT_TRUE(second.rows.empty() && imagingSectors(shifted) == 9900) << "nothing read past the partition";
  EXPECT_TRUE(sameBytes(readFile(dir.file("s.img")), source.substr(2148 * 512, 9900 * 512)));
  shifted.mapfile = "m.map";
  EXPECT_EQ(ddrescueContinuation(shifted, second.outcome), "") << "a whole copy leaves nothing to go on with";
  second.outcome.mapfileSaved = true;
  EXPECT_EQ(ddrescueContinuation(shifted, second.outcome), "") << "nor does a whole copy with its map";
  second.outcome.summary.counts.bad = 512;
  EXPECT_EQ(ddrescueContinuation(shifted, second.outcome),
            "ddrescue -i 1099776 -s 5068800 -o 0 '" + src + "' '" + dir.file("s.img") + "' 'm.map'");

  // A source whose size is not a whole number of sectors is copied to its last byte.
  const std::string odd = dir.file("odd.img"), tiny = dir.file("tiny.img");
  test::writeFile(odd, source.substr(0, 1048576 + 700));
  ImagingRun third(toFile(catalogued(odd), dir.file("o.img")));
  EXPECT_TRUE(sameBytes(readFile(dir.file("o.img")), source.substr(0, 1048576 + 700)));
  EXPECT_EQ(third.progress.position(), third.progress.upper());
  // A source smaller than one block still ends at 100%.
  test::writeFile(tiny, source.substr(0, 10240));
  ImagingRun small(toFile(catalogued(tiny), dir.file("small.img")));
  EXPECT_TRUE(small.progress.upper() > 0 && small.progress.position() == small.progress.upper());
  EXPECT_EQ(imagingSectors(toFile(catalogued(odd), "")), 2050u) << "a last part of a sector counts as one";

  // A disk whose size was not known is measured when opened, and a start at
  // its end is refused then instead of "copying" nothing.
  ImagingJob unsized = toFile(disk, dir.file("u.img"));
  unsized.source.diskSize = 0;
  unsized.sourceStartSector = 81920;
  ImagingRun fourth(unsized);
  EXPECT_TRUE(fourth.outcome.status == ImagingStatus::Refused && !fourth.said("镜像完毕"));
}

TEST(DiskImaging, DiskToDiskWritesOnlyInsideTheTargetAndAFailingWriteEndsIt) {
  TempDir dir;
  std::string src = copyFixture(dir, "tools-search.img"), tgt = blank(dir.file("target.img"), 20 << 20);
  DiskRecord source = catalogued(src), target = catalogued(tgt);
  PartitionRecord volume, small;
  volume.startSector = 2048;
  volume.sizeSectors = 16384;
  ImagingJob job = toDisk(endpointFor(source, &volume), endpointFor(target), 4096);
  EXPECT_EQ(ImagingRun(job).outcome.status, ImagingStatus::Completed);
  EXPECT_TRUE(sameBytes(readFile(tgt), std::string(4096 * 512, '\0') + readFile(src).substr(2048 * 512, 16384 * 512) +
                                           std::string((20 << 20) - (4096 + 16384) * 512, '\0')));
  ImagingOutcome stopped;
  stopped.status = ImagingStatus::Stopped;
  stopped.mapfileSaved = true;
  job.mapfile = "m.map";
  EXPECT_EQ(ddrescueContinuation(job, stopped),
            "ddrescue -f -i 1048576 -s 8388608 -o 2097152 '" + src + "' '" + tgt + "' 'm.map'");

  // A target partition too small for the copy is refused before a byte is written.
  small.startSector = 100;
  small.sizeSectors = 16383;
  blank(tgt, 20 << 20);
  ImagingRun refused(toDisk(job.source, endpointFor(target, &small)));
  EXPECT_TRUE(refused.outcome.status == ImagingStatus::Refused && refused.said("目标空间不足"));
  EXPECT_TRUE(sameBytes(readFile(tgt), std::string(20u << 20, '\0')));

  // The source itself is never the target file.
  EXPECT_EQ(ImagingRun(toFile(source, src)).outcome.status, ImagingStatus::Refused);
  EXPECT_EQ(test::readRange(src, 2048 * 512 + 3, 5), "EXFAT");

  // A failing target write ends the copy with its message.
  ImagingJob whole = toDisk(job.source, endpointFor(target));
  {
    test::FaultPlan plan;
    plan.badWriteSectors = {3000};
    test::ScopedFaultInjection faults(tgt, plan);
    ImagingRun run(whole);
    EXPECT_EQ(run.outcome.status, ImagingStatus::WriteFailed);
    EXPECT_TRUE(run.said("磁盘有坏道，请重新选择目标文件") && !run.said("镜像完毕"));
    EXPECT_EQ(run.outcome.bytesDone, 1048576u) << "the copy ended at the failing block";
  }
  whole.source.devicePath = dir.file("absent.img");
  ImagingRun missing(whole);
  EXPECT_TRUE(missing.outcome.status == ImagingStatus::SourceNotOpened && missing.said("打开失败"));
}

}  // namespace
}  // namespace dudorazu
