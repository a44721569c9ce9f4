// A drive the system opened for us: every later open of its path by the
// program is served from the granted descriptor when the program's own open
// is refused, and only in a mode the grant allows.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/devices.h"
#include "platform/drive_grants.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

constexpr uid_t kNobody = 65534;

struct GrantCase {
  const char* what;
  int descriptorFlags;      // how the service opened the drive; -1: nothing granted
  OpenMode grantedAs;
  bool grantForOtherPath;
  OpenMode asked;
  bool served;
};

// The program's rights are those of a user who may not open the file; a
// non-zero exit says which check failed.
int openAsUser(const GrantCase& c, const std::string& drive) {
  int granted = c.descriptorFlags < 0 ? -1 : ::open(drive.c_str(), c.descriptorFlags | O_CLOEXEC);
  int witness = ::open(drive.c_str(), O_RDONLY | O_CLOEXEC);
  if (witness < 0) return 10;
  if (::geteuid() == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) return 11;
  } else if (::chmod(drive.c_str(), 0) != 0) {
    return 11;
  }
  if (::open(drive.c_str(), O_RDONLY) >= 0) return 12;  // the refusal is the premise
  if (granted >= 0) platform::grantDriveDescriptor(c.grantForOtherPath ? drive + "-other" : drive, granted, c.grantedAs);

  errno = 0;
  auto device = platform::openSectorDevice(drive, c.asked);
  if (!device) return !c.served && errno == EACCES ? 0 : (std::fprintf(stderr, "refused, errno %d\n", errno), 13);
  if (!c.served) return 14;
  char sector[512] = {};
  if (device->readAt(512, sector, sizeof sector) != sizeof sector || sector[0] != 'B') return 15;
  if (c.asked == OpenMode::ReadWrite) {
    if (device->writeAt(0, "W", 1) != 1) return 16;
    char first = 0;
    if (::pread(witness, &first, 1, 0) != 1 || first != 'W') return 17;
  }
  return 0;
}

TEST(DriveGrants, ServeTheirPathInTheModeTheyAllowOnceTheProgramsOwnOpenIsRefused) {
  const GrantCase cases[] = {
      {"read grant, read", O_RDONLY, OpenMode::Read, false, OpenMode::Read, true},
      {"read grant, write", O_RDONLY, OpenMode::Read, false, OpenMode::ReadWrite, false},
      {"write grant, read", O_RDWR, OpenMode::ReadWrite, false, OpenMode::Read, true},
      {"write grant, write", O_RDWR, OpenMode::ReadWrite, false, OpenMode::ReadWrite, true},
      {"write grant on a read-only descriptor", O_RDONLY, OpenMode::ReadWrite, false, OpenMode::ReadWrite, false},
      {"write grant never creates", O_RDWR, OpenMode::ReadWrite, false, OpenMode::CreateWrite, false},
      {"grant for another path", O_RDWR, OpenMode::ReadWrite, true, OpenMode::Read, false},
      {"nothing granted", -1, OpenMode::Read, false, OpenMode::Read, false},
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const GrantCase& c : cases) {
    test::TempDir dir;
    const std::string drive = dir.file("sdz");
    test::writeFile(drive, std::string(512, 'A') + std::string(512, 'B'));
    ASSERT_EQ(::chmod(drive.c_str(), 0600), 0);
    EXPECT_EXIT(std::_Exit(openAsUser(c, drive)), ::testing::ExitedWithCode(0), "") << c.what;
  }
}

}  // namespace
}  // namespace dudorazu
