// End-to-end runs of the partition-tool commands on copies of real images.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::cliPath;
using test::readFile;
using test::runCommand;
using test::TempDir;

using test::CliRun;
using test::contains;

CliRun cli(const std::string& arguments) { return test::runCli(arguments); }

std::string firstSector(const std::string& path) { return test::readRange(path, 0, 512); }

TEST(ToolsCli, SearchPrintsEachVolumeAndTheResultingPartitionList) {
  TempDir dir;
  std::string img = test::copyFixture(dir, "tools-search.img");
  CliRun json = cli("search '" + img + "' --json");
  ASSERT_EQ(json.status, 0) << json.out;
  EXPECT_TRUE(contains(json.out, R"({"fileSystem":"exFat","label":"TOOLSB","chs":"2,0,1","sizeSectors":16384,"kind":"主")"))
      << json.out;
  EXPECT_TRUE(contains(json.out, R"("partitions":[{"name":"Partition0")")) << json.out;

  CliRun text = cli("search '" + img + "' --mode sector");
  ASSERT_EQ(text.status, 0) << text.out;
  EXPECT_TRUE(contains(text.out, "TOOLSA")) << text.out;
  EXPECT_TRUE(contains(text.out, "start 64323")) << text.out;
  EXPECT_EQ(cli("search '" + img + "' --mode diagonal").status, 2);

  // The default search meets volumes on 1 MiB boundaries, off the grid.
  CliRun gpt = cli("search '" + test::fixtureImage("tools-gpt.img") + "' --json");
  ASSERT_EQ(gpt.status, 0) << gpt.out;
  EXPECT_TRUE(contains(gpt.out, R"("label":"GPTA","chs":"0,32,33","sizeSectors":409600)")) << gpt.out;
}

TEST(ToolsCli, RebuildMbrAsksBeforeWritingAndTheDiskIsReadableAfterwards) {
  TempDir dir;
  std::string img = test::copyFixture(dir, "tools-search.img");
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
  std::string img = test::copyFixture(dir, "tools-bigtable.img");
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
  std::string img = test::copyFixture(dir, "partitions-gpt.img");
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
  std::string img = test::copyFixture(dir, "tools-search.img");
  std::string out = dir.file("copy.img"), map = dir.file("copy.map");
  CliRun run = cli("image '" + img + "' --to-file '" + out + "' --mapfile '" + map + "'");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(contains(run.out, "镜像完毕"));
  EXPECT_TRUE(readFile(out) == readFile(img));
  EXPECT_TRUE(contains(readFile(map), "0x00000000  0x02800000  +")) << readFile(map);

  // Runs that cannot give what was asked for end with status 1 and say why.
  struct Refusal {
    std::string arguments;
    const char* said;
  } refusals[] = {
      {"--to-file '" + out + "'", "this replaces the file"},  // not without consent
      {"--to-file '" + dir.file("tail.img") + "' --start 81900 --mapfile '" + dir.file("no/such/dir.map") + "'",
       "could not write the mapfile"},
      {"--to-file '" + dir.file("past.img") + "' --start 81920", "--start 81920 lies past the end"},
  };
  for (const Refusal& r : refusals) {
    CliRun run = cli("image '" + img + "' " + r.arguments);
    EXPECT_EQ(run.status, 1) << r.arguments << "\n" << run.out;
    EXPECT_TRUE(contains(run.out, r.said)) << r.arguments << "\n" << run.out;
  }
  CliRun partition = cli("image '" + img + ",nothing' --to-file '" + dir.file("part.img") + "'");
  EXPECT_EQ(partition.status, 1);
  EXPECT_TRUE(contains(partition.out, "no partition 'nothing'")) << partition.out;
  EXPECT_EQ(cli("image '" + img + "' --to-file a --to-disk b").status, 2);
}

// Replaces every {name} in `pattern` by its value.
std::string expand(std::string pattern, const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [name, value] : values)
    for (size_t at; (at = pattern.find(name)) != std::string::npos;) pattern.replace(at, name.size(), value);
  return pattern;
}

// Files a command writes are compared with what it reads by what they are,
// and a FIFO or an odd target is refused up front: the source's bytes stay,
// and nothing waits for ever.
TEST(ToolsCli, OutputsNeverReplaceInputsAndOddPathsAreRefused) {
  TempDir dir;
  std::string src = dir.file("src.img");
  ASSERT_EQ(runCommand("cp '" + test::fixtureImage("recovery-main.img") + "' '" + src + "'"), 0);
  const std::string original = readFile(src);
  std::string link = dir.file("link.img"), file = dir.file("keep.txt"), fifo = dir.file("fifo");
  ASSERT_EQ(runCommand("ln '" + src + "' '" + link + "' && mkfifo '" + fifo + "'"), 0);
  test::writeFile(file, "keep me");
  std::vector<std::pair<std::string, std::string>> names = {
      {"{src}", src}, {"{link}", link}, {"{file}", file}, {"{fifo}", fifo}, {"{dir}", dir.path()}};
  struct Row {
    const char* command;
    int status;
    const char* says;
  };
  std::vector<Row> rows = {
      {"recover {src} Partition0 {dir}/o1 --report {src}", 1, "is SOURCE"},
      {"recover {src} Partition0 {dir}/o2 --report {link}", 1, "is SOURCE"},
      {"recover {src} Partition0 {dir}/o3 --report {file}", 1, "--yes"},
      {"recover {src} Partition0 {dir}/o4 --report {fifo}", 1, "neither a regular file"},
      {"recover {src} Partition0 ''", 2, "DEST is empty"},
      {"recover {src} Partition0 {file}", 1, "not a folder"},
      {"recover {src} Partition0 {file}/sub", 1, "cannot save into"},
      {"pt-backup {src} {src} --yes", 1, "is the disk"},
      {"pt-backup {src} {link} --yes", 1, "is the disk"},
      {"pt-backup {src} {fifo} --yes", 1, "neither a regular file"},
      {"pt-restore {src} {fifo} --yes", 1, "neither a regular file"},
      {"image {src} --to-file {link} --yes", 1, "is the source"},
      {"image {src} --to-file {dir}/o.img --mapfile {link} --yes", 1, "is the source"},
      {"image {src} --to-file {dir}/o.img --mapfile {dir}/o.img --yes", 1, "is the image file"},
      {"image {fifo} --to-file {dir}/o.img", 1, "cannot open"},
      {"tree {fifo} Partition0", 1, "cannot open"},
      {"search {fifo}", 1, "cannot open"},
      {"disks --no-drives --image {fifo}", 1, "cannot open"},
  };
  // Over a loop device the source is a block device standing for the file,
  // whole or from the partition on (an offset loop).
  std::unique_ptr<test::LoopDevice> whole, fromPartition;
  if (test::canUseLoopDevices()) {  // root: always so in CI
    whole = std::make_unique<test::LoopDevice>(src);
    fromPartition = std::make_unique<test::LoopDevice>(src, "-o 1048576");
    ASSERT_FALSE(whole->path().empty() || fromPartition->path().empty()) << "losetup failed";
    names.push_back({"{loop}", whole->path()});
    names.push_back({"{offsetloop}", fromPartition->path()});
    rows.push_back({"image {src},Partition0 --to-disk {loop} --yes", 1, "is the source"});
    rows.push_back({"image {src},Partition0 --to-disk {offsetloop} --yes", 1, "is the source"});
    rows.push_back({"image {loop},Partition0 --to-disk {src} --yes", 1, "is the source"});
    rows.push_back({"pt-backup {offsetloop} {src} --yes", 1, "is the disk"});
  }
  for (const Row& row : rows) {
    const std::string command = expand(row.command, names);
    CliRun run = cli(command);
    EXPECT_EQ(run.status, row.status) << command << "\n" << run.out;
    EXPECT_TRUE(contains(run.out, row.says)) << command << "\n" << run.out;
    EXPECT_FALSE(contains(run.out, "failed:")) << "one refusal, not one line per file: " << run.out;
    EXPECT_TRUE(readFile(src) == original) << "the source changed: " << command;
    EXPECT_EQ(readFile(file), "keep me") << command;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("o.img"))) << "a refused image creates no file";
  CliRun replaced = cli(expand("recover {src} Partition0 {dir}/o5 --report {file} --yes", names));
  EXPECT_EQ(replaced.status, 0) << replaced.out;
  EXPECT_TRUE(contains(readFile(file), "<dfxml")) << "--yes replaces the report";
}

}  // namespace
}  // namespace dudorazu
