#include "core/tools/disk_imaging.h"
#include "core/tools/imaging_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>

#include "support/catalogued.h"
#include "support/faulty_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::catalogued;
using test::copyFixture;
using test::readFile;
using test::TempDir;

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
  EXPECT_TRUE(part.partitionFound && part.diskSize == 0);
  EXPECT_EQ(part.bytes, ByteRange::of(4196352ull * 512, 16384ull * 512));
  EXPECT_EQ(resolveEndpoint(catalogue, "tools-bigtable.img,Partition0").bytes.start(), 2048ull * 512);
  ImagingEndpoint missing = resolveEndpoint(catalogue, "tools-bigtable.img,nothing");
  EXPECT_FALSE(missing.partitionFound);
  EXPECT_EQ(missing.devicePath, disk.devicePath) << "only the device path is known";
  EXPECT_FALSE(resolveEndpoint(catalogue, "other.img").diskFound);
  EXPECT_FALSE(resolveEndpoint(catalogue, ",tools-bigtable.img").diskFound) << "a leading comma does not split";
  EXPECT_EQ(endpointSizeSectors(catalogue, "tools-bigtable.img,Partition0"), 16384u);
  EXPECT_EQ(endpointSizeSectors(catalogue, "tools-bigtable.img,nothing"), 0u);

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
    EXPECT_EQ(split.disk, c.disk) << c.text;
    EXPECT_EQ(split.hasPartition, c.partition != nullptr) << c.text;
    EXPECT_EQ(split.partition, c.partition ? c.partition : "") << c.text;
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

  ImagingForm form;
  EXPECT_EQ(imagingFormProblem(form), "请选择源磁盘信息");
  form.source = "tools-search.img";
  EXPECT_EQ(imagingFormProblem(form), "请填写源磁盘镜像大小");
  form.sectorCount = "81920";
  EXPECT_EQ(imagingFormProblem(form), "请填写源磁盘镜像起始扇区");
  form.sourceStart = "-1";
  EXPECT_EQ(imagingFormProblem(form), "请填写源磁盘镜像起始扇区") << "no start in front of the source";
  form.sourceStart = "0";
  EXPECT_EQ(imagingFormProblem(form), "请选择目标磁盘信息");
  form.target = "other.img";
  EXPECT_EQ(imagingFormProblem(form), "请填写目标磁盘镜像起始扇区");
  form.targetStart = "0";
  EXPECT_EQ(imagingFormProblem(form), "");
  form.toDisk = false;
  EXPECT_EQ(imagingFormProblem(form), "请选择目标文件路径");
  form.filePath = "/tmp/x.img";
  form.sourceStart = "100";
  RecordingMessageSink messages;
  std::optional<ImagingJob> job = imagingJobFromForm(catalogue, form, messages);
  ASSERT_TRUE(job);
  EXPECT_TRUE(job->source.diskFound);
  EXPECT_EQ(job->sourceStartSector, 100u);
  EXPECT_EQ(imagingLength(*job), (81920u - 100) * 512);
  form.filePath.clear();
  EXPECT_FALSE(imagingJobFromForm(catalogue, form, messages));
  EXPECT_EQ(messages.messages.back().caption, "error");
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
    EXPECT_EQ(run.outcome.status, ImagingStatus::Completed);
    EXPECT_EQ(run.rows, (std::vector<std::pair<uint64_t, uint64_t>>{{1, bad}}));
    EXPECT_TRUE(run.said("镜像完毕"));
    EXPECT_EQ(run.progress.position(), 40u);
    EXPECT_EQ(run.progress.text(), "81920") << "sectors done";
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

TEST(DiskImaging, StopKeepsWhatWasWrittenAndTheMapHandsTheRestToDdrescue) {
  TempDir dir;
  std::string src = copyFixture(dir, "tools-search.img"), copyPath = dir.file("copy.img");
  ImagingJob job = toFile(catalogued(src), copyPath);
  job.mapfile = dir.file("copy.map");
  ImagingOutcome outcome;
  {
    test::FaultPlan plan;
    plan.badSectors = {10250};  // in block 5
    test::ScopedFaultInjection faults(src, plan);
    ProgressBlock progress;
    RecordingMessageSink messages;
    outcome = imageDisk(job, progress, messages, [&](uint64_t, uint64_t) { progress.cancel(); });
    EXPECT_EQ(outcome.status, ImagingStatus::Stopped);
    for (const auto& m : messages.messages) EXPECT_NE(m.text, "镜像完毕");
    EXPECT_EQ(progress.position(), 0u) << "the bar goes back to 0";
    EXPECT_EQ(outcome.bytesDone, 10251ull * 512) << "blocks 0-4 and block 5 up to the bad sector";
  }
  std::string source = readFile(src);
  EXPECT_TRUE(sameBytes(readFile(copyPath), source.substr(0, 10250 * 512) + std::string(512, '\x20')));

  DUDORAZU_SKIP_UNLESS(test::haveTool("ddrescue"), "ddrescue is not installed");
  // ddrescue takes over with the line it is handed: it copies what is not
  // "+" yet and, with -r1, reads the bad sector again (readable now).
  std::string line = ddrescueContinuation(job, outcome);
  ASSERT_EQ(line.rfind("ddrescue -i 0 -s 41943040 -o 0 '", 0), 0u) << line;
  ASSERT_EQ(test::runCommand(line.insert(8, " -q -r1") + " 2>&1"), 0) << line;
  EXPECT_TRUE(sameBytes(readFile(copyPath), source));
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
  EXPECT_EQ(run.progress.upper(), 5u) << "the short last block counts";
  EXPECT_EQ(run.progress.position(), 5u) << "a whole copy reads 100%";
  EXPECT_TRUE(sameBytes(readFile(dir.file("p.img")), source.substr(2048 * 512, 5120000)));

  // A start sector moves the window and ends it at the source's end.
  ImagingJob shifted = toFile(disk, dir.file("s.img"), &p);
  shifted.sourceStartSector = 100;
  ImagingRun second(shifted);
  EXPECT_TRUE(second.rows.empty()) << "nothing read past the partition";
  EXPECT_TRUE(sameBytes(readFile(dir.file("s.img")), source.substr(2148 * 512, 9900 * 512)));
  EXPECT_EQ(imagingSectors(shifted), 9900u);
  shifted.mapfile = "m.map";
  EXPECT_EQ(ddrescueContinuation(shifted, second.outcome), "") << "a whole copy leaves nothing to go on with";
  second.outcome.mapfileSaved = true;
  EXPECT_EQ(ddrescueContinuation(shifted, second.outcome), "") << "nor does a whole copy with its map";
  second.outcome.badSectors = {2200};
  EXPECT_EQ(ddrescueContinuation(shifted, second.outcome),
            "ddrescue -i 1099776 -s 5068800 -o 0 '" + src + "' '" + dir.file("s.img") + "' 'm.map'");

  // A source whose size is not a whole number of sectors is copied to its last byte.
  std::string odd = dir.file("odd.img");
  test::writeFile(odd, source.substr(0, 1048576 + 700));
  ImagingRun third(toFile(catalogued(odd), dir.file("o.img")));
  EXPECT_TRUE(sameBytes(readFile(dir.file("o.img")), source.substr(0, 1048576 + 700)));
  EXPECT_EQ(third.progress.position(), third.progress.upper());
  // A source smaller than one block still ends at 100%.
  const std::string tiny = dir.file("tiny.img");
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
  EXPECT_EQ(fourth.outcome.status, ImagingStatus::Refused);
  EXPECT_FALSE(fourth.said("镜像完毕"));
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
  EXPECT_EQ(refused.outcome.status, ImagingStatus::Refused);
  EXPECT_TRUE(refused.said("目标空间不足"));
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
    EXPECT_TRUE(run.said("磁盘有坏道，请重新选择目标文件"));
    EXPECT_FALSE(run.said("镜像完毕"));
    EXPECT_EQ(run.outcome.bytesDone, 1048576u) << "the copy ended at the failing block";
  }
  whole.source.devicePath = dir.file("absent.img");
  ImagingRun missing(whole);
  EXPECT_EQ(missing.outcome.status, ImagingStatus::SourceNotOpened);
  EXPECT_TRUE(missing.said("打开失败"));
}

}  // namespace
}  // namespace dudorazu
