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

TEST(WindowsDrives, LettersLandOnTheDiskAndSectorTheirExtentsName) {
  FakeMachine machine;
  machine.lettered = {{"C:", {{0, 1048576}}},
                      {"E:", {{2, 32256}}},
                      // A volume spanning two disks is mounted on both.
                      {"F:", {{1, 65536}, {3, 1048576}}}};
  std::vector<MountedVolume> mounted = enumeratorOf(machine).listMountedVolumes();
  struct Want {
    const char* letter;
    const char* disk;
    uint64_t sector;
  } want[] = {{"C:", "\\\\.\\PhysicalDrive0", 2048},
              {"E:", "\\\\.\\PhysicalDrive2", 63},
              {"F:", "\\\\.\\PhysicalDrive1", 128},
              {"F:", "\\\\.\\PhysicalDrive3", 2048}};
  ASSERT_EQ(mounted.size(), std::size(want));
  for (size_t i = 0; i < mounted.size(); ++i) {
    EXPECT_EQ(mounted[i].mountPoint, want[i].letter);
    EXPECT_EQ(mounted[i].diskDevicePath, want[i].disk);
    EXPECT_EQ(mounted[i].startSector, want[i].sector);
  }
}

TEST(WindowsDrives, ADiskIsInUseWhenALetteredVolumeOrTheSystemLiesOnIt) {
  FakeMachine machine;
  machine.lettered = {{"C:", {{0, 1048576}}}, {"G:", {{3, 1048576}}}};
  WindowsDriveEnumerator enumerator = enumeratorOf(machine);
  EXPECT_TRUE(enumerator.driveInUse(0)) << "the Windows volume's disk";
  EXPECT_TRUE(enumerator.driveInUse(3));
  EXPECT_FALSE(enumerator.driveInUse(1));
  // When the system volume cannot be placed, no disk is known to be free.
  machine.lettered = {{"G:", {{3, 1048576}}}};
  EXPECT_TRUE(enumeratorOf(machine).driveInUse(1));
}

}  // namespace
}  // namespace dudorazu::platform
