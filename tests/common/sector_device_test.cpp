#include "core/device/sector_device.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <string>

#include "core/common/progress_block.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

TEST(SectorDevice, ReadsByLbaAndZeroFillsPastTheEnd) {
  test::TempDir dir;
  std::string bytes(1536, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i / 512 + 1);
  test::writeFile(dir.file("img"), bytes);
  auto dev = openDevice(dir.file("img"), OpenMode::Read);
  ASSERT_TRUE(dev);
  EXPECT_EQ(dev->size(), 1536u);
  uint8_t buf[1024];
  EXPECT_EQ(dev->readSectors(1, 2, buf), 1024u);
  EXPECT_EQ(buf[0], 2);
  EXPECT_EQ(buf[1023], 3);
  // The second sector lies past the end: it must read as zeros, not stale data.
  EXPECT_EQ(dev->readSectors(2, 2, buf), 512u);
  EXPECT_EQ(buf[0], 3);
  EXPECT_EQ(buf[512], 0);
  EXPECT_EQ(dev->readSectors(100, 1, buf), 0u);
  EXPECT_EQ(buf[0], 0);
}

TEST(SectorDevice, AddressesBeyondFourGibibytesIn64BitsAndReadModeNeverWrites) {
  test::TempDir dir;
  std::string path = dir.file("sparse");
  test::writeFile(path, "");
  std::filesystem::resize_file(path, 5ull << 30);
  {
    auto rw = openDevice(path, OpenMode::ReadWrite);
    ASSERT_TRUE(rw);
    std::string sector(512, 'Z');
    EXPECT_EQ(rw->writeAt(8388608ull * 512, sector.data(), 512), 512u);
  }
  auto dev = openDevice(path, OpenMode::Read);
  uint8_t buf[512];
  dev->readSectors(8388608ull, 1, buf);
  EXPECT_EQ(buf[0], 'Z');
  dev->readSectors(0, 1, buf);
  EXPECT_EQ(buf[0], 0) << "LBA 8388608 must not wrap to offset 0";
  EXPECT_EQ(dev->writeAt(0, "b", 1), 0u) << "a device opened for reading never writes";
  dev->readSectors(0, 1, buf);
  EXPECT_EQ(buf[0], 0);
  EXPECT_FALSE(openDevice(dir.path(), OpenMode::Read)) << "a folder is no disk";
}

TEST(ProgressBlock, StepsAndPositionsStayWithinTheRange) {
  ProgressBlock block;
  block.setRange(10, 1);
  for (int i = 0; i < 11; ++i) block.stepIt();
  EXPECT_EQ(block.position(), 10u);
  block.setPosition(50);
  EXPECT_EQ(block.position(), 10u);
  block.setRange(100, 30);
  for (int i = 0; i < 4; ++i) block.stepIt();
  EXPECT_EQ(block.position(), 100u);
}

}  // namespace
}  // namespace dudorazu
