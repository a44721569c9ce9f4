// End-to-end runs of the partition-tool commands on copies of real images.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::cliPath;
using test::readFile;
using test::runCommand;
using test::TempDir;

struct CliRun {
  int status;
  std::string out;
};

// Runs the command without a terminal on stdin; stderr joins stdout.
CliRun cli(const std::string& arguments) {
  CliRun r;
  std::string command(1, '\'');
  command += cliPath() + "' ";
  r.status = runCommand(command + arguments + " </dev/null 2>&1", &r.out);
  return r;
}

std::string copyOf(const TempDir& dir, const std::string& name) {
  std::string target = dir.file(name);
  EXPECT_EQ(runCommand("cp --sparse=always '" + test::fixtureImage(name) + "' '" + target + "'"), 0);
  return target;
}

std::string firstSector(const std::string& path) {
  std::string bytes(512, '\0');
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f) {
    bytes.resize(std::fread(bytes.data(), 1, 512, f));
    std::fclose(f);
  }
  return bytes;
}

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

TEST(ToolsCli, SearchPrintsEachVolumeAndTheResultingPartitionList) {
  TempDir dir;
  std::string img = copyOf(dir, "tools-search.img");
  CliRun json = cli("search '" + img + "' --json");
  ASSERT_EQ(json.status, 0) << json.out;
  EXPECT_TRUE(contains(json.out, R"({"fileSystem":"exFat","label":"TOOLSB","chs":"2,0,1","sizeSectors":16384,"kind":"主")"))
      << json.out;
  EXPECT_TRUE(contains(json.out, R"("chs":"4,1,1","sizeSectors":8192,"kind":"逻辑")")) << json.out;
  EXPECT_TRUE(contains(json.out, R"("partitions":[{"name":"Partition0")")) << json.out;

  CliRun text = cli("search '" + img + "' --mode sector");
  ASSERT_EQ(text.status, 0) << text.out;
  EXPECT_TRUE(contains(text.out, "TOOLSA")) << text.out;
  EXPECT_TRUE(contains(text.out, "start 64323")) << text.out;
  EXPECT_EQ(cli("search '" + img + "' --mode diagonal").status, 2);
}

TEST(ToolsCli, RebuildMbrAsksBeforeWritingAndTheDiskIsReadableAfterwards) {
  TempDir dir;
  std::string img = copyOf(dir, "tools-search.img");
  std::string sector0 = firstSector(img);
  CliRun list = cli("rebuild-mbr '" + img + "' --mode sector --list");
  ASSERT_EQ(list.status, 0) << list.out;
  EXPECT_TRUE(contains(list.out, "32130")) << list.out;

  CliRun refused = cli("rebuild-mbr '" + img + "' --mode sector --start 2048 --start 32130");
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(contains(refused.out, "sector 0 of tools-search.img")) << "names what it overwrites: " << refused.out;
  EXPECT_TRUE(contains(refused.out, "--yes")) << refused.out;
  EXPECT_EQ(firstSector(img), sector0);

  EXPECT_EQ(cli("rebuild-mbr '" + img + "' --mode sector --start 12345 --yes").status, 2) << "no such row";

  CliRun written = cli("rebuild-mbr '" + img + "' --mode sector --start 2048 --start 32130 --yes");
  ASSERT_EQ(written.status, 0) << written.out;
  CliRun disks = cli("disks --no-drives --json --image '" + img + "'");
  EXPECT_TRUE(contains(disks.out, R"("startSector":2048,"sizeSectors":16384)")) << disks.out;
  EXPECT_TRUE(contains(disks.out, R"("startSector":32130,"sizeSectors":16384)")) << disks.out;
}

TEST(ToolsCli, BackupNeverReplacesAFileSilentlyAndRestoreNeedsConsent) {
  TempDir dir;
  std::string img = copyOf(dir, "tools-bigtable.img");
  std::string file = dir.file("table.bak");
  test::writeFile(file, "keep me");
  CliRun refused = cli("pt-backup '" + img + "' '" + file + "'");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(readFile(file), "keep me");

  // Made through a relative path, restored through an absolute one: the
  // disk is the same file, so the backup matches it.
  CliRun backup;
  backup.status = runCommand("cd '" + dir.path() + "' && '" + cliPath() +
                                 "' pt-backup tools-bigtable.img table.bak --yes </dev/null 2>&1",
                             &backup.out);
  ASSERT_EQ(backup.status, 0) << backup.out;
  EXPECT_TRUE(contains(backup.out, "备份成功"));
  ASSERT_EQ(runCommand("dd if=/dev/zero of='" + img + "' bs=512 count=1 conv=notrunc status=none"), 0);

  CliRun ask = cli("pt-restore '" + img + "' '" + file + "'");
  EXPECT_EQ(ask.status, 1);
  EXPECT_TRUE(contains(ask.out, "6 sector(s)")) << ask.out;
  EXPECT_EQ(firstSector(img).substr(510, 2), std::string(2, '\0')) << "nothing written without consent";
  CliRun restore = cli("pt-restore '" + img + "' '" + file + "' --yes");
  EXPECT_EQ(restore.status, 0) << restore.out;
  EXPECT_TRUE(contains(restore.out, "恢复成功"));
  EXPECT_EQ(firstSector(img).substr(510, 2), "\x55\xAA");

  test::writeFile(file, "0^/elsewhere^tools-bigtable.img");
  CliRun hostile = cli("pt-restore '" + img + "' '" + file + "' --yes");
  EXPECT_EQ(hostile.status, 1);
  EXPECT_TRUE(contains(hostile.out, "备份文件格式错误")) << hostile.out;
}

TEST(ToolsCli, GptRestoreReadsTheTableBackAndSaysWhatItHolds) {
  TempDir dir;
  std::string img = copyOf(dir, "partitions-gpt.img");
  std::string file = dir.file("gpt.bak");
  ASSERT_EQ(cli("pt-backup '" + img + "' '" + file + "'").status, 0);
  auto wipeGpt = [&] {
    for (const char* seek : {"1", "98271"})  // both headers and entry arrays
      ASSERT_EQ(runCommand("dd if=/dev/zero of='" + img + "' bs=512 seek=" + seek +
                           " count=33 conv=notrunc status=none"),
                0);
  };
  wipeGpt();
  CliRun restore = cli("pt-restore '" + img + "' '" + file + "' --yes");
  EXPECT_EQ(restore.status, 0) << restore.out;
  EXPECT_TRUE(contains(restore.out, "恢复成功"));
  EXPECT_TRUE(contains(restore.out, "partitions-gpt.img: 6 partition(s)")) << restore.out;
  EXPECT_TRUE(contains(restore.out, "Data(exFat)")) << restore.out;

  // A backup made before GPT sectors were saved: sector 0 and the first
  // partition's. It still restores, and the read-back says what is missing.
  std::string bytes = readFile(file);
  std::string owner = bytes.substr(bytes.rfind('^', bytes.rfind('^') - 1) + 1);
  std::string pristine = readFile(test::fixtureImage("partitions-gpt.img"));
  test::writeFile(file, pristine.substr(0, 512) + pristine.substr(2048 * 512, 512) + "0^1048576^" + owner);
  wipeGpt();
  CliRun old = cli("pt-restore '" + img + "' '" + file + "' --yes");
  EXPECT_EQ(old.status, 1) << old.out;
  EXPECT_TRUE(contains(old.out, "恢复成功")) << old.out;
  EXPECT_TRUE(contains(old.out, "0 partition(s)")) << old.out;
  EXPECT_TRUE(contains(old.out, "holds no GPT header")) << old.out;
}

TEST(ToolsCli, ImageCopiesToAFileAndWritesTheMap) {
  TempDir dir;
  std::string img = copyOf(dir, "tools-search.img");
  std::string out = dir.file("copy.img"), map = dir.file("copy.map");
  CliRun run = cli("image '" + img + "' --to-file '" + out + "' --mapfile '" + map + "'");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(contains(run.out, "镜像完毕"));
  EXPECT_TRUE(readFile(out) == readFile(img));
  EXPECT_TRUE(contains(readFile(map), "0x00000000  0x02800000  +")) << readFile(map);

  CliRun again = cli("image '" + img + "' --to-file '" + out + "'");
  EXPECT_EQ(again.status, 1) << "an existing file is not replaced without consent";

  std::string part = dir.file("part.img");
  CliRun partition = cli("image '" + img + ",nothing' --to-file '" + part + "'");
  EXPECT_EQ(partition.status, 1);
  EXPECT_TRUE(contains(partition.out, "no partition 'nothing'")) << partition.out;
  EXPECT_EQ(cli("image '" + img + "' --to-file a --to-disk b").status, 2);
}

TEST(ToolsCli, UpcaseScanTellsWhetherATableWasFound) {
  CliRun run = cli("upcase-scan '" + test::fixtureImage("tools-bigtable.img") + "' Partition0 --json");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(contains(run.out, "{\"found\":")) << run.out;
}

}  // namespace
}  // namespace dudorazu
