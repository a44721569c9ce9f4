// Disks past 2 TiB, with 4 KiB sectors, tables past the disk end and a FAT length of gigabytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "core/common/byte_order.h"
#include "support/image_builder.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

// The partition listed as `disk` says, its files read back byte for byte.
void expectVolumeRecovered(const std::string& image, const std::string& partition, const std::string& sums,
                           const std::vector<std::string>& disk) {
  expectCli("disks --no-drives --json --image " + image, 0, disk);
  test::TempDir dir;
  expectCli("recover " + image + " '" + partition + "' " + dir.file("out"), 0);
  test::expectSavedAsListed(sums, dir.file("out") + "/根目录");
}

// In a 3 TiB disk: a volume whose heap crosses sector 2^32, behind an MBR
// entry and a GPT entry past 2^32, and one of 4096-byte sectors past 2 TiB.
TEST(GeometryCli, VolumesPastTwoTebibytesAreReadWhereTheyLie) {
  for (const auto& [start, gpt, fourK] : {std::tuple{4294836224ull, false, false}, std::tuple{4294969344ull, true, false},
                                          std::tuple{5368709120ull, true, true}}) {
    SCOPED_TRACE(start);
    const uint64_t sectors = fourK ? 47071 : 262144;
    test::TempDir dir;
    const std::string image = dir.file("big.img");
    test::ImageBuilder table(34);
    if (gpt) {
      table.gptHeader();
      table.gptEntry(0, table.kGptBasicData, 2048, 4095, "first");
      table.gptEntry(1, table.kGptBasicData, start, start + sectors - 1, "far");
    } else {
      table.tableEntry(0, 0, 7, static_cast<uint32_t>(start), static_cast<uint32_t>(sectors));
    }
    test::writeAt(image, 0, table.bytes());
    ASSERT_EQ(runCommand("dd if=" + test::fixtureImage(fourK ? "geometry-gpt512.img" : "geometry-far.img") + " of=" +
                         image + " bs=1M skip=" + (fourK ? "1" : "0") + " seek=" + std::to_string(start >> 11) +
                         " conv=sparse,notrunc status=none"),
              0);
    std::filesystem::resize_file(image, 3ull << 40);
    const std::string partition = gpt ? "far(exFat)" : "Partition0";
    expectVolumeRecovered(image, partition, fourK ? "geometry-4k.sha256.txt" : "geometry-far.sha256.txt",
                          {"\"startSector\":" + std::to_string(start) + ",\"sizeSectors\":" + std::to_string(sectors),
                           fourK ? "\"label\":\"FOURK\"" : "\"label\":\"FAR\""});
    expectCli("scan-lost " + image + " '" + partition + "'", 0,
              {fourK ? "      large.bin  正常文件  1500000  " : "    file9.bin  正常文件  12000000  "});
  }
}

// A volume of 4096-byte sectors, on a 512-byte disk and on one whose tables count 4 KiB sectors.
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
    SCOPED_TRACE(c.fixture);
    const std::string image = test::fixtureImage(c.fixture), boot = test::readRange(image, 1 << 20, 512);
    const uint64_t volumeBytes = le64(reinterpret_cast<const uint8_t*>(boot.data()), 0x48) * 4096;
    expectVolumeRecovered(image, c.partition, "geometry-4k.sha256.txt",
                          {"\"deviceSectorSize\":" + std::to_string(c.tableSectorSize), "\"label\":\"FOURK\""});
    // The lost-file scan walks the heap in the volume's own clusters too.
    expectCli("scan-lost " + image + " '" + c.partition + "'", 0, {"      large.bin  正常文件  1500000"});
    // The search meets the volume once, at 1 MiB, with its backup boot
    // sector 12 of its own sectors on, and sizes it in 512-byte sectors.
    CliRun search = expectCli("search " + image + " --mode sector --json", 0,
                              {"{\"fileSystem\":\"exFat\",\"label\":\"FOURK\",\"chs\":\"0,0,1\",\"sizeSectors\":" +
                               std::to_string(volumeBytes / 512) + ",\"kind\":\"主\",\"startSector\":2048,"});
    EXPECT_EQ(search.out.find("viaBackup"), search.out.rfind("viaBackup")) << search.out;
    // A table backup holds whole disk sectors: with the table and the GPT
    // header wiped, a restore gives the image back byte for byte and the
    // read-back sizes the partition in the disk's own sectors.
    test::TempDir dir;
    const std::string copy = test::copyFixture(dir, c.fixture), backup = dir.file("table.bak");
    expectCli("pt-backup " + copy + " " + backup, 0);
    test::writeAt(copy, 0, std::string(6 * 4096, '\0'));
    expectCli("pt-restore " + copy + " " + backup + " --yes", 0,
              {"start " + std::to_string(c.tableSectorSize == 512 ? 2048 : 256) + " ", " 23.0 MB\n"});
    EXPECT_TRUE(test::readFile(copy) == test::readFile(image));
    // Without its main boot sector the volume keeps its name and the disk
    // its sector size, and is read through the backup 12 of its own sectors on.
    test::writeAt(copy, 1 << 20, std::string(512, '\0'));
    expectCli("tree " + copy + " '" + c.partition + "'", 0, {"through its backup boot sector", "large.bin"});
  }
}

// Entries past the image end are marked, and imaging copies only what lies on the disk.
TEST(GeometryCli, APartitionPastTheDisksEndIsMarkedAndImagedOnlyAsFarAsTheDiskGoes) {
  test::TempDir dir;
  const std::string image = dir.file("small.img");
  test::ImageBuilder table(1);
  table.tableEntry(0, 0, 7, 2048, 0xFFFFFFFF);
  table.tableEntry(0, 1, 7, 0x100000, 100);
  test::writeAt(image, 0, table.bytes());
  std::filesystem::resize_file(image, 16u << 20);
  expectCli("disks --no-drives --image " + image, 0, {"! Partition0 runs past the end of the disk"});
  CliRun json = expectCli("disks --no-drives --json --image " + image, 0,
                          {"\"name\":\"Partition0\"", "\"beyondDiskEnd\":true"});
  EXPECT_FALSE(test::contains(json.out, "\"beyondDiskEnd\":false")) << json.out;
  expectCli("image " + image + ",Partition0 --to-file " + dir.file("p0.img") + " --yes", 1,
            {"分区表记载4294967295个扇区，磁盘上只有30720个", "copying 30720 sector(s)"});
  expectCli("image " + image + ",Partition1 --to-file " + dir.file("p1.img") + " --yes", 1, {"没有可复制的扇区"});
  EXPECT_TRUE(std::filesystem::file_size(dir.file("p0.img")) == 15u << 20 && !std::filesystem::exists(dir.file("p1.img")));
}

// A FAT length of gigabytes under an address-space limit: a FAT of zeros
// costs next to nothing, and what does not fit is an error, never an abort.
TEST(GeometryCli, AHugeFatLengthNeitherAllocatesItNorAborts) {
  struct Case {
    const char* what;
    uint64_t diskBytes;
    uint8_t clusterShift;
    uint32_t fatSectors, clusterCount, limitKib, endMarkMib;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {"15 GiB FatLength, 16 Mi clusters", 64ull << 30, 3, 15u << 21, 1u << 24, 2u << 20, 0, 0, "根目录"},
      // 512 MiB of FAT, all zeros: a word for each 4 KiB of it is held.
      {"16 GiB FatLength, 2^32 clusters", 64ull << 30, 0, (1u << 25) - 8, 0xFFFFFFF0u, 384u << 10, 0, 0, "根目录"},
      {"64 MiB of it end marks, in 96 MiB", 64ull << 30, 0, (1u << 25) - 8, 0xFFFFFFF0u, 96u << 10, 64, 1,
       "not enough memory"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    const std::string image = dir.file("huge.img");
    test::ImageBuilder boot(1);
    boot.exfatVolume(0, c.diskBytes / 512);
    uint8_t* b = boot.sector(0);
    for (auto [at, value] : {std::pair{0x50, 24u}, {0x54, c.fatSectors}, {0x58, 24 + c.fatSectors}, {0x5C, c.clusterCount}})
      putLe32(b, at, value);
    b[0x6D] = c.clusterShift;
    test::writeAt(image, 0, boot.bytes());
    test::writeAt(image, 24 * 512, std::string(size_t{c.endMarkMib} << 20, '\xFF'));
    std::filesystem::resize_file(image, c.diskBytes);
    for (const std::string command : {"tree", "scan-lost"}) {
      if (c.status == 0 && command == "scan-lost") continue;  // a scan of 64 GiB of holes
      std::string out, run = "(ulimit -v " + std::to_string(c.limitKib) + "; exec " + cliPath() + " " + command + " " +
                             image + " Partition0) 2>&1";
      const int status = runCommand(run, &out);
      EXPECT_TRUE(status == c.status && contains(out, c.says)) << c.what << " / " << command << "\n" << out.substr(0, 2000);
    }
  }
}

}  // namespace
}  // namespace dudorazu
