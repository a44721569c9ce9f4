// dudorazu-cli disks, end to end on the fixture images.
#include <gtest/gtest.h>

#include "support/fixtures.h"

namespace dudorazu {
namespace {

int disks(const std::string& args, std::string& out) {
  out.clear();
  return test::runCommand(test::cliPath() + " disks " + args + " 2>&1", &out);
}

TEST(DisksCommand, JsonRecordOfAGptImage) {
  std::string out;
  ASSERT_EQ(disks("--no-drives --json --image " + test::fixtureImage("partitions-gpt.img"), out), 0) << out;
  EXPECT_EQ(out.rfind("{\"disks\":[{", 0), 0u) << out;
  EXPECT_NE(out.find("\"name\":\"Data(exFat)\",\"driveLetter\":\"\",\"label\":\"GPTDATA\",\"typeCode\":5,"
                     "\"fileSystem\":\"exFat\",\"startSector\":2048,\"sizeSectors\":16384"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\"fileSystem\":\"EXT4\""), std::string::npos);
}

TEST(DisksCommand, TextTreeAndLogicalVolumes) {
  std::string out;
  ASSERT_EQ(disks("--no-drives --image " + test::fixtureImage("partitions-mbr.img") + " --image " +
                      test::fixtureImage("partitions-lvm.img"),
                  out),
            0)
      << out;
  EXPECT_NE(out.find("partitions-mbr.img"), std::string::npos);
  // Partition text, label, file system, start and size as short size texts.
  EXPECT_NE(out.find("Partition0                     MBREXFAT         exFat              1.0 MB       8.0 MB"),
            std::string::npos)
      << out;
  EXPECT_LT(out.find("partitions-mbr.img"), out.find("partitions-lvm.img")) << "images in the order given";
  EXPECT_NE(out.find("LV lvone"), std::string::npos) << out;
  EXPECT_NE(out.find("segment: extents 2+2"), std::string::npos) << out;
}

TEST(DisksCommand, ErrorsAndUsage) {
  std::string out;
  EXPECT_EQ(disks("--help", out), 0);
  EXPECT_NE(out.find("usage: dudorazu-cli disks"), std::string::npos);
  EXPECT_EQ(disks("--no-drives --image /nonexistent/disk.img", out), 1);
  EXPECT_NE(out.find("cannot open image '/nonexistent/disk.img'"), std::string::npos) << out;
  EXPECT_EQ(out.find("{\"disks\""), std::string::npos) << "no listing after a failed image";
  EXPECT_EQ(disks("--no-drives --bogus", out), 2);
  EXPECT_EQ(disks("--no-drives --image", out), 2);
  EXPECT_EQ(disks("--no-drives stray", out), 2);
  EXPECT_EQ(disks("--no-drives --json", out), 0);
  EXPECT_EQ(out, "{\"disks\":[]}\n");
}

}  // namespace
}  // namespace dudorazu
