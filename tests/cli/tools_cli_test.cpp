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

using namespace test;

std::string firstSector(const std::string& path) { return test::readRange(path, 0, 512); }

TEST(ToolsCli, RebuildMbrAsksBeforeWritingAndTheDiskIsReadableAfterwards) {
  TempDir dir;
  std::string img = test::copyFixture(dir, "tools-search.img"), sector0 = firstSector(img);
  // Names what it overwrites and how to agree.
  expectCli("rebuild-mbr " + img + " --mode sector --start 2048 --start 32130", 1,
            {"sector 0 of tools-search.img", "--yes"});
  expectCli("rebuild-mbr " + img + " --mode sector --start 12345 --yes", 2);  // no such row
  EXPECT_EQ(firstSector(img), sector0);
  expectCli("rebuild-mbr " + img + " --mode sector --start 2048 --start 32130 --yes", 0);
  expectCli("disks --no-drives --json --image " + img, 0,
            {R"("startSector":2048,"sizeSectors":16384)", R"("startSector":32130,"sizeSectors":16384)"});

  // Boot sectors (both copies) that claim too much: TOOLSA 40,000 sectors,
  // into TOOLSB; TOOLSC 0x7FFFFFF0 on this 81,920-sector disk.
  TempDir other;
  std::string odd = test::copyFixture(other, "tools-search.img"), oddSector0 = firstSector(odd);
  for (auto [sector, length] : {std::pair{2048ull, 40000ull}, {2060ull, 40000ull}, {64335ull, 0x7FFFFFF0ull}}) {
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>(length >> (8 * i));
    test::writeAt(odd, sector * 512 + 0x48, bytes);
  }
  expectCli("rebuild-mbr " + odd + " --mode sector --start 2048 --start 32130 --yes", 1,
            {"exFat 卷 TOOLSA（起始扇区 2048） 与 exFat 卷 TOOLSB（起始扇区 32130） 重叠"});
  EXPECT_EQ(firstSector(odd), oddSector0) << "overlapping entries are never written";
  expectCli("rebuild-mbr " + odd + " --mode sector --start 32130 --start 64323 --yes", 0,
            {"start 64323, 17597 sectors (the volume runs past the disk's end"});
  expectCli("disks --no-drives --json --image " + odd, 0, {R"("startSector":64323,"sizeSectors":17597)"});
}

TEST(ToolsCli, BackupNeverReplacesAFileSilentlyAndRestoreNeedsConsent) {
  TempDir dir;
  std::string img = test::copyFixture(dir, "tools-bigtable.img"), file = dir.file("table.bak");
  test::writeFile(file, "keep me");
  expectCli("pt-backup " + img + " " + file, 1);
  EXPECT_EQ(readFile(file), "keep me");
  // Made through a relative path, restored through an absolute one: the
  // disk is the same file, so the backup matches it.
  std::string said, relative = " pt-backup tools-bigtable.img table.bak --yes </dev/null 2>&1";
  const int status = runCommand("cd " + dir.path() + " && " + cliPath() + relative, &said);
  EXPECT_TRUE(status == 0 && contains(said, "备份成功")) << said;
  test::writeAt(img, 0, std::string(512, '\0'));
  expectCli("pt-restore " + img + " " + file, 1, {"6 sector(s)"});
  EXPECT_EQ(firstSector(img).substr(510, 2), std::string(2, '\0')) << "nothing written without consent";
  expectCli("pt-restore " + img + " " + file + " --yes", 0, {"恢复成功"});
  EXPECT_EQ(firstSector(img).substr(510, 2), "\x55\xAA");
  test::writeFile(file, "0^/elsewhere^tools-bigtable.img");
  expectCli("pt-restore " + img + " " + file + " --yes", 1, {"备份文件格式错误"});
}

TEST(ToolsCli, GptRestoreReadsTheTableBackAndSaysWhatItHolds) {
  TempDir dir;
  std::string img = test::copyFixture(dir, "partitions-gpt.img"), file = dir.file("gpt.bak");
  expectCli("pt-backup " + img + " " + file, 0);
  auto wipeGpt = [&] {  // both headers and entry arrays
    for (uint64_t sector : {1, 98271}) test::writeAt(img, sector * 512, std::string(33 * 512, '\0'));
  };
  wipeGpt();
  expectCli("pt-restore " + img + " " + file + " --yes", 0,
            {"恢复成功", "partitions-gpt.img: 6 partition(s)", "Data(exFat)"});
  // A backup made before GPT sectors were saved (sector 0 and the first
  // partition's): with the GPT gone no table names sector 2048, so nothing
  // is written; sector 0 alone restores, and the read-back says what is
  // missing.
  std::string bytes = readFile(file), pristine = readFile(test::fixtureImage("partitions-gpt.img"));
  std::string owner = bytes.substr(bytes.rfind('^', bytes.rfind('^') - 1) + 1);
  test::writeFile(file, pristine.substr(0, 512) + pristine.substr(2048 * 512, 512) + "0^1048576^" + owner);
  wipeGpt();
  const std::string wiped = readFile(img);
  expectCli("pt-restore " + img + " " + file + " --yes", 1, {"偏移 1048576 处的扇区"});
  EXPECT_TRUE(readFile(img) == wiped);
  test::writeFile(file, pristine.substr(0, 512) + "0^" + owner);
  expectCli("pt-restore " + img + " " + file + " --yes", 1, {"恢复成功", "0 partition(s)", "holds no GPT header"});
}

TEST(ToolsCli, ImageCopiesToAFileAndWritesTheMap) {
  TempDir dir;
  std::string img = test::copyFixture(dir, "tools-search.img");
  std::string out = dir.file("copy.img"), map = dir.file("copy.map");
  expectCli("image " + img + " --to-file " + out + " --mapfile " + map, 0,
            {"镜像完毕", "Copying non-tried blocks... Pass 1 (forwards)", "Finished", "rescued: 40.0 MiB (100.00%)"});
  EXPECT_TRUE(readFile(out) == readFile(img));
  // Runs that cannot give what was asked for end with status 1 and say why.
  const std::pair<std::string, const char*> refusals[] = {
      {"--to-file " + out, "this replaces the file"},  // not without consent, and no map of it beside it
      {"--to-file " + dir.file("tail.img") + " --start 81900 --mapfile " + dir.file("no/such/dir.map"),
       "could not write the mapfile"},
      {"--to-file " + dir.file("past.img") + " --start 81920", "起始扇区81920超出源的末尾"},
      {"--to-file " + dir.file("r.img") + " --resume " + dir.file("absent.map"), "cannot open the mapfile"},
  };
  for (const auto& [arguments, said] : refusals) expectCli("image " + img + " " + arguments, 1, {said});
  for (const char* usage : {" --retries x", " --retries 1001", " --resume m --mapfile n", " --mapfile ''"})
    expectCli("image " + img + " --to-file " + dir.file("u.img") + usage, 2);

  // Without --mapfile the map lies beside the image; with it there, the
  // same command goes on instead of starting anew (and asks nothing).
  const std::string second = dir.file("second.img");
  expectCli("image " + img + " --to-file " + second + " --reverse --retries 2 --no-scrape", 0,
            {"Pass 1 (backwards)"});
  EXPECT_TRUE(test::contains(readFile(second + ".map"), "0x00000000  0x02800000  +"));
  test::writeFile(second + ".map", "0 ? 1\n0 0x1000000 +\n0x1000000 0x1800000 ?\n");
  test::writeAt(img, 0, "changed");  // a finished byte is never read again
  expectCli("image " + img + " --to-file " + second, 0, {"going on from the mapfile"});
  EXPECT_EQ(test::readRange(second, 0, 7), test::readRange(test::fixtureImage("tools-search.img"), 0, 7));
  EXPECT_TRUE(readFile(second).substr(16 << 20) == readFile(img).substr(16 << 20));
  test::writeFile(second + ".map", "not a map");
  expectCli("image " + img + " --to-file " + second, 1, {"映射文件无法使用"});
  EXPECT_EQ(readFile(second + ".map"), "not a map") << "a map we cannot read is left alone";
  // A sector the map calls bad stays bad without --retries: status 1.
  test::writeFile(second + ".map", "0 - 1\n0 0x200 -\n0x200 0x27FFE00 +\n");
  expectCli("image " + img + " --to-file " + second, 1, {"1 sector(s) could not be read", "not every byte"});
  EXPECT_EQ(test::readRange(second, 0, 512), std::string(512, '\x20'));
  expectCli("image " + img + " --to-file " + second + " --retries 1", 0, {"Retrying bad sectors... Retry 1"});
}

// The mapfile travels both ways between us and GNU ddrescue.
TEST(ToolsCli, DdrescueAndWeGoOnFromEachOthersMaps) {
  DUDORAZU_SKIP_UNLESS(test::haveTool("ddrescue"), "ddrescue is not installed");
  TempDir dir;
  std::string img = test::copyFixture(dir, "tools-search.img");
  const std::string original = readFile(img), ours = dir.file("ours.img"), theirs = dir.file("theirs.img");
  expectCli("image " + img + " --to-file " + ours, 0);
  // Our finished map leaves ddrescue nothing to do: a changed source byte
  // is not copied again.
  test::writeAt(img, 4096, "changed");
  ASSERT_EQ(runCommand("ddrescue -q '" + img + "' '" + ours + "' '" + ours + ".map' 2>&1"), 0);
  EXPECT_TRUE(readFile(ours) == original);
  // A map ddrescue left half done: we copy only the other half.
  test::writeFile(img, original);
  ASSERT_EQ(runCommand("ddrescue -q -s 16MiB '" + img + "' '" + theirs + "' '" + theirs + ".map' 2>&1"), 0);
  test::writeAt(img, 8192, "changed");
  expectCli("image " + img + " --to-file " + theirs + " --resume " + theirs + ".map", 0, {"镜像完毕"});
  EXPECT_TRUE(readFile(theirs) == original);
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
  const std::string src = test::copyFixture(dir, "recovery-main.img"), original = readFile(src);
  std::string link = dir.file("link.img"), file = dir.file("keep.txt"), fifo = dir.file("fifo");
  ASSERT_EQ(runCommand("ln '" + src + "' '" + link + "' && mkfifo '" + fifo + "'"), 0);
  test::writeFile(file, "keep me");
  // A table backup of the source whose first offset (sector 0) was changed
  // to a sector of the exFAT heap.
  const std::string heap = dir.file("heap.bak");
  expectCli("pt-backup " + src + " " + heap, 0);
  std::string backup = readFile(heap);
  ASSERT_EQ(backup.substr(1024, 10), "0^1048576^");
  test::writeFile(heap, backup.substr(0, 1024) + "6168576" + backup.substr(1025));
  std::vector<std::pair<std::string, std::string>> names = {{"{src}", src},   {"{link}", link},
                                                            {"{file}", file}, {"{fifo}", fifo},
                                                            {"{dir}", dir.path()}, {"{heap}", heap}};
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
      {"pt-restore {src} {heap} --yes", 1, "偏移 6168576 处的扇区"},
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
  auto refused = [&](const std::vector<Row>& all) {
    for (const Row& row : all) {
      const std::string command = expand(row.command, names);
      test::CliRun run = expectCli(command, row.status, {row.says});
      EXPECT_FALSE(test::contains(run.out, "failed:")) << "one refusal, not one line per file: " << run.out;
      EXPECT_TRUE(readFile(src) == original) << "the source changed: " << command;
      EXPECT_EQ(readFile(file), "keep me") << command;
    }
  };
  refused(rows);
  // The source's volume mounted, as a card being recovered may be: no
  // output of any command may land on it.
  if (test::canUseLoopDevices() && (test::haveTool("mount.exfat-fuse") || test::underCi())) {
    test::MountedVolume mounted(src, 1048576, dir.file("mnt"));
    ASSERT_FALSE(mounted.path().empty()) << "mount.exfat-fuse failed";
    names.push_back({"{mnt}", mounted.path()});
    std::vector<Row> onSource;
    for (const char* command :
         {"recover {src} Partition0 {mnt}/out", "recover {src} Partition0 {dir}/o6 --report {mnt}/out",
          "pt-backup {src} {mnt}/out --yes", "image {src} --to-file {mnt}/out --yes",
          "image {src} --to-file {dir}/o.img --mapfile {mnt}/out --yes"})
      onSource.push_back({command, 1, "the volume being read"});
    refused(onSource);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("o.img"))) << "a refused image creates no file";
  expectCli(expand("recover {src} Partition0 {dir}/o5 --report {file} --yes", names), 1, {"1 guessed"});
  EXPECT_TRUE(test::contains(readFile(file), "<dfxml")) << "--yes replaces the report";
}

}  // namespace
}  // namespace dudorazu
