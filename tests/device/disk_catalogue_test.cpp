#include "core/device/disk_catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/device/command_paths.h"
#include "core/device/source_path.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace std::string_literals;

TEST(DescriptorString, TrimHexAndPrintable) {
  const struct {
    const char *text, *decoded;
    uint32_t offset = 1;
  } cases[] = {{"ATA     ", "ATA"}, {"  Samsung SSD  ", "Samsung SSD"},
               {"5758442020202020", "WXD"},  // hex text of printable bytes is decoded
               {"4142 ", "AB"},              // a blank counts as a 0 digit
               {"0102", "0102"},             // hex of unprintable bytes is kept as text
               {"41004200", "A"},            // a decoded zero ends the string
               {"bad\x01name", ""}, {"ATA", "", 0} /* no string */, {"ATA", "", 200} /* outside */};
  for (const auto& c : cases) {
    const std::string descriptor = std::string("X") + c.text + '\0';
    EXPECT_EQ(decodeDescriptorString(reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size(), c.offset),
              c.decoded) << c.text << " at " << c.offset;
  }
  // Not terminated inside the buffer: the buffer's end ends the string.
  const uint8_t raw[] = {0, 'A', 'B', 'C'};
  EXPECT_EQ(decodeDescriptorString(raw, sizeof raw, 1), "ABC");
}

TEST(ImageAsDisk, RecordOfAnImageFile) {
  test::TempDir dir;
  test::writeFile(dir.file("disk1.img"), std::string(1000000, '\0'));
  DiskCatalogue catalogue;
  ASSERT_TRUE(openImageAsDisk(catalogue, dir.file("disk1.img")));
  const DiskRecord& d = catalogue.disks.back();
  EXPECT_EQ(d.vendorId + " " + displayName(d) + " " + d.devicePath + " " + std::to_string(d.diskSize),
            "disk1.img disk1.img " + dir.file("disk1.img") + " 1000000");
  EXPECT_FALSE(isPhysicalDrive(d));
  ASSERT_EQ(d.partitions.size(), 0u) << "a disk of zeros holds nothing";

  ASSERT_TRUE(openImageAsDisk(catalogue, dir.file("disk1.img")));
  EXPECT_EQ(catalogue.disks.size(), 2u) << "the same image may be opened again";
  EXPECT_EQ(findDisk(catalogue, "disk1.img"), &catalogue.disks.front());

  std::filesystem::create_symlink(dir.file("disk1.img"), dir.file("link.img"));
  const std::string canonical = canonicalSource(dir.path() + "/./disk1.img");
  EXPECT_TRUE(canonical.front() == '/' && canonical.find("/./") == std::string::npos) << canonical;
  EXPECT_EQ(canonicalSource(dir.file("link.img")), canonical) << "a link names the disk it points to";
  EXPECT_EQ(canonicalSource("no/such.img"), "no/such.img") << "other texts stay as given";

  EXPECT_FALSE(openImageAsDisk(catalogue, dir.file("missing.img")) || openImageAsDisk(catalogue, dir.path()))
      << "a missing file or a folder is no disk";
  EXPECT_EQ(catalogue.disks.size(), 2u);
}

TEST(CommandPaths, APartitionInputCoversItsBytesInTheDisksOwnSectors) {
  struct Case {
    uint64_t startSector, sizeSectors;
    uint32_t sectorSize;
    uint64_t start, length;
  } cases[] = {
      {2048, 100, 512, 2048 * 512, 100 * 512},
      {256, 100, 4096, 256 * 4096, 100 * 4096},
      {UINT64_MAX / 512, UINT64_MAX / 16, 4096, UINT64_MAX, 0},  // past 64 bits: nothing, never wrapped
      {2048, UINT64_MAX / 512, 512, 2048 * 512, UINT64_MAX - 2048 * 512},  // an end past 64 bits reaches the end
      {2048, 0, 512, 2048 * 512, UINT64_MAX - 2048 * 512},  // no size given: read as far as the volume says
  };
  for (const Case& c : cases) {
    PartitionRecord p;
    p.startSector = c.startSector;
    p.sizeSectors = c.sizeSectors;
    p.deviceSectorSize = c.sectorSize;
    CommandPath input = partitionInput("disk.img", p, "SOURCE");
    EXPECT_EQ(std::tuple(input.bytes.start(), input.bytes.length(), input.role), std::tuple(c.start, c.length, "SOURCE"s))
        << c.startSector << "+" << c.sizeSectors << " of " << c.sectorSize;
  }
}

class FakeEnumerator : public DriveEnumerator {
 public:
  std::vector<DriveIdentity> drives;
  std::vector<MountedVolume> volumes;
  std::vector<DriveIdentity> listDrives() override { return drives; }
  std::vector<MountedVolume> listMountedVolumes() override { return volumes; }
};

TEST(DriveCatalogue, DrivesInOrderErrorsReportedMountPointsMapped) {
  test::TempDir dir;
  test::ImageBuilder img(4096);
  img.tableEntry(0, 0, 0x0C, 2048, 100);
  img.tableEntry(0, 1, 0x83, 2048, 50);  // same start: both get the mount point
  img.tableEntry(0, 2, 0x83, 3000, 50);
  for (const char* name : {"d0", "d3", "d4"}) test::writeFile(dir.file(name), img.bytes());
  test::writeFile(dir.file("d1"), std::string(512 * 100, '\0'));

  FakeEnumerator e;
  for (auto [n, file] : {std::pair{0, "d0"}, {1, "d1"}, {2, "d2"}, {3, "d3"}, {12, "d4"}}) {
    DriveIdentity& d = e.drives.emplace_back();
    d.number = n;
    d.devicePath = dir.file(file);
    d.identified = true;
    d.vendor = "ATA     ", d.product = "Model", d.revision = " 1.0";
  }
  e.drives[1].sizeBytes = 0, e.drives[1].removable = true;  // size unknown: taken from the device
  e.drives[4].identified = false, e.drives[4].errorText = "cannot identify";
  e.drives[3].geometryKnown = true, e.drives[3].sizeBytes = 123456789;
  e.drives[3].cylinders = 7, e.drives[3].heads = 16, e.drives[3].sectorsPerTrack = 32;
  e.volumes = {{"/media/usb", dir.file("d0"), 2048},
               {"/mnt/other", dir.file("d3"), 3000},
               {"/mnt/none", dir.file("nowhere"), 2048},
               {"/mnt/far", dir.file("d0"), 0x100000800ull},
               {"/mnt/wrapped", dir.file("d3"), (1ull << 55) + 2048}};  // its bytes pass 2^64: no partition's

  DiskCatalogue catalogue;
  RecordingMessageSink messages;
  EXPECT_TRUE(buildDiskCatalogue(catalogue, e, messages));
  // Drive 2 cannot be opened and drive 12 is not identified.
  std::string disks;
  for (const DiskRecord& d : catalogue.disks) {
    disks += d.driveNumber + " " + displayName(d) + " fixed" + std::to_string(d.isFixedMedia) + " " +
             std::to_string(d.diskSize) + " " + std::to_string(d.cylinders) + "/" +
             std::to_string(d.tracksPerCylinder) + "/" + std::to_string(d.sectorsPerTrack) + ":";
    for (const PartitionRecord& p : d.partitions) disks += " " + partitionText(p) + "|" + p.driveLetter;
    disks += "\n";
  }
  EXPECT_EQ(disks,
            "0 ATAModel01.0 fixed1 2097152 0/255/63: /media/usb|/media/usb /media/usb|/media/usb Partition2|\n"
            "1 ATAModel11.0 fixed0 51200 0/255/63:\n"
            "3 ATAModel31.0 fixed1 123456789 7/16/32: Partition0| Partition1| /mnt/other|/mnt/other\n");
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].caption + ": " + messages.messages[0].text, "Error: cannot identify");

  // Drive 2 is kept with what the system said of it, and catalogued once it
  // opens (as after a grant): identity, partitions and mount points as if it
  // had opened at the start; until then, and for a path never listed, nothing changes.
  ASSERT_EQ(catalogue.unopenedDrives.size(), 1u);
  EXPECT_EQ(catalogue.unopenedDrives[0].identity.number, 2);
  const std::vector<MountedVolume> volumes = {{"/media/card", dir.file("d2"), 3000}};
  EXPECT_EQ(catalogueUnopenedDrive(catalogue, dir.file("d2"), volumes), nullptr);
  EXPECT_EQ(catalogueUnopenedDrive(catalogue, dir.file("d0"), volumes), nullptr) << "a drive not left out";
  EXPECT_EQ(std::pair(catalogue.disks.size(), catalogue.unopenedDrives.size()), std::pair(size_t{3}, size_t{1}));
  test::writeFile(dir.file("d2"), img.bytes());
  DiskRecord* opened = catalogueUnopenedDrive(catalogue, dir.file("d2"), volumes);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(opened == &catalogue.disks.back() && catalogue.unopenedDrives.empty());
  std::string late = opened->driveNumber + " " + displayName(*opened) + ":";
  for (const PartitionRecord& p : opened->partitions) late += " " + partitionText(p) + "|" + p.driveLetter;
  EXPECT_EQ(late, "2 ATAModel21.0: Partition0| Partition1| /media/card|/media/card");
}

}  // namespace
}  // namespace dudorazu
