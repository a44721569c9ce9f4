// The save engine on real exFAT volumes made by mkfs.exfat and the FUSE
// driver (tests/fixtures/make-recovery.sh), checked against icat.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "core/device/disk_catalogue.h"
#include "core/exfat/tree_loader.h"
#include "core/recovery/save_scheduler.h"
#include "core/recovery/sha256.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::readFile;

struct LoadedVolume {
  explicit LoadedVolume(const std::string& image) {
    path = test::fixtureImage(image);
    EXPECT_TRUE(openImageAsDisk(catalogue, path));
    disk = &catalogue.disks.back();
    EXPECT_FALSE(disk->partitions.empty());
    partition = &disk->partitions.front();
    ProgressBlock progress;
    EXPECT_TRUE(loadVolumeTree(*disk, *partition, progress));
  }
  // Saves the root folder the way the batch save of the checked root row does.
  SaveTotals saveRoot(const std::string& dest, std::vector<SavedFile>* files = nullptr) {
    SaveJob job;
    job.device = openDevice(disk->devicePath, OpenMode::Read);
    job.destination = dest;
    job.record = &partition->rootRecord;
    job.partition = partition;
    job.skip = 0;
    job.progress = &progress;
    job.batchStep = 1;
    if (files) job.options.onFile = [files](const SavedFile& f) { files->push_back(f); };
    std::vector<SaveJob> jobs;
    jobs.push_back(std::move(job));
    SaveScheduler scheduler;
    EXPECT_TRUE(scheduler.startBatch(std::move(jobs), progress));
    scheduler.wait();
    return scheduler.saveQueue().front().totals;
  }
  std::string path;
  DiskCatalogue catalogue;
  DiskRecord* disk = nullptr;
  PartitionRecord* partition = nullptr;
  ProgressBlock progress;
};

std::string sha256Of(const std::string& bytes) { return sha256Hex(bytes.data(), bytes.size()); }

// Every live file of recovery-main.img as icat read it.
void expectIcatHashes(const std::string& dest, const SaveTotals& totals) {
  std::istringstream oracle(test::fixtureText("recovery-main.sha256.txt"));
  std::string sum, path;
  int checked = 0;
  while (oracle >> sum >> path) {
    std::string saved = dest + "/根目录" + path;
    EXPECT_TRUE(std::filesystem::exists(test::fsPath(saved))) << path << ": empty files are made too";
    EXPECT_EQ(sha256Of(readFile(saved)), sum) << path;
    ++checked;
  }
  EXPECT_GT(checked, 200);
  EXPECT_EQ(totals.failed, 0u);
  EXPECT_EQ(totals.damaged, 0u);
  EXPECT_TRUE(std::filesystem::is_directory(test::fsPath(dest + "/根目录/空的"))) << "an empty folder is made";
}

TEST(RecoveryVolume, EveryLiveFileComesBackAsIcatReadsIt) {
  LoadedVolume v("recovery-main.img");
  test::TempDir out;
  expectIcatHashes(out.path(), v.saveRoot(out.path()));
}

TEST(RecoveryVolume, ADriveGivesTheSameFilesAsItsImage) {
  // A block device takes another way into the files than an image does.
  if (!test::canUseLoopDevices()) GTEST_SKIP() << "needs root and losetup for a loop device";
  LoadedVolume v("recovery-main.img");
  std::string loop;
  ASSERT_EQ(test::runCommand("losetup -f --show -r '" + v.path + "'", &loop), 0);
  loop = loop.substr(0, loop.find('\n'));
  struct Detach {
    std::string device;
    ~Detach() { test::runCommand("losetup -d " + device); }
  } detach{loop};
  v.disk->devicePath = loop;
  test::TempDir out;
  expectIcatHashes(out.path(), v.saveRoot(out.path()));
}

TEST(RecoveryVolume, DeletedFilesComeBackWholeTheFragmentedOneThroughTheFreeClusters) {
  LoadedVolume v("recovery-main.img");
  test::TempDir out;
  std::vector<SavedFile> files;
  v.saveRoot(out.path(), &files);
  std::istringstream written(test::fixtureText("recovery-main.deleted.txt"));
  std::string sum, path;
  uint64_t length = 0;
  std::map<std::string, std::pair<std::string, uint64_t>> before;
  while (written >> sum >> length >> path) before[path] = {sum, length};
  ASSERT_EQ(before.size(), 3u);
  for (const auto& [path, written] : before)
    EXPECT_EQ(sha256Of(readFile(out.path() + "/根目录" + path)), written.first) << path;
  // The driver cleared the fragmented file's FAT entries when deleting it;
  // its other clusters are the free ones after the first, in order.
  bool reportedGuessed = false;
  for (const SavedFile& f : files)
    if (f.record->name == "frag-deleted.dat") reportedGuessed = f.guessed && !f.shortened && !f.failed;
  EXPECT_TRUE(reportedGuessed);
}

TEST(RecoveryVolume, HostileNamesAreRepairedInsideTheDestination) {
  LoadedVolume v("recovery-hostile.img");
  test::TempDir outer;
  std::string dest = outer.file("dest");
  v.saveRoot(dest);
  std::vector<std::string> found;
  for (auto& e : std::filesystem::recursive_directory_iterator(test::fsPath(outer.path())))
    found.push_back(test::utf8Of(std::filesystem::relative(e.path(), test::fsPath(outer.path()))));
  std::sort(found.begin(), found.end());
  const std::string root = "dest/根目录";
  std::vector<std::string> expected = {"dest",
                                       root,
                                       root + "/$",
                                       root + "/$$",
                                       root + "/$$/escape.txt",
                                       root + "/$/dot.txt",
                                       root + "/13",
                                       root + "/a$b.txt",
                                       root + "/c$d.txt",
                                       root + "/e$f.txt"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected);
  EXPECT_EQ(readFile(dest + "/根目录/$$/escape.txt"), "inside dot-dot\n");
  EXPECT_EQ(readFile(dest + "/根目录/13"), "empty\n") << "the empty name becomes the first cluster";
}

}  // namespace
}  // namespace dudorazu
