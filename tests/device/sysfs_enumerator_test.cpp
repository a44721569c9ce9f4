#include "platform/linux/linux_drive_enumerator.h"
#include "platform/linux/linux_storage_extent.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <filesystem>

#include "core/device/disk_catalogue.h"
#include "support/fixtures.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

namespace fs = std::filesystem;
using platform::SysfsDriveEnumerator;

// sysfs, /dev and mountinfo in a scratch folder.
struct FakeSysfs {
  test::TempDir dir;
  FakeSysfs() { fs::create_directories(root("dev")); }
  std::string root(const std::string& rel) const { return dir.file(rel); }
  void attr(const std::string& rel, const std::string& value) {
    fs::create_directories(fs::path(root(rel)).parent_path());
    test::writeFile(root(rel), value + "\n");
  }
  // A whole disk of 8192 sectors at major:minor `dev`, identified unless not `withDevice`.
  void disk(const std::string& name, const std::string& dev, bool withDevice = true) {
    const std::string b = "sys/block/" + name + "/";
    attr(b + "size", "8192"), attr(b + "removable", name == "sdb" ? "1" : "0"), attr(b + "dev", dev);
    if (withDevice)
      attr(b + "device/vendor", "ATA     "), attr(b + "device/model", "Disk " + name + "   "),
          attr(b + "device/rev", "1.0 ");
  }
  void partition(const std::string& diskName, const std::string& name, const std::string& dev, uint64_t start) {
    const std::string b = "sys/block/" + diskName + "/" + name + "/";
    attr(b + "partition", "1"), attr(b + "start", std::to_string(start)), attr(b + "dev", dev);
  }
  SysfsDriveEnumerator enumerator() const { return SysfsDriveEnumerator(root("sys"), root("dev"), root("mountinfo")); }
};

// "number name vendor|product|revision size removable", a line per drive.
std::string summary(const std::vector<DriveIdentity>& drives) {
  std::string out;
  for (const DriveIdentity& d : drives)
    out += std::to_string(d.number) + " " + fs::path(d.devicePath).filename().string() + " " + d.vendor + "|" +
           d.product + "|" + d.revision + " " + std::to_string(d.sizeBytes) + (d.removable ? " r" : "") +
           (d.identified ? "\n" : " ?\n");
  return out;
}

TEST(SysfsEnumerator, WholeDisksInStableOrderAtMostSixteen) {
  FakeSysfs t;
  for (const char* n : {"sdb", "sdaa", "sda", "sdz"}) t.disk(n, "8:0");
  for (auto [name, dev] : {std::pair{"nvme0n1", "259:0"}, {"loop10", "7:10"}, {"loop2", "7:2"}, {"loop3", "7:3"}})
    t.disk(name, dev, false);  // loop3 has no backing file: nothing attached
  t.attr("sys/block/nvme0n1/device/model", "Fast NVMe");
  t.attr("sys/block/nvme0n1/device/firmware_rev", "FW1");
  t.attr("sys/block/loop10/loop/backing_file", "/images/disk.img");
  t.attr("sys/block/loop2/loop/backing_file", "/images/other.img");
  for (const char* n : {"zram0", "ram0", "dm-0", "sr0", "mmcblk0boot0", "nvme0c0n1", "sda1x"}) t.disk(n, "1:1");
  t.disk("sdq", "65:0");
  t.attr("sys/block/sdq/hidden", "1");

  std::vector<DriveIdentity> drives = t.enumerator().listDrives();
  EXPECT_EQ(summary(drives),  // raw texts: the catalogue trims
            "0 sda ATA     |Disk sda   |1.0  4194304\n1 sdb ATA     |Disk sdb   |1.0  4194304 r\n"
            "2 sdz ATA     |Disk sdz   |1.0  4194304\n3 sdaa ATA     |Disk sdaa   |1.0  4194304\n"
            "4 nvme0n1 |Fast NVMe|FW1 4194304\n5 loop2 Loop|other.img| 4194304\n6 loop10 Loop|disk.img| 4194304\n");
  EXPECT_EQ(drives[0].devicePath, t.root("dev/sda"));

  for (char c = 'c'; c <= 'p'; ++c) t.disk(std::string("sd") + c, "8:0");
  drives = t.enumerator().listDrives();
  ASSERT_EQ(drives.size(), 16u) << "at most sixteen drives";
  EXPECT_EQ(fs::path(drives.back().devicePath).filename(), "sdp") << "the last in order";
}

TEST(SysfsEnumerator, MountInfoMapsVolumesToDisksTheCatalogueIsBuiltFromTheTreeAndDevicesLeadToTheirHolders) {
  FakeSysfs t;
  t.disk("sda", "8:0");
  t.partition("sda", "sda1", "8:1", 2048);
  t.partition("sda", "sda2", "8:2", 4096);
  t.disk("sdb", "8:16");         // no device node: left out, and said so
  t.disk("sdc", "8:32", false);  // no identification: reported, dropped
  test::ImageBuilder img(4096);
  img.tableEntry(0, 0, 0x0C, 2048, 1000);
  test::writeFile(t.root("dev/sda"), img.bytes());
  test::writeFile(t.root("dev/sdc"), img.bytes());
  t.attr("mountinfo",
         "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
         "40 26 8:1 / /media/my\\040disk rw,relatime shared:1 - exfat /dev/sda1 rw\n"
         "41 26 8:1 / /mnt/bind rw - exfat /dev/sda1 rw\n"
         "42 26 8:16 / /mnt/whole rw - ext4 /dev/sdb rw\n"
         "garbage\n");
  auto e = t.enumerator();
  std::string mounts;
  for (const MountedVolume& m : e.listMountedVolumes())
    mounts += m.mountPoint + "|" + m.diskDevicePath + "|" + std::to_string(m.startSector) + "\n";
  EXPECT_EQ(mounts, "/media/my disk|" + t.root("dev/sda") + "|2048\n/mnt/whole|" + t.root("dev/sdb") + "|0\n");
  EXPECT_EQ(platform::unescapeMountField("a\\134b\\011c\\0"), "a\\b\tc\\0");

  DiskCatalogue catalogue;
  RecordingMessageSink messages;
  buildDiskCatalogue(catalogue, e, messages);
  ASSERT_EQ(catalogue.disks.size(), 1u);
  ASSERT_EQ(catalogue.unopenedDrives.size(), 1u);
  EXPECT_EQ(std::pair(catalogue.unopenedDrives[0].devicePath, catalogue.unopenedDrives[0].error),
            std::pair(t.root("dev/sdb"), ENOENT));
  const DiskRecord& d = catalogue.disks[0];
  EXPECT_EQ(displayName(d) + " " + std::to_string(d.diskSize), "ATADisk sda01.0 4194304");
  ASSERT_EQ(d.partitions.size(), 1u);
  EXPECT_EQ(d.partitions[0].driveLetter, "/media/my disk");
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_TRUE(test::contains(messages.messages[0].text, "sdc")) << "a drive that cannot be identified";

  // A partition is a window of its disk, a loop device one of its backing
  // file (from its offset on), so overlaps show whatever path names them.
  t.disk("loop3", "7:3");
  const std::string backing = t.root("image.img");
  test::writeFile(backing, "bytes");
  for (auto [file, value] : {std::pair{"sda/sda1/size", std::string("1000")}, {"loop3/loop/backing_file", backing},
                             {"loop3/loop/offset", std::string("1048576")}})
    t.attr("sys/block/" + std::string(file), value);
  t.partition("loop3", "loop3p1", "259:0", 64);
  fs::create_directories(t.root("sys/dev/block"));
  for (const char* link : {"8:0=sda", "8:1=sda/sda1", "7:3=loop3", "259:0=loop3/loop3p1"}) {
    std::string text(link);
    fs::create_symlink("../../block/" + text.substr(text.find('=') + 1), t.root("sys/dev/block/" + text.substr(0, text.find('='))));
  }
  struct stat file {};
  ASSERT_EQ(::stat(backing.c_str(), &file), 0);
  const struct {
    unsigned majorNumber, minorNumber;
    bool onDisk;
    uint64_t holder, offset, length;
  } cases[] = {
      {8, 0, true, makedev(8, 0), 0, 8192 * 512},
      {8, 1, true, makedev(8, 0), 2048 * 512, 1000 * 512},
      {7, 3, false, file.st_ino, 1048576, 8192 * 512},
      {259, 0, false, file.st_ino, 1048576 + 64 * 512, UINT64_MAX},
  };
  for (const auto& c : cases) {
    platform::StorageExtent x = platform::blockDeviceExtent(c.majorNumber, c.minorNumber, t.root(""));
    EXPECT_TRUE(x.holderIsDisk == c.onDisk && (c.onDisk ? x.holderDevice : x.holderInode) == c.holder &&
                x.offset == c.offset && x.length == c.length)
        << c.majorNumber << ":" << c.minorNumber << " " << x.holderIsDisk << " " << x.offset << " " << x.length;
  }
}

}  // namespace
}  // namespace dudorazu
