// Disks the everyday fixtures do not reach: past 2 TiB, 4 KiB sectors, a
// table that claims more than the disk holds, a FAT length of gigabytes.
// The big disks are sparse files built here around small committed volumes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/common/byte_order.h"
#include "support/image_builder.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::cliPath;
using test::runCommand;

using test::CliRun;
using test::writeAt;

CliRun shell(const std::string& command) {
  CliRun r;
  r.status = runCommand(command + " 2>&1", &r.out);
  return r;
}
CliRun cli(const std::string& args) { return test::runCli(args); }

// Copies the fixture volume to `offset` (whole MiB), leaving its zero
// stretches as holes.
void placeVolume(const std::string& path, uint64_t offset, const std::string& fixture) {
  test::require(runCommand("dd if='" + test::fixtureImage(fixture) + "' of='" + path + "' bs=1M seek=" +
                           std::to_string(offset >> 20) + " conv=sparse,notrunc status=none") == 0,
                "could not place " + fixture);
}

// The volume's partition listed with its own label and size, its tree and
// its files read back byte for byte.
void expectVolumeRecovered(const std::string& image, const std::string& partition, const std::string& label,
                           const std::string& sums, const std::string& what) {
  CliRun disks = cli("disks --no-drives --json --image '" + image + "'");
  EXPECT_NE(disks.out.find("\"label\":\"" + label + "\""), std::string::npos) << what << "\n" << disks.out;
  CliRun tree = cli("tree '" + image + "' '" + partition + "'");
  EXPECT_EQ(tree.status, 0) << what << "\n" << tree.out;
  std::istringstream lines(test::fixtureText(sums));
  std::string sum, path;
  while (lines >> sum >> path)
    EXPECT_NE(tree.out.find(path.substr(path.rfind('/') + 1)), std::string::npos) << what << "\n" << tree.out;
  test::TempDir dir;
  CliRun recover = cli("recover '" + image + "' '" + partition + "' '" + dir.file("out") + "'");
  EXPECT_EQ(recover.status, 0) << what << "\n" << recover.out;
  test::expectSavedAsListed(sums, dir.file("out") + "/根目录");
}

// A 128 MiB volume whose cluster heap crosses sector 2^32, behind an MBR
// entry (32-bit fields that still fit) and behind a GPT entry past 2^32.
TEST(GeometryCli, VolumesPastTwoTebibytesAreReadWhereTheyLie) {
  struct Case {
    const char* what;
    uint64_t start;
    bool gptTable;
    const char* partition;
  };
  const Case cases[] = {
      {"MBR entry at 4294836224", 4294836224ull, false, "Partition0"},
      {"GPT entry at 4294969344", 4294969344ull, true, "far(exFat)"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    const std::string image = dir.file("big.img");
    const uint64_t sectors = 262144;
    test::ImageBuilder table(34);
    if (c.gptTable) {
      table.gptHeader();
      table.gptEntry(0, table.kGptBasicData, 2048, 4095, "first");
      table.gptEntry(1, table.kGptBasicData, c.start, c.start + sectors - 1, "far");
    } else {
      table.tableEntry(0, 0, 7, static_cast<uint32_t>(c.start), static_cast<uint32_t>(sectors));
    }
    writeAt(image, 0, table.bytes());
    placeVolume(image, c.start * 512, "geometry-far.img");
    std::filesystem::resize_file(image, (c.start + sectors + 2048) * 512);
    CliRun disks = cli("disks --no-drives --json --image '" + image + "'");
    EXPECT_NE(disks.out.find("\"startSector\":" + std::to_string(c.start) + ",\"sizeSectors\":262144"),
              std::string::npos)
        << c.what << "\n" << disks.out;
    expectVolumeRecovered(image, c.partition, "FAR", "geometry-far.sha256.txt", c.what);
  }
}

// One exFAT volume with 4096-byte sectors of its own, made on a 4K loop
// device: in a partition of a 512-byte disk, and on a disk whose tables
// count 4 KiB sectors.
TEST(GeometryCli, VolumesWithFourKibSectorsInEveryLayout) {
  struct Case {
    const char* fixture;
    const char* partition;
    uint32_t tableSectorSize;
  };
  const Case cases[] = {
      {"geometry-mbr512.img", "Partition0", 512},
      {"geometry-gpt512.img", "(exFat)", 512},
      {"geometry-mbr4k.img", "Partition0", 4096},
      {"geometry-gpt4k.img", "(exFat)", 4096},
  };
  for (const Case& c : cases) {
    const std::string image = test::fixtureImage(c.fixture);
    const std::string boot = test::readRange(image, 1 << 20, 512);
    const uint64_t volumeBytes = le64(reinterpret_cast<const uint8_t*>(boot.data()), 0x48) * 4096;
    CliRun disks = cli("disks --no-drives --json --image '" + image + "'");
    EXPECT_NE(disks.out.find("\"deviceSectorSize\":" + std::to_string(c.tableSectorSize)), std::string::npos)
        << c.fixture << "\n" << disks.out;
    expectVolumeRecovered(image, c.partition, "FOURK", "geometry-4k.sha256.txt", c.fixture);
    // The lost-file scan walks the heap in the volume's own clusters too.
    CliRun scan = cli("scan-lost '" + image + "' '" + c.partition + "'");
    EXPECT_NE(scan.out.find("      large.bin  正常文件  1500000"), std::string::npos) << c.fixture << "\n" << scan.out;
    // The search meets the volume once, at 1 MiB, with its backup boot
    // sector 12 of its own sectors on, and sizes it in 512-byte sectors.
    CliRun search = cli("search '" + image + "' --mode sector --json");
    EXPECT_NE(search.out.find("{\"fileSystem\":\"exFat\",\"label\":\"FOURK\",\"chs\":\"0,0,1\",\"sizeSectors\":" +
                              std::to_string(volumeBytes / 512) + ",\"kind\":\"主\",\"startSector\":2048,"),
              std::string::npos)
        << c.fixture << "\n" << search.out;
    EXPECT_EQ(search.out.find("viaBackup"), search.out.rfind("viaBackup")) << c.fixture << "\n" << search.out;
    // A table backup holds whole disk sectors: with the table and the GPT
    // header wiped, a restore gives the image back byte for byte and the
    // read-back sizes the partition in the disk's own sectors.
    test::TempDir dir;
    const std::string copy = dir.file("copy.img"), backup = dir.file("table.bak");
    std::filesystem::copy_file(image, copy);
    ASSERT_EQ(cli("pt-backup '" + copy + "' '" + backup + "'").status, 0) << c.fixture;
    ASSERT_EQ(runCommand("dd if=/dev/zero of='" + copy + "' bs=4096 count=6 conv=notrunc status=none"), 0);
    CliRun restore = cli("pt-restore '" + copy + "' '" + backup + "' --yes");
    EXPECT_EQ(restore.status, 0) << c.fixture << "\n" << restore.out;
    EXPECT_NE(restore.out.find("start " + std::to_string(c.tableSectorSize == 512 ? 2048 : 256) + " "),
              std::string::npos)
        << c.fixture << "\n" << restore.out;
    EXPECT_NE(restore.out.find(" 23.0 MB\n"), std::string::npos) << c.fixture << "\n" << restore.out;
    EXPECT_TRUE(test::readFile(copy) == test::readFile(image)) << c.fixture;
  }
}

// A 16 MiB image whose entries reach past its end: listed with a warning,
// and imaging copies only what lies on the disk (or nothing), saying so.
TEST(GeometryCli, APartitionPastTheDisksEndIsMarkedAndImagedOnlyAsFarAsTheDiskGoes) {
  test::TempDir dir;
  const std::string image = dir.file("small.img");
  test::ImageBuilder table(1);
  table.tableEntry(0, 0, 7, 2048, 0xFFFFFFFF);
  table.tableEntry(0, 1, 7, 0x100000, 100);
  writeAt(image, 0, table.bytes());
  std::filesystem::resize_file(image, 16u << 20);

  CliRun text = cli("disks --no-drives --image '" + image + "'");
  EXPECT_NE(text.out.find("! Partition0 runs past the end of the disk"), std::string::npos) << text.out;
  CliRun json = cli("disks --no-drives --json --image '" + image + "'");
  EXPECT_NE(json.out.find("\"name\":\"Partition0\""), std::string::npos);
  EXPECT_EQ(json.out.find("\"beyondDiskEnd\":false"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"beyondDiskEnd\":true"), std::string::npos) << json.out;

  CliRun cut = cli("image '" + image + ",Partition0' --to-file '" + dir.file("p0.img") + "' --yes");
  EXPECT_EQ(cut.status, 1) << cut.out;
  EXPECT_NE(cut.out.find("the table claims 4294967295 sector(s), 30720 lie on the disk"), std::string::npos)
      << cut.out.substr(0, 2000);
  EXPECT_NE(cut.out.find("copying 30720 sector(s)"), std::string::npos) << cut.out.substr(0, 2000);
  EXPECT_EQ(std::filesystem::file_size(dir.file("p0.img")), 15u << 20);

  CliRun none = cli("image '" + image + ",Partition1' --to-file '" + dir.file("p1.img") + "' --yes");
  EXPECT_EQ(none.status, 1) << none.out;
  EXPECT_NE(none.out.find("nothing to copy"), std::string::npos) << none.out.substr(0, 2000);
  EXPECT_FALSE(std::filesystem::exists(dir.file("p1.img")));
}

// A whole-disk exFAT volume whose FAT length claims gigabytes, run under a
// 2 GiB address-space limit: the FAT held is what the clusters need, and
// what still cannot be held is an error, not an abort.
TEST(GeometryCli, AHugeFatLengthNeitherAllocatesItNorAborts) {
  struct Case {
    const char* what;
    uint64_t diskBytes;
    uint8_t clusterShift;
    uint32_t fatSectors, clusterCount;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {"15 GiB FatLength, 16 Mi clusters", 64ull << 30, 3, 15u << 21, 1u << 24, 0, "根目录"},
      {"16 GiB FatLength, 2^32 clusters", 1ull << 40, 0, (1u << 25) - 8, 0xFFFFFFF0u, 1, "not enough memory"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    const std::string image = dir.file("huge.img");
    test::ImageBuilder boot(1);
    boot.exfatVolume(0, c.diskBytes / 512);
    uint8_t* b = boot.sector(0);
    putLe32(b, 0x50, 24);
    putLe32(b, 0x54, c.fatSectors);
    putLe32(b, 0x58, 24 + c.fatSectors);
    putLe32(b, 0x5C, c.clusterCount);
    b[0x6D] = c.clusterShift;
    writeAt(image, 0, boot.bytes());
    std::filesystem::resize_file(image, c.diskBytes);
    for (const char* command : {"tree", "scan-lost"}) {
      if (c.status == 0 && std::string(command) == "scan-lost") continue;  // a scan of 64 GiB of holes
      CliRun r = shell("(ulimit -v 2097152; exec " + cliPath() + " " + command + " '" + image + "' Partition0)");
      EXPECT_EQ(r.status, c.status) << c.what << " / " << command << "\n" << r.out.substr(0, 2000);
      EXPECT_NE(r.out.find(c.says), std::string::npos) << c.what << " / " << command << "\n" << r.out.substr(0, 2000);
    }
  }
}

}  // namespace
}  // namespace dudorazu
