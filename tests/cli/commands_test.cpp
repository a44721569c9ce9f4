// dudorazu-cli end to end on the fixture images: usage, listings, search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sstream>

#include "cli/cli_support.h"
#include "platform/platform.h"
#include "support/device_opener.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::expectCli;
using test::fixtureImage;

// Status and printed pieces ("^": at the start); no control byte reaches the terminal; backup-only volumes read.
TEST(CliCommands, UsageErrorsAndListings) {
  const std::string sample = fixtureImage("sample-disk.img"), mbr = fixtureImage("partitions-mbr.img"),
                    carve = fixtureImage("exfat-carve.img"), main = fixtureImage("recovery-main.img"),
                    tools = fixtureImage("tools-search.img"), foreign = fixtureImage("partitions-foreign.img"),
                    states = fixtureImage("recovery-states.img");
  test::TempDir dir;
  const std::string hostile = dir.file("hostile.img"), backupOnly = dir.file("backup-only.img");
  std::string bytes = test::readFile(mbr);
  size_t at = bytes.find(std::string("\x83\x08M\0B\0R\0E\0X\0F\0A\0T\0", 18));
  ASSERT_NE(at, std::string::npos) << "the fixture's label entry";
  test::writeFile(hostile, bytes.replace(at, 24, std::string("\x83\x0B\x1B\0]\0000\0;\0X\0\x07\0\x9B\0\x2E\x20O\0K\0!\0", 24)));
  bytes = test::readFile(tools);
  bytes.replace(446, 16, std::string("\0\0\0\0\x07\0\0\0\x43\xFB\0\0\0\x20\0\0", 16));  // 64323, 8192 sectors
  bytes[510] = '\x55', bytes[511] = '\xAA';
  test::writeFile(backupOnly, bytes);
  const std::string through = "reading the volume through its backup boot sector (sector 64335)";
  const struct {
    std::string args;
    int status;
    std::vector<std::string> says;
  } rows[] = {
      {"disks --help", 0, {"usage: dudorazu-cli disks"}},
      {"disks --no-drives --image /nonexistent/disk.img", 1, {"cannot open image '/nonexistent/disk.img'"}},
      {"disks --no-drives --bogus", 2, {}},
      {"disks --no-drives --image", 2, {}},
      {"disks --no-drives stray", 2, {}},
      {"disks --no-drives --json", 0, {"^{\"disks\":[]}\n"}},
      {"disks --no-drives --json --image " + fixtureImage("partitions-gpt.img"), 0,
       {"^{\"disks\":[{", "\"fileSystem\":\"EXT4\"",
        "\"name\":\"Data(exFat)\",\"driveLetter\":\"\",\"label\":\"GPTDATA\",\"typeCode\":5,"
        "\"fileSystem\":\"exFat\",\"startSector\":2048,\"sizeSectors\":16384"}},
      {"disks --no-drives --image " + mbr + " --image " + fixtureImage("partitions-lvm.img"), 0,
       {"Partition0                     MBREXFAT         exFat              1.0 MB       8.0 MB", "LV lvone",
        "segment: extents 2+2", "partitions-mbr.img"}},
      {"tree --help", 0, {"usage: dudorazu-cli tree"}},
      {"tree /nonexistent/image.img Partition0", 1, {"/nonexistent/image.img"}},
      {"tree " + sample + " Partition9", 1, {"Partition9"}},
      {"tree " + mbr + " Partition3", 1, {"does not hold an exFAT volume"}},
      {"scan-lost " + mbr + " Partition1", 1, {}},
      {"tree " + sample, 2, {}},
      {"tree --bogus a b", 2, {}},
      {"stats " + sample, 2, {"wrong number of arguments (see --help)"}},
      {"stats " + main + " Partition0 /gone", 0, {"^文件统计： 3.3MB在2个文件夹中包含 3个文件\n"}},
      {"stats " + main + " Partition0 /nothing", 1, {}},
      {"stats " + states + " Partition0", 0, {"\nby recoverability: intact 7, guessed 1, overwritten 2, unreachable 1\n"}},
      {"tree " + states + " Partition0", 0,
       {"\n    part.bin  已删除文件  40000  ", "  overwritten 16384/40000\n", "  unreachable,overwritten,guessed\n"}},
      {"tree " + states + " Partition0 --json", 0,
       {R"("recoverability":"overwritten","recoverabilityStates":["overwritten"],"bytesAtRisk":16384,)"
        R"("overwrittenBytes":16384,"damagedBytes":0,"alsoInTree":false})",
        R"("recoverability":"unreachable","recoverabilityStates":["unreachable","overwritten","guessed"],)"}},
      {"scan-lost " + states + " Partition0", 0, {"\n  5  正常文件夹  0  -  -  5  unreachable,overwritten,guessed also-in-tree\n"}},
      {"recover " + states + " Partition0 out --only-intact --only-at-risk", 2, {"exclude each other"}},
      {"recover " + main, 2, {}},
      {"pt-backup " + sample, 2, {"needs SOURCE and FILE (see --help)"}},
      {"search a b", 2, {"needs exactly one SOURCE (see --help)"}},
      {"search --help", 0, {"(1-255; default: the disk's)\n  --json        print"}},
      {"search " + sample + " --mode diagonal", 2, {}},
      {"rebuild-mbr -h", 0, {"(1-255; default: the disk's)\n  --list"}},
      {"image " + sample + " --to-file a --to-disk b", 2, {}},
      {"upcase-scan", 2, {"needs SOURCE and optionally PARTITION (see --help)"}},
      {"upcase-scan " + fixtureImage("tools-bigtable.img") + " Partition0 --json", 0, {"^{\"found\":"}},
      {"scan-lost " + carve + " Partition0 --json", 0, {"{\"path\":\"/扩展目录/11.jpg\",\"name\":\"11.jpg\",\"state\":2"}},
      {"scan-lost " + carve + " Partition0", 0, {"\n扩展目录  正常文件夹  0  ", "\n  Li19.doc  已删除文件  65536  "}},
      {"scan-lost " + fixtureImage("carve-formats.img") + " Partition0 --json", 0,
       {R"("name":"65.mp4",)", R"("alsoInTree":false,"carveFormat":"mp4","carveEnd":"structure"})",
        R"("name":"99.docx",)", R"("carveFormat":"docx","carveEnd":"structure"})"}},
      {"scan-lost " + fixtureImage("carve-pieces.img") + " Partition0", 0, {"\n  42.zip  已删除文件  43676  -  -  42  guessed,carved\n"}},
      {"search " + tools + " --json", 0,
       {R"({"fileSystem":"exFat","label":"TOOLSB","chs":"2,0,1","sizeSectors":16384,"kind":"主")",
        R"("partitions":[{"name":"Partition0")", R"("startSector":2048,"partition":"@2048","viaBackup":false)"}},
      {"search " + tools + " --mode sector", 0, {"TOOLSA", "start 64323"}},
      {"rebuild-mbr " + tools + " --mode sector --list", 0, {"32130"}},
      {"image " + tools + ",nothing --to-file " + dir.file("part.img"), 1, {"no partition 'nothing'"}},
      {"disks --no-drives --image " + hostile, 0, {"?]0;X???OK!"}},
      {"search " + hostile, 0, {"?]0;X???OK!"}},
      {"disks --no-drives --json --image " + hostile, 0, {R"("label":"\u001b]0;X\u0007\u009b\u202eOK!")"}},
      {"disks --no-drives --json --image " + backupOnly, 0,
       {R"("typeCode":7,"fileSystem":"NTFS","startSector":64323)", R"("exfatFromBackupBootSector":true)"}},
      {"disks --no-drives --image " + backupOnly, 0, {"note: main boot sector damaged; its backup holds an exFAT volume"}},
      // exFAT formatted over a Linux partition is read; a found volume is named by its start.
      {"disks --no-drives --json --image " + foreign, 0,
       {R"("name":"Partition0","driveLetter":"","label":"F83","typeCode":5,"fileSystem":"exFat")",
        R"("clusterBase":0,"tableType":131})"}},
      {"recover " + foreign + " Partition0 " + dir.file("foreign"), 0, {"saved 3 files"}},
      {"search " + tools, 0, {"\n  @2048          exFat   start 2048", "TOOLSA  (found)\n"}},
      {"tree " + tools + " @2048", 0, {"numbers-A.txt"}},
      {"recover " + tools + " @64323 " + dir.file("found"), 0, {through}},
      {"tree " + tools + " @2049", 1, {"no exFAT boot sector (main or backup) makes a volume start at sector 2049"}},
      {"tree " + tools + " Partition1", 1, {"a volume search found is named by its start, as search prints it: @SECTOR"}},
      {"image " + tools + ",@32130 --to-file " + dir.file("found.img"), 0, {}},
      {"tree " + backupOnly + " Partition0", 0, {through, "numbers-C.txt"}},
      {"scan-lost " + backupOnly + " Partition0", 0, {through, "numbers-C.txt"}},
      {"recover " + backupOnly + " Partition0 " + dir.file("saved"), 0, {through}},
  };
  for (const auto& row : rows) {
    test::CliRun run = expectCli(row.args, row.status, row.says);
    EXPECT_FALSE(run.status == 1 && test::contains(run.out, "{\"disks\"")) << "a listing after a failure";
    for (const char* control : {"\x1B", "\x07", "\xC2\x9B", "\xE2\x80\xAE"})
      EXPECT_FALSE(test::contains(run.out, control)) << "a control byte reached the terminal: " << run.out;
    if (test::contains(row.args, "partitions-lvm.img")) {
      EXPECT_LT(run.out.find("partitions-mbr.img"), run.out.find("partitions-lvm.img")) << "images in the order given";
    }
  }
  for (auto [out, text] : {std::pair{"saved", "volume C\n"}, {"found", "volume C\n"}, {"foreign", "volume F83\n"}})
    EXPECT_EQ(test::readFile(dir.file(std::string(out) + "/根目录/readme.txt")), text) << out;
  EXPECT_EQ(std::filesystem::file_size(dir.file("found.img")), 16384u * 512) << "image of the volume found at 32130";
  EXPECT_FALSE(std::filesystem::exists(dir.file("part.img")));
}

// The start of each record's JSON for an `fls -r -p` line, virtual and metadata entries left out.
std::vector<std::string> flsRecords(const std::string& listing) {
  std::vector<std::string> out;
  std::istringstream in(listing);
  for (std::string line; std::getline(in, line);) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos || line.size() < 4) continue;
    std::string name = line.substr(tab + 1), leaf = name.substr(name.rfind('/') + 1);
    if (line[0] == 'v' || line[0] == 'V' || name.empty() || name[0] == '$' ||
        test::contains(name, "(Volume Label Entry)"))
      continue;
    bool folder = line[0] == 'd', deleted = line.find(" * ") < tab;
    out.push_back("{\"path\":\"/" + name + "\",\"name\":\"" + leaf + "\",\"state\":" +
                  std::to_string(folder ? (deleted ? 1 : 3) : (deleted ? 2 : 4)) + ",\"stateText\":\"" +
                  (deleted ? "已删除" : "正常") + (folder ? "文件夹" : "文件"));
  }
  return out;
}

// fls's listing of the volume at `sector` of `image`, run now.
std::string flsNow(const std::string& image, uint64_t sector) {
  std::string listing;
  EXPECT_EQ(test::runCommand("fls -r -p -o " + std::to_string(sector) + " " + image + " 2>&1", &listing), 0) << listing;
  return listing;
}

// Every name fls lists, live or deleted, with its state, each once and nothing else; also for
// exFAT in partitions of other types (Linux, FAT32, EFI, a Linux extended one, Debian's sample).
TEST(TreeCommand, JsonListsExactlyWhatTheSleuthKitLists) {
  const std::string foreign = fixtureImage("partitions-foreign.img");
  struct Volume {
    std::string image, partition, fls;
  };
  std::vector<Volume> volumes;
  for (const std::string name : {"sample-disk", "exfat-tree"})
    volumes.push_back({fixtureImage(name + ".img"), "Partition0", test::fixtureText(name + ".fls.txt")});
  DUDORAZU_SKIP_UNLESS(test::haveTool("fls") && test::haveTool("xz"), "fls or xz is not installed");
  const uint64_t starts[] = {2048, 8192, 14336, 22528};
  for (int i = 0; i < 4; ++i) volumes.push_back({foreign, "Partition" + std::to_string(i), flsNow(foreign, starts[i])});
  // Debian's forensics-samples-exfat: an exFAT volume in a type 0x83 partition.
  const std::string sample = "/usr/share/forensics-samples/fs.exfat.xz";
  DUDORAZU_SKIP_UNLESS(std::filesystem::exists(sample), "forensics-samples-exfat is not installed");
  test::TempDir dir;
  const std::string unpacked = dir.file("fs.exfat");
  ASSERT_EQ(test::runCommand("xz -dc " + sample + " > " + unpacked), 0);
  volumes.push_back({unpacked, "Partition0", flsNow(unpacked, 2048)});
  for (const Volume& volume : volumes) {
    SCOPED_TRACE(volume.image + " " + volume.partition);
    std::string out = expectCli("tree " + volume.image + " " + volume.partition + " --json", 0,
                                {"^{\"records\":[{\"path\":\"/\",\"name\":\"根目录\",\"state\":3,\"stateText\":\"正常文件夹\""},
                                 false).out;
    EXPECT_TRUE(out.ends_with("]}\n"));
    std::vector<std::string> listed, expected = flsRecords(volume.fls);
    const std::string open = "{\"path\":\"";
    for (size_t at = out.find(open, out.find(open) + 1); at != std::string::npos; at = out.find(open, at + 1)) {
      size_t end = out.find(",\"stateText\":\"", at);
      ASSERT_NE(end, std::string::npos) << out.substr(at, 200);
      listed.push_back(out.substr(at, out.find('"', end + 14) - at));
    }
    ASSERT_GE(expected.size(), 4u);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
  }
}

// A drive the system refuses to open is named with the reason; the others are listed.
TEST(DisksCommand, DrivesThatCannotBeOpenedAreNamedWithTheReason) {
  struct TwoDrives : DriveEnumerator {
    std::vector<DriveIdentity> listDrives() override {
      std::vector<DriveIdentity> drives(2);
      drives[0].devicePath = fixtureImage("partitions-mbr.img");
      drives[1].devicePath = "/dev/denied";
      drives[1].number = 1;
      for (DriveIdentity& d : drives) d.identified = true;
      return drives;
    }
    std::vector<MountedVolume> listMountedVolumes() override { return {}; }
  } drives;
  test::setDeviceOpener([](const std::string& path, OpenMode mode) -> std::unique_ptr<SectorDevice> {
    if (path != "/dev/denied") return platform::openSectorDevice(path, mode);
    errno = EACCES;
    return nullptr;
  });
  DiskCatalogue catalogue;
  testing::internal::CaptureStderr();
  cli::addMachineDrives(catalogue, &drives);
  std::string err = testing::internal::GetCapturedStderr();
  test::setDeviceOpener(nullptr);
  EXPECT_EQ(catalogue.disks.size(), 1u);
  EXPECT_TRUE(test::contains(err, "1 drive(s) left out, they could not be opened: /dev/denied (Permission denied)"))
      << err;
  EXPECT_TRUE(test::contains(cli::unopenedDrivesNote(catalogue.unopenedDrives, false), "run dudorazu-cli as root") &&
              !test::contains(cli::unopenedDrivesNote(catalogue.unopenedDrives, true), "as root"));
  // The desktop program says the same in its own words.
  std::string desktop = unopenedDrivesDesktopNote(catalogue.unopenedDrives, false);
  EXPECT_EQ(desktop.rfind("1 个驱动器无法打开，未列出：/dev/denied（没有权限）。", 0), 0u) << desktop;
  EXPECT_FALSE(test::contains(desktop, "Permission")) << "the system's English error text in the desktop note";
  EXPECT_TRUE(test::contains(desktop, "sudo -E dudorazu") &&
              !test::contains(unopenedDrivesDesktopNote(catalogue.unopenedDrives, true), "sudo"));
  // Where the system can be asked for the drive, the note says how instead of a restart as root.
  std::string asking = unopenedDrivesDesktopNote(catalogue.unopenedDrives, false, true);
  EXPECT_TRUE(test::contains(asking, "/dev/denied（没有权限）。双击下面列出的驱动器") && !test::contains(asking, "sudo"))
      << asking;
}

}  // namespace
}  // namespace dudorazu
