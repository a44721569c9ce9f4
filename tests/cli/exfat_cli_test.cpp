// dudorazu-cli tree and scan-lost, end to end on the fixture images.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

// The records `tree --json` must list for The Sleuth Kit's `fls -r -p`
// listing saved next to a fixture, as the start of each record's JSON.
// Lines look like "d/d * 771:\t文档/草稿"; virtual entries ($MBR, $FAT1,
// $OrphanFiles), the bitmap, the up-case table and the label entry are no
// files and are left out.
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

int cli(const std::string& args, std::string& out, bool withStderr = true) {
  test::CliRun run = test::runCli(args, withStderr);
  out = run.out;
  return run.status;
}

// Every name The Sleuth Kit's `fls -r -p` lists on a real volume, live or
// deleted, and nothing else: the same paths with the same states, each once.
TEST(TreeCommand, JsonListsExactlyWhatTheSleuthKitLists) {
  for (const char* name : {"sample-disk", "exfat-tree"}) {
    std::string out;
    ASSERT_EQ(cli("tree " + test::fixtureImage(std::string(name) + ".img") + " Partition0 --json", out, false), 0)
        << out;
    ASSERT_EQ(out.rfind("{\"records\":[{\"path\":\"/\",\"name\":\"根目录\",\"state\":3,\"stateText\":\"正常文件夹\"", 0),
              0u)
        << out.substr(0, 200);
    EXPECT_EQ(out.substr(out.size() - 3), "]}\n");
    std::vector<std::string> listed, expected = flsRecords(test::fixtureText(std::string(name) + ".fls.txt"));
    const std::string open = "{\"path\":\"";
    for (size_t at = out.find(open, out.find(open) + 1); at != std::string::npos; at = out.find(open, at + 1)) {
      size_t end = out.find(",\"stateText\":\"", at);
      ASSERT_NE(end, std::string::npos) << out.substr(at, 200);
      listed.push_back(out.substr(at, out.find('"', end + 14) - at));
    }
    ASSERT_GT(expected.size(), 10u);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected) << name;
  }
}

// Usage, wrong sources and partitions: the exit status and what is said.
TEST(CliCommands, UsageAndClearErrors) {
  const std::string sample = test::fixtureImage("sample-disk.img"), mbr = test::fixtureImage("partitions-mbr.img");
  const struct {
    std::string args;
    int status;
    std::string says;
  } rows[] = {
      {"disks --help", 0, "usage: dudorazu-cli disks"},
      {"disks --no-drives --image /nonexistent/disk.img", 1, "cannot open image '/nonexistent/disk.img'"},
      {"disks --no-drives --bogus", 2, ""},
      {"disks --no-drives --image", 2, ""},
      {"disks --no-drives stray", 2, ""},
      {"disks --no-drives --json", 0, "{\"disks\":[]}\n"},
      {"tree --help", 0, "usage: dudorazu-cli tree"},
      {"tree /nonexistent/image.img Partition0", 1, "/nonexistent/image.img"},
      {"tree " + sample + " Partition9", 1, "Partition9"},
      {"tree " + mbr + " Partition3", 1, "does not hold an exFAT volume"},
      {"scan-lost " + mbr + " Partition1", 1, ""},
      {"tree " + sample, 2, ""},
      {"tree --bogus a b", 2, ""},
      {"stats " + sample, 2, "wrong number of arguments (see --help)"},
      {"pt-backup " + sample, 2, "needs SOURCE and FILE (see --help)"},
      {"search a b", 2, "needs exactly one SOURCE (see --help)"},
      {"search --help", 0, "(1-255; default: the disk's)\n  --json        print"},
      {"rebuild-mbr -h", 0, "(1-255; default: the disk's)\n  --list"},
      {"upcase-scan", 2, "needs SOURCE and optionally PARTITION (see --help)"},
      {"upcase-scan " + test::fixtureImage("tools-bigtable.img") + " Partition0 --json", 0, "{\"found\":"},
  };
  for (const auto& row : rows) {
    test::CliRun run = test::runCli(row.args);
    EXPECT_EQ(run.status, row.status) << row.args << "\n" << run.out;
    EXPECT_TRUE(test::contains(run.out, row.says)) << row.args << "\n" << run.out;
    EXPECT_FALSE(run.status == 1 && test::contains(run.out, "{\"disks\"")) << "a listing after a failure";
  }
}

TEST(ScanLostCommand, FoundFoldersUnderTheRootAndCarvedFilesUnderTheExtendedFolder) {
  std::string out;
  ASSERT_EQ(cli("scan-lost " + test::fixtureImage("exfat-carve.img") + " Partition0 --json", out, false), 0) << out;
  EXPECT_EQ(out.rfind("{\"records\":[{\"path\":\"/\",\"name\":\"根目录\"", 0), 0u);
  EXPECT_NE(out.find("{\"path\":\"/扩展目录\",\"name\":\"扩展目录\",\"state\":3"), std::string::npos);
  EXPECT_NE(out.find("{\"path\":\"/扩展目录/11.jpg\",\"name\":\"11.jpg\",\"state\":2,\"stateText\":\"已删除文件\""),
            std::string::npos);
  ASSERT_EQ(cli("scan-lost " + test::fixtureImage("exfat-carve.img") + " Partition0", out, false), 0);
  EXPECT_NE(out.find("\n扩展目录  正常文件夹  0  "), std::string::npos) << out;
  EXPECT_NE(out.find("\n  Li19.doc  已删除文件  65536  "), std::string::npos) << out;
}

// tools-search.img's volume C (made by mkfs.exfat, files written by the
// FUSE driver) at 64323 has its main boot sector zeroed; an MBR entry of
// type 7 now points at it. Every command that opens the volume reads it
// through the backup boot sector and says so; disks marks the partition.
TEST(ExfatCommands, AVolumeWhoseMainBootSectorIsDestroyedIsReadThroughItsBackup) {
  test::TempDir dir;
  std::string image = dir.file("backup-only.img");
  std::string bytes = test::readFile(test::fixtureImage("tools-search.img"));
  const unsigned char entry[16] = {0, 0, 0, 0, 7, 0, 0, 0, 0x43, 0xFB, 0, 0, 0, 0x20, 0, 0};  // 64323, 8192
  bytes.replace(446, 16, reinterpret_cast<const char*>(entry), 16);
  bytes[510] = '\x55', bytes[511] = '\xAA';
  test::writeFile(image, bytes);
  std::string out;
  ASSERT_EQ(cli("disks --no-drives --json --image " + image, out), 0) << out;
  EXPECT_NE(out.find(R"("typeCode":7,"fileSystem":"NTFS","startSector":64323)"), std::string::npos) << out;
  EXPECT_NE(out.find(R"("exfatFromBackupBootSector":true)"), std::string::npos) << out;
  ASSERT_EQ(cli("disks --no-drives --image " + image, out), 0) << out;
  EXPECT_NE(out.find("note: main boot sector damaged; its backup holds an exFAT volume"), std::string::npos) << out;

  const std::string saved = dir.file("saved");
  for (const std::string command : {"tree", "scan-lost", "recover"}) {
    std::string args = command + " " + image + " Partition0" + (command == "recover" ? " " + saved : "");
    EXPECT_EQ(cli(args, out), 0) << out;
    EXPECT_NE(out.find("reading the volume through its backup boot sector (sector 64335)"), std::string::npos)
        << command << ": " << out;
    if (command != "recover") {
      EXPECT_NE(out.find("numbers-C.txt"), std::string::npos) << command << ": " << out;
    }
  }
  EXPECT_EQ(test::readFile(saved + "/根目录/readme.txt"), "volume C\n");
}

}  // namespace
}  // namespace dudorazu
