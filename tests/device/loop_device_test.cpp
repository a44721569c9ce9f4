// The real sysfs enumerator on loop devices this test attaches itself. Only
// the loop devices made here are catalogued: no host drive is ever read.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>

#include "core/device/disk_catalogue.h"
#include "platform/linux/linux_drive_enumerator.h"
#include "partitions/listing.h"
#include "support/image_builder.h"
#include "support/catalogued.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::LoopDevice;

// The machine's enumerator, narrowed to one device.
class OnlyThisDrive : public DriveEnumerator {
 public:
  explicit OnlyThisDrive(std::string path) : path_(std::move(path)) {}
  std::vector<DriveIdentity> listDrives() override {
    std::vector<DriveIdentity> out;
    for (DriveIdentity& d : real_.listDrives())
      if (d.devicePath == path_) out.push_back(d);
    return out;
  }
  std::vector<MountedVolume> listMountedVolumes() override { return real_.listMountedVolumes(); }

 private:
  std::string path_;
  platform::SysfsDriveEnumerator real_{"/sys", "/dev", "/proc/self/mountinfo"};
};

class LoopDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    DUDORAZU_SKIP_UNLESS(test::canUseLoopDevices(), "needs root and losetup to attach a loop device");
  }
  test::TempDir dir;
};

// A disk of 4 KiB logical sectors whose table alone does not show it (no
// volume in the partition): the device's own sector size counts.
TEST_F(LoopDevices, TablesOfA4KiBSectorDeviceCountItsSectors) {
  test::ImageBuilder img(8192);
  img.tableEntry(0, 0, 0x83, 256, 100);
  test::writeFile(dir.file("4k.img"), img.bytes());
  LoopDevice loop(dir.file("4k.img"), "-r --sector-size 4096");
  ASSERT_FALSE(loop.path().empty()) << "losetup could not attach the image";
  for (const auto& [path, sectorSize] : {std::pair{dir.file("4k.img"), 512u}, std::pair{loop.path(), 4096u}}) {
    DiskRecord disk = test::catalogued(path);
    ASSERT_EQ(disk.partitions.size(), 1u);
    EXPECT_EQ(std::tuple(disk.bytesPerSector, disk.partitions[0].startOffset(), disk.partitions[0].sizeBytes()),
              std::tuple(sectorSize, uint64_t{256} * sectorSize, uint64_t{100} * sectorSize)) << path;
  }
}

// Mounted where a mount point with a space comes back from mountinfo as \040.
TEST_F(LoopDevices, AttachedImageIsADriveWithItsPartitionsAndMountPoint) {
  const std::string image = test::fixtureImage("partitions-whole-ext4.img");
  LoopDevice loop(image, "-r");
  ASSERT_FALSE(loop.path().empty()) << "losetup could not attach the image";
  OnlyThisDrive enumerator(loop.path());
  if (enumerator.listDrives().empty()) GTEST_SKIP() << "more than 16 drives before the loop device";
  const std::string mountPoint = dir.file("mount point");
  std::filesystem::create_directory(mountPoint);
  const bool mounted = ::mount(loop.path().c_str(), mountPoint.c_str(), "ext4", MS_RDONLY, "noload") == 0;
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{mountPoint};  // before the loop device is detached

  DiskCatalogue catalogue;
  RecordingMessageSink messages;
  buildDiskCatalogue(catalogue, enumerator, messages);
  EXPECT_TRUE(messages.messages.empty());
  ASSERT_EQ(catalogue.disks.size(), 1u);
  const DiskRecord& d = catalogue.disks[0];
  EXPECT_EQ(d.devicePath + " " + std::to_string(d.diskSize), loop.path() + " 16777216");
  EXPECT_EQ(d.productId, "partitions-whole-ext4.img") << "a loop device names its backing file";
  EXPECT_EQ(test::listing(d), test::listing(test::catalogued(image)));
  DiskRecord byPath = test::catalogued(loop.path());  // a block device opens like an image
  EXPECT_EQ(std::to_string(byPath.diskSize) + test::listing(byPath), "16777216" + test::listing(d));
  if (!mounted) GTEST_SKIP() << "this kernel cannot mount ext4 here";
  EXPECT_EQ(d.partitions.at(0).driveLetter, mountPoint);
}

}  // namespace
}  // namespace dudorazu
