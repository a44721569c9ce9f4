// The Windows drive list and drive letters, on a made-up machine behind the
// queries seam (Wine has no raw drives to ask).
#include <gtest/gtest.h>

#include <map>

#include "platform/windows/windows_drive_enumerator.h"

namespace dudorazu::platform {
namespace {

class FakeMachine : public DriveQueries {
 public:
  std::map<int, DriveIdentity> drives;
  std::vector<Volume> lettered;
  std::string system = "C:";

  std::optional<DriveIdentity> drive(int number) override {
    auto it = drives.find(number);
    if (it == drives.end()) return std::nullopt;
    return it->second;
  }
  std::vector<Volume> volumes() override { return lettered; }
  std::string systemLetter() override { return system; }
};

WindowsDriveEnumerator enumeratorOf(const FakeMachine& machine) {
  return WindowsDriveEnumerator(std::make_unique<FakeMachine>(machine));
}

TEST(WindowsDrives, NumberedFromTheirPhysicalDriveNamesUpToSixteen) {
  FakeMachine machine;
  for (int n : {0, 2, 15, 16}) {
    DriveIdentity d;
    d.identified = true;
    d.product = "disk " + std::to_string(n);
    machine.drives[n] = d;
  }
  std::vector<DriveIdentity> drives = enumeratorOf(machine).listDrives();
  ASSERT_EQ(drives.size(), 3u) << "PhysicalDrive16 is past the sixteen drives asked";
  EXPECT_EQ(drives[1].number, 2);
  EXPECT_EQ(drives[1].devicePath, "\\\\.\\PhysicalDrive2");
  EXPECT_EQ(drives[2].product, "disk 15");
}

// Letters land on the disk and sector their extents name (a volume spanning
// two disks on both); a disk is in use when a lettered volume or the system
// lies on it, and every disk is when the system volume cannot be placed.
TEST(WindowsDrives, LettersLandOnTheDiskAndSectorTheirExtentsNameAndMarkTheDiskInUse) {
  FakeMachine machine;
  machine.lettered = {{"C:", {{0, 1048576}}}, {"E:", {{2, 32256}}}, {"F:", {{1, 65536}, {3, 1048576}}}};
  std::vector<MountedVolume> mounted = enumeratorOf(machine).listMountedVolumes();
  const char* want[] = {"C: \\\\.\\PhysicalDrive0 2048", "E: \\\\.\\PhysicalDrive2 63", "F: \\\\.\\PhysicalDrive1 128",
                        "F: \\\\.\\PhysicalDrive3 2048"};
  ASSERT_EQ(mounted.size(), std::size(want));
  for (size_t i = 0; i < mounted.size(); ++i)
    EXPECT_EQ(mounted[i].mountPoint + " " + mounted[i].diskDevicePath + " " + std::to_string(mounted[i].startSector),
              want[i]);
  machine.lettered = {{"C:", {{0, 1048576}}}, {"G:", {{3, 1048576}}}};
  WindowsDriveEnumerator enumerator = enumeratorOf(machine);
  EXPECT_TRUE(enumerator.driveInUse(0)) << "the Windows volume's disk";
  EXPECT_TRUE(enumerator.driveInUse(3));
  EXPECT_FALSE(enumerator.driveInUse(1));
  machine.lettered = {{"G:", {{3, 1048576}}}};
  EXPECT_TRUE(enumeratorOf(machine).driveInUse(1));
}

}  // namespace
}  // namespace dudorazu::platform
