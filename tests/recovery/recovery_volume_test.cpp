// The batch save on a real exFAT volume made by mkfs.exfat and the FUSE
// driver (tests/fixtures/make-recovery.sh), read through a block device and
// checked against icat. Saves from the image itself, deleted files and
// hostile names included, are checked end to end in cli/recover_cli_test.cpp.
#include <gtest/gtest.h>

#include "core/device/disk_catalogue.h"
#include "core/exfat/tree_loader.h"
#include "core/recovery/save_scheduler.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

struct LoadedVolume {
  explicit LoadedVolume(const std::string& image) {
    path = test::fixtureImage(image);
    test::require(openImageAsDisk(catalogue, path) && !catalogue.disks.back().partitions.empty(),
                  "cannot open " + path);
    disk = &catalogue.disks.back();
    partition = &disk->partitions.front();
    ProgressBlock progress;
    test::require(loadVolumeTree(*disk, *partition, progress), "cannot load the tree of " + path);
  }
  // Saves the root folder the way the batch save of the checked root row does.
  SaveTotals saveRoot(const std::string& dest) {
    SaveJob job;
    job.device = openDevice(disk->devicePath, OpenMode::Read);
    job.destination = dest;
    job.record = &partition->rootRecord;
    job.partition = partition;
    job.skip = 0;
    job.progress = &progress;
    job.batchStep = 1;
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

TEST(RecoveryVolume, ADriveGivesTheFilesAsIcatReadsThem) {
  // A block device takes another way into the files than an image does.
  if (!test::canUseLoopDevices()) GTEST_SKIP() << "needs root and losetup for a loop device";
  LoadedVolume v("recovery-main.img");
  test::LoopDevice loop(v.path, "-r");
  ASSERT_FALSE(loop.path().empty()) << "losetup failed";
  v.disk->devicePath = loop.path();
  test::TempDir out;
  SaveTotals totals = v.saveRoot(out.path());
  test::expectSavedAsListed("recovery-main.sha256.txt", out.path() + "/根目录");
  EXPECT_EQ(totals.failed, 0u);
  EXPECT_EQ(totals.damaged, 0u);
}

}  // namespace
}  // namespace dudorazu
