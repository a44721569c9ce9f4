// recover and stats end to end, on the committed recovery fixtures.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::cliPath;
using test::runCommand;

std::string quote(const std::string& s) { return "'" + s + "'"; }

TEST(RecoverCli, SavesTheRootWithAReportAndASummary) {
  std::string image = test::fixtureImage("recovery-main.img");
  test::TempDir dir;
  std::string out;
  int status = runCommand(cliPath() + " recover " + quote(image) + " Partition0 " + quote(dir.file("out")) +
                              " --report " + quote(dir.file("r.xml")) + " 2>&1",
                          &out);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("saved 215 files in 11 folders"), std::string::npos) << out;
  EXPECT_NE(out.find("0 failed, 0 damaged"), std::string::npos) << out;
  EXPECT_TRUE(std::filesystem::exists(dir.file("out/根目录/big/twelve.bin")));
  std::string xml = test::readFile(dir.file("r.xml"));
  EXPECT_NE(xml.find("<filename>big/twelve.bin</filename>"), std::string::npos);
  EXPECT_NE(xml.find("<filename>gone/contiguous-deleted.bin</filename>\n      <filesize>3145733</filesize>\n"
                     "      <alloc>0</alloc>"),
            std::string::npos);
  // The digest in the report is the icat digest of the live file.
  std::string oracle = test::fixtureText("recovery-main.sha256.txt");
  size_t at = oracle.find(" /big/ten.bin");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NE(xml.find("<hashdigest type=\"sha256\">" + oracle.substr(at - 64, 64) + "</hashdigest>"), std::string::npos);
  DUDORAZU_SKIP_UNLESS(test::haveTool("xmllint"), "xmllint is not installed: the report was not validated");
  EXPECT_EQ(runCommand("xmllint --noout " + quote(dir.file("r.xml")) + " 2>&1"), 0);
}

TEST(RecoverCli, DryRunWithAStateFilterAndAMissingPath) {
  std::string image = test::fixtureImage("recovery-main.img");
  test::TempDir dir;
  std::string out;
  EXPECT_EQ(runCommand(cliPath() + " recover " + quote(image) + " Partition0 " + quote(dir.file("dry")) +
                           " --dry-run --deleted 2>&1",
                       &out),
            0);
  EXPECT_NE(out.find("would save 3 files"), std::string::npos) << out;
  EXPECT_NE(out.find("gone/frag-deleted.dat  327680  已删除文件"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir.file("dry"))) << "a dry run writes nothing";

  EXPECT_EQ(runCommand(cliPath() + " recover " + quote(image) + " Partition0 " + quote(dir.file("x")) +
                           " --path /no/such 2>&1",
                       &out),
            1);
  EXPECT_NE(out.find("no record at '/no/such'"), std::string::npos) << out;
  EXPECT_EQ(runCommand(cliPath() + " recover " + quote(image) + " 2>&1", &out), 2);
}

TEST(RecoverCli, SecondRunKeepsTheFirstRunsFiles) {
  std::string image = test::fixtureImage("recovery-hostile.img");
  test::TempDir dir;
  std::string cmd = cliPath() + " recover " + quote(image) + " Partition0 " + quote(dir.path()) + " 2>&1";
  ASSERT_EQ(runCommand(cmd), 0);
  ASSERT_EQ(runCommand(cmd), 0);
  EXPECT_EQ(test::readFile(dir.file("根目录/a$b.txt")), "slash\n");
  EXPECT_EQ(test::readFile(dir.file("根目录/a$b.txt0.txt")), "slash\n");
}

TEST(RecoverCli, StatsPrintsTheStatisticsMessage) {
  std::string image = test::fixtureImage("recovery-main.img");
  std::string out;
  EXPECT_EQ(runCommand(cliPath() + " stats " + quote(image) + " Partition0 /gone 2>&1", &out), 0);
  EXPECT_EQ(out, "文件统计： 3.3MB在2个文件夹中包含 3个文件\n");
  EXPECT_EQ(runCommand(cliPath() + " stats " + quote(image) + " Partition0 /nothing 2>&1", &out), 1);
}

}  // namespace
}  // namespace dudorazu
