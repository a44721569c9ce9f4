#include "core/tools/partition_search.h"

#include <gtest/gtest.h>

#include <vector>

#include "tools/tools_test_support.h"

namespace dudorazu {
namespace {

using test::catalogued;
using test::copyFixture;
using test::fixtureImage;
using test::TempDir;

struct SearchResult {
  bool returned = false;
  std::vector<FoundVolume> found;
};

SearchResult search(DiskRecord& disk, SearchMode mode, uint8_t heads = 0) {
  ProgressBlock progress;
  SearchResult r;
  r.returned = searchPartitions(disk, mode, heads, progress, [&](const FoundVolume& v) { r.found.push_back(v); });
  return r;
}

// tools-search.img: volumes at 2048, at cylinder 2 (32130) and 63 sectors
// into cylinder 4 (64323, main boot sector zeroed); partition table wiped.
TEST(PartitionSearch, CylinderModeFindsGridVolumesWithTheirChsAndKind) {
  DiskRecord disk = catalogued(fixtureImage("tools-search.img"));
  ASSERT_TRUE(disk.partitions.empty()) << "the fixture's table is wiped";
  SearchResult r = search(disk, SearchMode::Cylinder);
  EXPECT_TRUE(r.returned);
  EXPECT_EQ(disk.cylinders, 5u) << "81920 sectors / 255 / 63";
  ASSERT_EQ(r.found.size(), 2u) << "the volume at 2048 is off the cylinder grid";
  EXPECT_EQ(r.found[0].description, "exFat;TOOLSB;2,0,1;16384;主;");
  EXPECT_EQ(r.found[0].startSector, 32130u);
  EXPECT_FALSE(r.found[0].viaBackup);
  EXPECT_EQ(r.found[1].description, "exFat;TOOLSC;4,1,1;8192;逻辑;")
      << "found through its backup boot sector, labelled from it";
  EXPECT_EQ(r.found[1].startSector, 64323u);
  EXPECT_TRUE(r.found[1].viaBackup);

  ASSERT_EQ(disk.partitions.size(), 2u);
  const PartitionRecord& b = disk.partitions[0];
  EXPECT_EQ(b.name, "Partition0");
  EXPECT_EQ(b.searchKind, kSearchKindFound);
  EXPECT_EQ(b.sizeSectors, 16384u);
  EXPECT_EQ(b.entryKind, kEntryPrimary);
  EXPECT_EQ(disk.partitions[1].name, "Partition1");
  EXPECT_EQ(disk.partitions[1].entryKind, kEntryLogical);
}

TEST(PartitionSearch, SearchingTwiceListsEachVolumeOnceButShowsItAgain) {
  DiskRecord disk = catalogued(fixtureImage("tools-search.img"));
  search(disk, SearchMode::Cylinder);
  SearchResult again = search(disk, SearchMode::Cylinder);
  ASSERT_EQ(again.found.size(), 2u) << "the window shows every volume on each search";
  EXPECT_FALSE(again.found[0].appended);
  EXPECT_FALSE(again.found[1].appended);
  EXPECT_EQ(disk.partitions.size(), 2u);
  // A sector search after the cylinder search only adds the volume the grid missed.
  SearchResult sectors = search(disk, SearchMode::Sector);
  ASSERT_EQ(sectors.found.size(), 3u);
  ASSERT_EQ(disk.partitions.size(), 3u);
  EXPECT_EQ(disk.partitions[2].startSector, 2048u);
  EXPECT_EQ(disk.partitions[2].name, "Partition2") << "the counter starts at the records already listed";
}

TEST(PartitionSearch, HeadsParameterRecomputesCylinders) {
  DiskRecord disk = catalogued(fixtureImage("tools-search.img"));
  search(disk, SearchMode::Cylinder, 128);
  EXPECT_EQ(disk.cylinders, 10u) << "81920 / 128 / 63";
  EXPECT_TRUE(disk.partitions.empty()) << "the volumes do not lie on a 128-head grid";
}

TEST(PartitionSearch, SectorModeUsesTheOffsetFieldWhenItNamesTheVolume) {
  DiskRecord disk = catalogued(fixtureImage("tools-search.img"));
  SearchResult r = search(disk, SearchMode::Sector);
  EXPECT_TRUE(r.returned);
  ASSERT_EQ(r.found.size(), 3u) << "main and backup boot sectors of a volume give one row";
  EXPECT_EQ(r.found[0].description, "exFat;TOOLSA;0,0,1;16384;主;");
  EXPECT_EQ(r.found[1].startSector, 32130u);
  EXPECT_EQ(r.found[2].startSector, 64323u) << "its backup names the start in the offset field";
  EXPECT_EQ(r.found[2].description, "exFat;TOOLSC;0,0,1;8192;主;");
  EXPECT_EQ(disk.partitions.size(), 3u);
}

// tools-offset0.img: formatted as files, so every partition-offset field is
// 0; F's main boot sector is zeroed. No backup may become a volume of its own.
TEST(PartitionSearch, SectorModeTellsBackupsFromVolumesWhenTheOffsetFieldIsZero) {
  DiskRecord disk = catalogued(fixtureImage("tools-offset0.img"));
  SearchResult r = search(disk, SearchMode::Sector);
  ASSERT_EQ(r.found.size(), 3u);
  ASSERT_EQ(disk.partitions.size(), 3u);
  EXPECT_EQ(disk.partitions[0].startSector, 2048u);
  EXPECT_EQ(disk.partitions[0].label, "TOOLSD");
  EXPECT_EQ(disk.partitions[1].startSector, 32130u);
  EXPECT_EQ(disk.partitions[2].startSector, 57344u) << "found through its backup, at its true start";
  EXPECT_EQ(disk.partitions[2].sizeSectors, 8192u);
  EXPECT_EQ(disk.partitions[2].label, "TOOLSF");
  EXPECT_TRUE(r.found[2].viaBackup);
}

// A disk of `mib` MiB holding only volume D of tools-offset0.img (16384
// sectors, label TOOLSD), moved to sector `at`.
std::string diskWithVolumeD(const TempDir& dir, const std::string& name, int mib, uint64_t at) {
  std::string img = dir.file(name);
  std::string volume = test::readRange(fixtureImage("tools-offset0.img"), 2048ull * 512, 16384 * 512);
  EXPECT_EQ(volume.size(), 16384u * 512);
  test::writeFile(img, "");
  std::filesystem::resize_file(img, static_cast<uintmax_t>(mib) << 20);
  std::fstream out(img, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(at * 512));
  out.write(volume.data(), static_cast<std::streamsize>(volume.size()));
  EXPECT_TRUE(out.good());
  return img;
}

// Which starts each mode finds, and nothing else: the sector mode reads a
// disk to its last sector, the aligned mode meets 1 MiB boundaries (where
// tools-gpt.img's volumes lie, its table wiped) and the cylinder grid.
TEST(PartitionSearch, EachModeFindsExactlyTheVolumesItsCandidatesReach) {
  TempDir dir;
  const std::string small = diskWithVolumeD(dir, "small.img", 9, 2048);
  const std::string tail = diskWithVolumeD(dir, "tail.img", 29, 40960);
  const std::string gpt = fixtureImage("tools-gpt.img");
  struct Case {
    std::string image;
    SearchMode mode;
    std::vector<uint32_t> starts;
    const char* what;
  } cases[] = {
      {small, SearchMode::Sector, {2048}, "a disk under 10 MiB is read whole"},
      {tail, SearchMode::Sector, {40960}, "the tail after the last whole 10 MiB"},
      {tail, SearchMode::Aligned, {40960}, "aligned, disk of no whole cylinder count"},
      {gpt, SearchMode::Cylinder, {}, "1 MiB boundaries are off the grid"},
      {gpt, SearchMode::Aligned, {2048, 411648}, "aligned on a wiped GPT disk"},
      {gpt, SearchMode::Sector, {2048, 411648}, "sector on a wiped GPT disk"},
      {fixtureImage("tools-search.img"), SearchMode::Aligned, {2048, 32130, 64323}, "aligned meets the grid too"},
      {fixtureImage("tools-offset0.img"), SearchMode::Aligned, {2048, 32130, 57344},
       "zero offset fields; F through its backup"},
  };
  for (const Case& c : cases) {
    DiskRecord disk = catalogued(c.image);
    SearchResult r = search(disk, c.mode);
    EXPECT_TRUE(r.returned) << c.what;
    std::vector<uint32_t> starts;
    for (const FoundVolume& v : r.found) starts.push_back(v.startSector);
    EXPECT_EQ(starts, c.starts) << c.what;
  }
  DiskRecord disk = catalogued(gpt);
  SearchResult r = search(disk, SearchMode::Aligned);
  ASSERT_EQ(r.found.size(), 2u);
  EXPECT_EQ(r.found[0].description, "exFat;GPTA;0,32,33;409600;主;") << "real CHS of an off-grid start";
  EXPECT_EQ(r.found[1].label, "GPTB");
}

TEST(PartitionSearch, HeadModeFindsAVolumeOnAnyTrackStart) {
  // Volume D moved to cylinder 1, head 5 (sector 16065 + 5 x 63).
  TempDir dir;
  DiskRecord disk = catalogued(diskWithVolumeD(dir, "head.img", 40, 16380));
  EXPECT_TRUE(search(disk, SearchMode::Cylinder).found.empty());
  SearchResult r = search(disk, SearchMode::Head);
  ASSERT_EQ(r.found.size(), 1u);
  EXPECT_EQ(r.found[0].description, "exFat;TOOLSD;1,5,1;16384;主;");
  EXPECT_EQ(disk.partitions.at(0).startSector, 16380u);

  // The head mode also meets what the cylinder mode meets, with the same texts.
  DiskRecord grid = catalogued(fixtureImage("tools-search.img"));
  SearchResult g = search(grid, SearchMode::Head);
  ASSERT_EQ(g.found.size(), 2u);
  EXPECT_EQ(g.found[0].description, "exFat;TOOLSB;2,0,1;16384;主;");
  EXPECT_EQ(g.found[1].description, "exFat;TOOLSC;4,1,1;8192;逻辑;");
}

TEST(PartitionSearch, StopEndsAtTheNextCylinderOrPieceAndKeepsWhatWasFound) {
  DiskRecord disk = catalogued(fixtureImage("tools-search.img"));
  ProgressBlock progress;
  std::vector<FoundVolume> found;
  EXPECT_TRUE(searchPartitions(disk, SearchMode::Cylinder, 0, progress, [&](const FoundVolume& v) {
    found.push_back(v);
    progress.cancel();
  }));
  EXPECT_EQ(found.size(), 1u);
  EXPECT_EQ(disk.partitions.size(), 1u) << "the volume found before the stop stays listed";
  EXPECT_EQ(progress.text(), "exFat;TOOLSB;2,0,1;16384;主;");

  DiskRecord other = catalogued(fixtureImage("tools-search.img"));
  ProgressBlock stopped;
  stopped.cancel();
  EXPECT_FALSE(searchPartitions(other, SearchMode::Sector, 0, stopped)) << "a stopped sector search fails";
  EXPECT_TRUE(other.partitions.empty());
}

}  // namespace
}  // namespace dudorazu
