// dudorazu-cli disks, end to end on the fixture images.
#include <gtest/gtest.h>

#include <cerrno>

#include "cli/cli_support.h"
#include "platform/platform.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

int disks(const std::string& args, std::string& out) {
  test::CliRun run = test::runCli("disks " + args);
  out = run.out;
  return run.status;
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

// A volume label that would set the window title, introduce a C1 control
// sequence and reverse the text after it, shown by every listing of it.
TEST(DisksCommand, ControlsInALabelNeverReachTheTerminal) {
  test::TempDir dir;
  std::string image = dir.file("hostile.img");
  std::string bytes = test::readFile(test::fixtureImage("partitions-mbr.img"));
  const std::string label("\x83\x08M\0B\0R\0E\0X\0F\0A\0T\0", 18);
  size_t at = bytes.find(label);
  ASSERT_NE(at, std::string::npos) << "the fixture's label entry";
  const std::string hostile("\x83\x0B\x1B\0]\0000\0;\0X\0\x07\0\x9B\0\x2E\x20O\0K\0!\0", 24);
  bytes.replace(at, hostile.size(), hostile);
  test::writeFile(image, bytes);

  std::string text, json, search;
  ASSERT_EQ(disks("--no-drives --image " + image, text), 0) << text;
  ASSERT_EQ(disks("--no-drives --json --image " + image, json), 0) << json;
  ASSERT_EQ(test::runCommand(test::cliPath() + " search " + image + " 2>&1", &search), 0) << search;
  for (const std::string* out : {&text, &json, &search}) {
    for (const char* control : {"\x1B", "\x07", "\xC2\x9B", "\xE2\x80\xAE"})
      EXPECT_EQ(out->find(control), std::string::npos) << "a control byte reached the terminal: " << *out;
  }
  EXPECT_NE(text.find("?]0;X???OK!"), std::string::npos) << text;
  EXPECT_NE(search.find("?]0;X???OK!"), std::string::npos) << search;
  EXPECT_NE(json.find(R"("label":"\u001b]0;X\u0007\u009b\u202eOK!")"), std::string::npos) << json;
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
  // The desktop program says the same in its own words.
  std::string desktop = unopenedDrivesDesktopNote(catalogue.unopenedDrives, false);
  EXPECT_EQ(desktop.rfind("1 个驱动器无法打开，未列出：/dev/denied (Permission denied)", 0), 0u) << desktop;
  EXPECT_NE(desktop.find("sudo -E dudorazu"), std::string::npos);
  EXPECT_EQ(unopenedDrivesDesktopNote(catalogue.unopenedDrives, true).find("sudo"), std::string::npos);
}

}  // namespace
}  // namespace dudorazu
