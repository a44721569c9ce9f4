#include "core/device/map_limited_device.h"

#include <gtest/gtest.h>

#include "core/device/open_device.h"
#include "support/fixtures.h"
#include "support/memory_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

// 8 KiB whose map (from position 1 MiB, as a partition's image) has a bad
// sector at image offset 1024 and leaves everything from 6 KiB untried.
std::shared_ptr<const RescueMap> partitionMap() {
  std::string error;
  std::optional<RescueMap> map =
      RescueMap::parse("0x100000 + 1\n0x100000 0x400 +\n0x100400 0x200 -\n0x100600 0x1200 +\n0x101800 0x800 ?\n", error);
  EXPECT_TRUE(map) << error;
  return std::make_shared<const RescueMap>(std::move(*map));
}

TEST(MapLimitedDevice, ReadsOnlyWhatTheMapCallsFinishedAndFailsLikeABadSectorElsewhere) {
  std::string bytes(8192, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  const struct {
    uint64_t offset;
    size_t length;
    size_t got;  // a read that meets an unfinished byte stops before it
  } reads[] = {
      {0, 1024, 1024}, {0, 4096, 1024}, {512, 1024, 512}, {1024, 512, 0}, {1100, 10, 0},
      {1536, 4608, 4608}, {1536, 8192, 4608}, {6144, 512, 0}, {8192, 512, 0}, {UINT64_MAX - 100, 512, 0},
  };
  MapLimitedDevice device(std::make_unique<test::MemoryDevice>(bytes), partitionMap(), 0x100000);
  for (const auto& r : reads) {
    std::string buffer(r.length, 'x');
    EXPECT_EQ(device.readAt(r.offset, buffer.data(), r.length), r.got) << r.offset << "+" << r.length;
    EXPECT_TRUE(r.got == 0 || buffer.substr(0, r.got) == bytes.substr(r.offset, r.got)) << r.offset;
    EXPECT_EQ(buffer.substr(r.got), std::string(r.length - r.got, 'x')) << "nothing written past what was read";
  }

  // Attached to a path, every device opened there for reading is limited;
  // the image's first byte is the map's first position.
  test::TempDir dir;
  const std::string path = dir.file("part.img");
  test::writeFile(path, bytes);
  limitReadsToMap(path, partitionMap());
  std::string buffer(4096, '\0');
  EXPECT_EQ(openDevice(path, OpenMode::Read)->readAt(0, buffer.data(), 4096), 1024u);
  EXPECT_EQ(openDevice(path, OpenMode::ReadWrite)->readAt(0, buffer.data(), 4096), 4096u) << "writers see the file";
  // Known before any read, in the image's own offsets; past the map's end
  // nothing is known to be good.
  EXPECT_EQ(unreadableByMap(path, 8192), (std::vector<ByteRange>{*ByteRange::of(1024, 512), *ByteRange::of(6144, 2048)}));
  EXPECT_EQ(unreadableByMap(path, 9000).back(), *ByteRange::of(6144, 2856));
  EXPECT_TRUE(unreadableByMap(dir.file("other.img"), 8192).empty());
  limitReadsToMap(path, nullptr);
  EXPECT_TRUE(unreadableByMap(path, 8192).empty()) << "the limit is lifted";
  EXPECT_EQ(openDevice(path, OpenMode::Read)->readAt(0, buffer.data(), 4096), 4096u);
}

}  // namespace
}  // namespace dudorazu
