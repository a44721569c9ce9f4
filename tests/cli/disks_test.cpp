// dudorazu-cli disks, end to end on the fixture images.
#include <gtest/gtest.h>

#include <cerrno>

#include "cli/cli_support.h"
#include "platform/platform.h"
#include "support/fixtures.h"

namespace dudorazu {
namespace {

int disks(const std::string& args, std::string& out) {
  out.clear();
  return test::runCommand(test::cliPath() + " disks " + args + " 2>&1", &out);
}

TEST(DisksCommand, JsonRecordOfAGptImage) {
  std::string out;
  ASSERT_EQ(disks("--no-drives --json --image " + test::fixtureImage("partitions-gpt.img"), out), 0) << out;
  EXPECT_EQ(out.rfind("{\"disks\":[{", 0), 0u) << out;
  EXPECT_NE(out.find("\"name\":\"Data(exFat)\",\"driveLetter\":\"\",\"label\":\"GPTDATA\",\"typeCode\":5,"
                     "\"fileSystem\":\"exFat\",\"startSector\":2048,\"sizeSectors\":16384"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\"fileSystem\":\"EXT4\""), std::string::npos);
}

TEST(DisksCommand, TextTreeAndLogicalVolumes) {
  std::string out;
  ASSERT_EQ(disks("--no-drives --image " + test::fixtureImage("partitions-mbr.img") + " --image " +
                      test::fixtureImage("partitions-lvm.img"),
                  out),
            0)
      << out;
  EXPECT_NE(out.find("partitions-mbr.img"), std::string::npos);
  // Partition text, label, file system, start and size as short size texts.
  EXPECT_NE(out.find("Partition0                     MBREXFAT         exFat              1.0 MB       8.0 MB"),
            std::string::npos)
      << out;
  EXPECT_LT(out.find("partitions-mbr.img"), out.find("partitions-lvm.img")) << "images in the order given";
  EXPECT_NE(out.find("LV lvone"), std::string::npos) << out;
  EXPECT_NE(out.find("segment: extents 2+2"), std::string::npos) << out;
}

TEST(DisksCommand, ErrorsAndUsage) {
  std::string out;
  EXPECT_EQ(disks("--help", out), 0);
  EXPECT_NE(out.find("usage: dudorazu-cli disks"), std::string::npos);
  EXPECT_EQ(disks("--no-drives --image /nonexistent/disk.img", out), 1);
  EXPECT_NE(out.find("cannot open image '/nonexistent/disk.img'"), std::string::npos) << out;
  EXPECT_EQ(out.find("{\"disks\""), std::string::npos) << "no listing after a failed image";
  EXPECT_EQ(disks("--no-drives --bogus", out), 2);
  EXPECT_EQ(disks("--no-drives --image", out), 2);
  EXPECT_EQ(disks("--no-drives stray", out), 2);
  EXPECT_EQ(disks("--no-drives --json", out), 0);
  EXPECT_EQ(out, "{\"disks\":[]}\n");
}

// Two drives, one of which the system refuses to open: the listing keeps
// the other and stderr says what was left out and why.
TEST(DisksCommand, DrivesThatCannotBeOpenedAreNamedWithTheReason) {
  struct TwoDrives : DriveEnumerator {
    std::vector<DriveIdentity> listDrives() override {
      std::vector<DriveIdentity> drives(2);
      drives[0].devicePath = test::fixtureImage("partitions-mbr.img");
      drives[1].devicePath = "/dev/denied";
      drives[1].number = 1;
      for (DriveIdentity& d : drives) d.identified = true;
      return drives;
    }
    std::vector<MountedVolume> listMountedVolumes() override { return {}; }
  } drives;
  setDeviceOpener([](const std::string& path, OpenMode mode) -> std::unique_ptr<SectorDevice> {
    if (path != "/dev/denied") return platform::openSectorDevice(path, mode);
    errno = EACCES;
    return nullptr;
  });
  DiskCatalogue catalogue;
  testing::internal::CaptureStderr();
  cli::addMachineDrives(catalogue, &drives);
  std::string err = testing::internal::GetCapturedStderr();
  setDeviceOpener(nullptr);
  EXPECT_EQ(catalogue.disks.size(), 1u);
  EXPECT_NE(err.find("1 drive(s) left out, they could not be opened: /dev/denied (Permission denied)"),
            std::string::npos)
      << err;
  EXPECT_NE(cli::unopenedDrivesNote(catalogue.unopenedDrives, false).find("run dudorazu-cli as root"),
            std::string::npos);
  EXPECT_EQ(cli::unopenedDrivesNote(catalogue.unopenedDrives, true).find("as root"), std::string::npos);
}

}  // namespace
}  // namespace dudorazu
