// The save engine on failing sources and targets, and on lengths past 4 GiB.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "core/recovery/save_engine.h"
#include "fake_volume.h"
#include "support/faulty_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::readFile;
using test::TempDir;

// A volume written to an image file, so that devices can be opened by path
// (and fault injection can wrap them).
struct ImageVolume {
  explicit ImageVolume(uint64_t bytes) {
    partition.clusterSectors = 8;
    partition.bytesPerSector = 512;
    partition.fatTable.assign(64, 0);
    path = dir.file("volume.img");
    std::ofstream(path, std::ios::binary).close();
    std::filesystem::resize_file(path, bytes);
  }
  void put(uint64_t at, const std::string& bytes) { test::writeAt(path, at, bytes); }
  ExfatFileRecord file(uint64_t length, uint32_t first, uint8_t flags = 3) {
    ExfatFileRecord r;
    r.name = "f.bin";
    r.state = kStateFile;
    r.allocationFlags = flags;
    r.dataLength = length;
    r.firstCluster = first;
    return r;
  }
  TempDir dir;
  std::string path;
  PartitionRecord partition;
};

struct SaveRun {
  SaveContext context;
  ProgressBlock progress;
  std::vector<SavedFile> files;
  std::unique_ptr<SectorDevice> device;
  SaveRun(const std::string& path, const PartitionRecord& p) {
    device = openDevice(path, OpenMode::Read);
    context.device = device.get();
    context.partition = &p;
    context.progress = &progress;
    context.onFile = [this](const SavedFile& f) { files.push_back(f); };
  }
};

std::string pattern(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + (i * 13) % 97);
  return s;
}

TEST(SaveFaults, ARunThatStaysUnreadableBecomesZerosAndTheFileIsDamaged) {
  const uint64_t tenMiB = 0xA00000;
  ImageVolume v(40ull << 20);
  std::string data = pattern(2 * tenMiB + 1000, 'a');
  v.put(v.partition.clusterPosition(2), data);
  uint64_t badSector = (v.partition.clusterPosition(2) + tenMiB + 70000) / 512;
  test::FaultPlan plan;
  plan.badSectors = {badSector};
  test::ScopedFaultInjection faults(v.path, plan);
  SaveRun run(v.path, v.partition);
  ExfatFileRecord r = v.file(data.size(), 2);
  TempDir out;
  EXPECT_TRUE(saveFileData(run.context, out.file("f.bin"), r)) << "a damaged file is still saved to its end";
  std::string saved = readFile(out.file("f.bin"));
  ASSERT_EQ(saved.size(), data.size());
  ASSERT_EQ(run.files.size(), 1u);
  EXPECT_TRUE(run.files[0].damaged);
  ASSERT_EQ(run.files[0].unreadable.size(), 1u);
  const DataRun& lost = run.files[0].unreadable[0];
  EXPECT_EQ(lost.length, kSalvageBytes) << "only the piece holding the bad sector is lost";
  EXPECT_LE(lost.fileOffset, tenMiB + 70000);
  EXPECT_GT(lost.fileOffset + lost.length, tenMiB + 70000);
  EXPECT_EQ(saved.substr(0, lost.fileOffset), data.substr(0, lost.fileOffset));
  EXPECT_EQ(saved.substr(lost.fileOffset, lost.length), std::string(lost.length, '\0'));
  EXPECT_EQ(saved.substr(lost.fileOffset + lost.length), data.substr(lost.fileOffset + lost.length));
  EXPECT_EQ(run.context.totals.damaged, 1u);
  EXPECT_EQ(run.context.totals.failed, 0u);
}

TEST(SaveFaults, TheDevicesOwnCopyGivesWhatReadingGivesHolesAndTheDeviceEndIncluded) {
  // Data, a 2 MiB hole, data, and a file that runs 100000 bytes past the end
  // of the image: copied by the device (no hash) and read here (hash).
  const uint64_t imageBytes = 6ull << 20;
  ImageVolume v(imageBytes);
  uint64_t start = v.partition.clusterPosition(2);
  std::string head = pattern(300000, 'h');
  std::string tail = pattern(imageBytes - start - (300000 + (2 << 20)), 't');
  v.put(start, head);
  v.put(start + head.size() + (2 << 20), tail);
  ExfatFileRecord r = v.file(imageBytes - start + 100000, 2);
  TempDir out;
  SavedFile copied, read;
  for (bool hash : {false, true}) {
    SaveRun run(v.path, v.partition);
    run.context.hashData = hash;
    EXPECT_TRUE(saveFileData(run.context, out.file(hash ? "read" : "copied"), r));
    ASSERT_EQ(run.files.size(), 1u);
    (hash ? read : copied) = run.files[0];
  }
  std::string expected = head + std::string(2 << 20, '\0') + tail + std::string(100000, '\0');
  EXPECT_EQ(readFile(out.file("copied")), expected);
  EXPECT_EQ(readFile(out.file("read")), expected);
  EXPECT_TRUE(copied.damaged) << "the bytes past the device end are missing, not a hole";
  ASSERT_EQ(copied.unreadable.size(), read.unreadable.size());
  EXPECT_EQ(copied.unreadable.at(0).fileOffset, read.unreadable.at(0).fileOffset);
  EXPECT_EQ(copied.unreadable.at(0).length, read.unreadable.at(0).length);
  EXPECT_EQ(copied.bytesWritten, read.bytesWritten);
  struct stat st {};
  ASSERT_EQ(::stat(out.file("copied").c_str(), &st), 0);
  EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, expected.size() - (1 << 20)) << "the hole stays a hole";
}

TEST(SaveFaults, AChainedClusterThatCannotBeReadKeepsItsPlaceAsZeros) {
  ImageVolume v(4ull << 20);
  const uint64_t cb = v.partition.clusterBytes();
  for (uint32_t c : {5u, 9u, 11u}) v.put(v.partition.clusterPosition(c), std::string(cb, static_cast<char>('A' + c)));
  v.partition.fatTable[5] = 9;
  v.partition.fatTable[9] = 11;
  v.partition.fatTable[11] = 0xFFFFFFFF;
  test::FaultPlan plan;
  plan.badSectors = {v.partition.clusterPosition(9) / 512};
  test::ScopedFaultInjection faults(v.path, plan);
  SaveRun run(v.path, v.partition);
  ExfatFileRecord r = v.file(3 * cb, 5, 1);
  TempDir out;
  EXPECT_TRUE(saveFileData(run.context, out.file("f.bin"), r));
  EXPECT_EQ(readFile(out.file("f.bin")), std::string(cb, 'F') + std::string(cb, '\0') + std::string(cb, 'L'))
      << "the third cluster stays at its offset";
  EXPECT_TRUE(run.files.at(0).damaged);
}

TEST(SaveFaults, AWriteThatFailsCountsAsAFailedFile) {
  ImageVolume v(8ull << 20);
  v.put(v.partition.clusterPosition(2), pattern(3 << 20, 'q'));
  SaveRun run(v.path, v.partition);
  ExfatFileRecord big = v.file(3 << 20, 2);
  ExfatFileRecord small = v.file(1000, 2);
  small.name = "small";
  TempDir out;
  // The target "fills up" at 1 MiB per file.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = 1 << 20;
  setrlimit(RLIMIT_FSIZE, &limit);
  bool bigSaved = saveFileData(run.context, out.file("big"), big);
  bool smallSaved = saveFileData(run.context, out.file("small"), small);
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_FALSE(bigSaved);
  EXPECT_TRUE(smallSaved) << "the next file is still tried";
  ASSERT_EQ(run.files.size(), 2u);
  EXPECT_TRUE(run.files[0].failed);
  EXPECT_FALSE(run.files[1].failed);
  EXPECT_EQ(run.context.totals.failed, 1u);
  EXPECT_EQ(run.context.totals.files, 1u);
  // What the full target kept stays, under a name that says it is partial,
  // and the count is of the bytes it holds.
  EXPECT_TRUE(run.files[0].partial);
  EXPECT_EQ(run.files[0].outputPath, out.file("big.partial"));
  EXPECT_FALSE(std::filesystem::exists(out.file("big")));
  EXPECT_EQ(run.files[0].bytesWritten, 1u << 20);
  EXPECT_EQ(std::filesystem::file_size(out.file("big.partial")), 1u << 20);
}

TEST(SaveFaults, AFileOfFiveGibibytesIsSavedWhole) {
  const uint64_t length = (5ull << 30) + 123;
  ImageVolume v(length + (1 << 20));
  uint64_t start = v.partition.clusterPosition(2);
  v.put(start, "head");
  v.put(start + (4ull << 30) - 2, "across4G");
  v.put(start + length - 4, "tail");
  v.put(start + length, "after");
  SaveRun run(v.path, v.partition);
  ExfatFileRecord r = v.file(length, 2);
  TempDir out;
  ASSERT_TRUE(saveFileData(run.context, out.file("big"), r));
  EXPECT_EQ(std::filesystem::file_size(out.file("big")), length);
  auto at = [&](uint64_t off, size_t n) { return test::readRange(out.file("big"), off, n); };
  EXPECT_EQ(at(0, 4), "head");
  EXPECT_EQ(at((4ull << 30) - 2, 8), "across4G");
  EXPECT_EQ(at(length - 4, 4), "tail");
  EXPECT_EQ(run.progress.position(), 100u);
  EXPECT_EQ(run.progress.text(), std::to_string(length) + " BYTE被保存");
}

}  // namespace
}  // namespace dudorazu
