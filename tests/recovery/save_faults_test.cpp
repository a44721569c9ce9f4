// The save engine on failing sources and targets, and on lengths past 4 GiB.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/recovery/file_times.h"
#include "core/recovery/save_engine.h"
#include "fake_volume.h"
#include "platform/devices.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

// A volume in a (sparse) image file, saved from through the platform's device.
struct ImageVolume {
  explicit ImageVolume(uint64_t bytes) {
    partition.clusterSectors = 8;
    partition.bytesPerSector = 512;
    volume.fatTable.assign(64, 0);
    std::ofstream(path, std::ios::binary).close();
    std::filesystem::resize_file(path, bytes);
  }
  void put(uint64_t at, const std::string& bytes) { test::writeAt(path, at, bytes); }
  ExfatFileRecord file(uint64_t length, const std::string& name = "f.bin") {
    ExfatFileRecord r;
    r.name = name;
    r.state = kStateFile;
    r.allocationFlags = 3;
    r.dataLength = length;
    r.firstCluster = 2;
    return r;
  }
  std::unique_ptr<SectorDevice> open() const { return platform::openSectorDevice(path, OpenMode::Read); }
  TempDir dir;
  std::string path = dir.file("volume.img");
  PartitionRecord partition;
  LoadedVolume volume{partition};
};

std::string pattern(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + (i * 13) % 97);
  return s;
}

TEST(SaveFaults, TheDevicesOwnCopyGivesWhatReadingGivesHolesAndTheDeviceEndIncluded) {
  // Data, a 2 MiB hole, data, and a file that runs 100000 bytes past the end
  // of the image: copied by the device (no hash) and read here (hash).
  const uint64_t imageBytes = 6ull << 20;
  ImageVolume v(imageBytes);
  uint64_t start = v.partition.clusterPosition(2);
  std::string head = pattern(300000, 'h'), tail = pattern(imageBytes - start - (300000 + (2 << 20)), 't');
  v.put(start, head);
  v.put(start + head.size() + (2 << 20), tail);
  ExfatFileRecord r = v.file(imageBytes - start + 100000);
  TempDir out;
  SavedFile copied, read;
  for (bool hash : {false, true}) {
    auto device = v.open();
    test::Saver s(device.get(), v.volume);
    s.context.hashData = hash;
    EXPECT_TRUE(saveFileData(s.context, out.file(hash ? "read" : "copied"), r));
    ASSERT_EQ(s.files.size(), 1u);
    (hash ? read : copied) = s.files[0];
  }
  std::string expected = head + std::string(2 << 20, '\0') + tail + std::string(100000, '\0');
  for (const char* name : {"copied", "read"}) EXPECT_TRUE(readFile(out.file(name)) == expected) << name;
  EXPECT_TRUE(copied.damaged) << "the bytes past the device end are missing, not a hole";
  ASSERT_EQ(copied.unreadable.size(), read.unreadable.size());
  EXPECT_EQ(std::tuple(copied.unreadable.at(0).fileOffset, copied.unreadable.at(0).length, copied.bytesWritten),
            std::tuple(read.unreadable.at(0).fileOffset, read.unreadable.at(0).length, read.bytesWritten));
  struct stat st {};
  ASSERT_EQ(::stat(out.file("copied").c_str(), &st), 0);
  EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, expected.size() - (1 << 20)) << "the hole stays a hole";
  // A file that ends inside the hole still gets its whole length.
  ExfatFileRecord inHole = v.file(head.size() + (1 << 20));
  auto device = v.open();
  test::Saver s(device.get(), v.volume);
  EXPECT_TRUE(saveFileData(s.context, out.file("in-hole"), inHole));
  EXPECT_EQ(readFile(out.file("in-hole")), expected.substr(0, inHole.dataLength));
}

TEST(SaveFaults, AWriteThatFailsCountsAsAFailedFile) {
  ImageVolume v(8ull << 20);
  v.put(v.partition.clusterPosition(2), pattern(3 << 20, 'q'));
  auto device = v.open();
  test::Saver s(device.get(), v.volume);
  SaveContext& context = s.context;
  ExfatFileRecord big = v.file(3 << 20, "big"), small = v.file(1000, "small");
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
  bool bigSaved = saveFileData(context, out.file("big"), big);
  bool smallSaved = saveFileData(context, out.file("small"), small);
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_TRUE(!bigSaved && smallSaved) << "the next file is still tried";
  ASSERT_EQ(s.files.size(), 2u);
  EXPECT_EQ(std::tuple(s.files[0].failed, s.files[1].failed, context.totals.failed, context.totals.files),
            std::tuple(true, false, uint64_t{1}, uint64_t{1}));
  // What the full target kept stays, under a name that says it is partial,
  // and the count is of the bytes it holds.
  EXPECT_TRUE(s.files[0].partial && !std::filesystem::exists(out.file("big")));
  EXPECT_EQ(s.files[0].outputPath, out.file("big.partial"));
  EXPECT_EQ(std::pair(s.files[0].bytesWritten, std::filesystem::file_size(out.file("big.partial"))),
            std::pair(uint64_t{1} << 20, uintmax_t{1} << 20));
}

TEST(SaveFaults, AFileOfFiveGibibytesIsSavedWhole) {
  const uint64_t length = (5ull << 30) + 123;
  ImageVolume v(length + (1 << 20));
  uint64_t start = v.partition.clusterPosition(2);
  v.put(start, "head");
  v.put(start + (4ull << 30) - 2, "across4G");
  v.put(start + length - 4, "tail");
  v.put(start + length, "after");
  TempDir out;
  auto device = v.open();
  test::Saver s(device.get(), v.volume);
  ASSERT_TRUE(saveFileData(s.context, out.file("big"), v.file(length)));
  EXPECT_EQ(std::filesystem::file_size(out.file("big")), length);
  auto at = [&](uint64_t off, size_t n) { return test::readRange(out.file("big"), off, n); };
  EXPECT_EQ(at(0, 4) + at((4ull << 30) - 2, 8) + at(length - 4, 4), "headacross4Gtail");
  EXPECT_EQ(std::tuple(s.progress.position(), s.progress.text()), std::tuple(100u, std::to_string(length) + " BYTE被保存"));
}

// Folders nested far past the system's path limit are each made once below
// their parent, with and without a filter; the deepest file is whole and
// the dates of the deepest and the top folder are kept.
TEST(SaveFaults, TenThousandNestedFoldersAreMadeBelowEachOther) {
  constexpr size_t kLevels = 10'000;
  FakeVolume v(1, 16);
  v.stamp(5);
  const uint16_t date = (30 << 9) | (6 << 5) | 15, time = (8 << 11) | (30 << 5);
  ExfatFileRecord* at = &v.root();
  std::vector<std::string> names;
  for (size_t level = 1; level <= kLevels; ++level) {
    names.push_back("d" + std::to_string(level));
    at = &v.add(*at, names.back(), kStateFolder, 3, 0, 4);
    at->modifyDate = date - (level == 1 || level == kLevels ? 0 : 1);
    at->modifyTime = time;
  }
  v.add(*at, "deepest.txt", kStateDeletedFile, 3, 300, 5);
  const ExfatFileRecord& top = v.root().children.front();
  const std::time_t kept = *recordLocalTime(date, time);
  // In memory where the system has it: removing 10,000 levels from a disk
  // takes longer than saving them.
  const char* before = std::getenv("TMPDIR");
  const std::string restore = before ? before : "";
  for (bool filtered : {false, true}) {
    if (std::filesystem::is_directory("/dev/shm")) ::setenv("TMPDIR", "/dev/shm", 1);
    TempDir out;
    if (before) ::setenv("TMPDIR", restore.c_str(), 1);
    else ::unsetenv("TMPDIR");
    test::Saver s(v);
    size_t folders = 0;
    s.context.onFolder = [&](const std::string&) { ++folders; };
    if (filtered) s.context.fileFilter = [](const ExfatFileRecord& r) { return r.name == "deepest.txt"; };
    s.save(top, out.path());
    ASSERT_EQ(s.files.size(), 1u) << filtered;
    EXPECT_TRUE(s.files[0].created && !s.files[0].failed) << filtered;
    EXPECT_TRUE(s.files[0].outputPath.ends_with("/d" + std::to_string(kLevels) + "/deepest.txt")) << filtered;
    EXPECT_EQ(folders, filtered ? 0 : kLevels) << filtered;
    // Down through the folders as the save went, by descriptor.
    int fd = ::open(out.path().c_str(), O_RDONLY | O_DIRECTORY);
    size_t depth = 0;
    struct stat st {};
    for (const std::string& name : names) {
      int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
      if (next < 0) break;
      ::fstat(next, &st);
      EXPECT_TRUE(depth != 0 || st.st_mtime == kept) << filtered << ": the top folder's date";
      ::close(fd);
      fd = next;
      ++depth;
    }
    EXPECT_EQ(depth, kLevels) << filtered;
    EXPECT_TRUE(depth != kLevels || st.st_mtime == kept) << filtered << ": the deepest folder's date";
    std::string bytes(400, '\0');
    int file = ::openat(fd, "deepest.txt", O_RDONLY);
    bytes.resize(file < 0 ? 0 : static_cast<size_t>(std::max<ssize_t>(0, ::read(file, bytes.data(), bytes.size()))));
    EXPECT_EQ(bytes, v.cluster(5).substr(0, 300)) << filtered;
    if (file >= 0) ::close(file);
    ::close(fd);
  }
}

}  // namespace
}  // namespace dudorazu
