#include "core/tools/partition_search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/tools/region_input.h"
#include "partitions/listing.h"
#include "support/catalogued.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

struct SearchResult {
  bool returned = false;
  std::vector<FoundVolume> found;
  // "start description", with " backup" when found through it and " again"
  // for a volume already listed, one line each.
  std::string rows() const {
    std::string out;
    for (const FoundVolume& v : found)
      out += std::to_string(v.startSector) + " " + v.description + (v.viaBackup ? " backup" : "") +
             (v.appended ? "\n" : " again\n");
    return out;
  }
};

SearchResult search(DiskRecord& disk, SearchMode mode, uint8_t heads = 0) {
  ProgressBlock progress;
  SearchResult r;
  r.returned = searchPartitions(disk, mode, heads, progress, [&](const FoundVolume& v) { r.found.push_back(v); });
  return r;
}

// tools-search.img: volumes at 2048, at cylinder 2 (32130) and 63 sectors
// into cylinder 4 (64323, main boot sector zeroed); partition table wiped.
// The first search runs while another thread walks the list, as the window
// does (race-free under ThreadSanitizer, `make tsan`).
TEST(PartitionSearch, TheListIsReadWhileTheSearchAppendsAndTheCylinderModeFindsGridVolumesOnce) {
  DiskRecord disk = catalogued(fixtureImage("tools-search.img"));
  ASSERT_TRUE(disk.partitions.empty()) << "the fixture's table is wiped";
  std::atomic<bool> done{false};
  std::vector<std::string> seen;
  std::thread window([&] {
    while (!done.load()) {
      seen.clear();
      for (const PartitionRecord& p : disk.partitions) seen.push_back(p.name);
    }
  });
  SearchResult r = search(disk, SearchMode::Cylinder);
  done.store(true);
  window.join();
  for (const std::string& name : seen) EXPECT_TRUE(name == "Partition0" || name == "Partition1") << name;
  EXPECT_TRUE(r.returned && disk.cylinders == 5) << "81920 sectors / 255 / 63: " << disk.cylinders;
  // 2048 is off the cylinder grid; C is found and labelled through its backup boot sector.
  EXPECT_EQ(r.rows(), "32130 exFat;TOOLSB;2,0,1;16384;主;\n64323 exFat;TOOLSC;4,1,1;8192;逻辑; backup\n");
  EXPECT_EQ(test::listing(disk), "Partition0 32130+16384 t5 k1 TOOLSB\nPartition1 64323+8192 t5 k2 TOOLSC\n");
  EXPECT_EQ(disk.partitions[0].searchKind, kSearchKindFound);

  // Searching again shows each volume again but lists it once; a sector
  // search after it adds only the volume the grid missed, numbered on.
  EXPECT_EQ(search(disk, SearchMode::Cylinder).rows(),
            "32130 exFat;TOOLSB;2,0,1;16384;主; again\n64323 exFat;TOOLSC;4,1,1;8192;逻辑; backup again\n");
  EXPECT_EQ(search(disk, SearchMode::Sector).found.size(), 3u);
  EXPECT_EQ(test::listing(disk).substr(test::listing(disk).rfind("Partition2")), "Partition2 2048+16384 t5 k1 TOOLSA\n");

  DiskRecord heads = catalogued(fixtureImage("tools-search.img"));
  search(heads, SearchMode::Cylinder, 128);
  EXPECT_TRUE(heads.cylinders == 10 && heads.partitions.empty()) << "81920 / 128 / 63; the volumes lie on no 128-head grid";
}

// A disk of `mib` MiB holding only volume D of tools-offset0.img (label
// TOOLSD) at sector `at`; or the 4 KiB-sector volume FOURK of
// geometry-mbr512.img with only its backup boot sector left.
std::string diskWithVolumeD(const TempDir& dir, const std::string& name, int mib, uint64_t at, bool fourK = false) {
  std::string img = dir.file(name);
  const std::string from = fixtureImage(fourK ? "geometry-mbr512.img" : "tools-offset0.img");
  std::string volume = test::readRange(from, 2048ull * 512, (fourK ? 47104u : 16384u) * 512);
  test::require(volume.size() == (fourK ? 47104u : 16384u) * 512, "could not read the volume of " + from);
  if (fourK) volume.replace(0, 4096, 4096, '\0');  // only the backup boot sector is left
  test::writeFile(img, "");
  std::filesystem::resize_file(test::fsPath(img), static_cast<uintmax_t>(mib) << 20);
  test::writeAt(img, at * 512, volume);
  return img;
}

// Which starts each mode finds, and nothing else, each once, with the
// description where a row gives one. tools-gpt.img: volumes on 1 MiB
// boundaries, table wiped. tools-offset0.img: every partition-offset field
// 0, F's main boot sector zeroed; no backup may become a volume of its own.
TEST(PartitionSearch, EachModeFindsExactlyTheVolumesItsCandidatesReach) {
  TempDir dir;
  const std::string small = diskWithVolumeD(dir, "small.img", 9, 2048);
  const std::string tail = diskWithVolumeD(dir, "tail.img", 29, 40960);
  const std::string head = diskWithVolumeD(dir, "head.img", 40, 16380);  // cylinder 1, head 5
  const std::string gpt = fixtureImage("tools-gpt.img"), grid = fixtureImage("tools-search.img");
  const std::string offset0 = fixtureImage("tools-offset0.img");
  const std::string fourK = diskWithVolumeD(dir, "4k.img", 40, 32130, true);
  struct Case {
    std::string image;
    SearchMode mode;
    std::vector<std::string> found;  // "start" or "start description"
    const char* what;
  } cases[] = {
      {small, SearchMode::Sector, {"2048"}, "a disk under 10 MiB is read whole"},
      {tail, SearchMode::Sector, {"40960"}, "the tail after the last whole 10 MiB"},
      {tail, SearchMode::Aligned, {"40960"}, "aligned, disk of no whole cylinder count"},
      {gpt, SearchMode::Cylinder, {}, "1 MiB boundaries are off the grid"},
      {gpt, SearchMode::Aligned, {"2048 exFat;GPTA;0,32,33;409600;主;", "411648"}, "real CHS of an off-grid start"},
      {gpt, SearchMode::Sector, {"2048", "411648"}, "sector on a wiped GPT disk"},
      {grid, SearchMode::Aligned, {"2048", "32130", "64323"}, "aligned meets the grid too"},
      {grid, SearchMode::Sector, {"2048 exFat;TOOLSA;0,0,1;16384;主;", "32130", "64323 exFat;TOOLSC;0,0,1;8192;主;"},
       "main and backup boot sectors give one row; C's backup names its start in the offset field"},
      {grid, SearchMode::Head, {"32130 exFat;TOOLSB;2,0,1;16384;主;", "64323 exFat;TOOLSC;4,1,1;8192;逻辑;"},
       "the head mode meets what the cylinder mode meets, with the same texts"},
      {offset0, SearchMode::Aligned, {"2048", "32130", "57344"}, "zero offset fields"},
      {offset0, SearchMode::Sector, {"2048 exFat;TOOLSD;0,0,1;16384;主;", "32130", "57344 exFat;TOOLSF;0,0,1;8192;主;"},
       "F found through its backup, at its true start"},
      {head, SearchMode::Cylinder, {}, "off the cylinder grid"},
      {head, SearchMode::Head, {"16380 exFat;TOOLSD;1,5,1;16384;主;"}, "a volume on any track start"},
      {fourK, SearchMode::Cylinder, {"32130"}, "4 KiB sectors, through the backup 12 of them on"},
      {fourK, SearchMode::Aligned, {"32130"}, "aligned, the same"},
  };
  for (const Case& c : cases) {
    DiskRecord disk = catalogued(c.image);
    SearchResult r = search(disk, c.mode);
    std::vector<std::string> found;
    for (size_t i = 0; i < r.found.size(); ++i) {
      bool described = i < c.found.size() && c.found[i].find(' ') != std::string::npos;
      found.push_back(std::to_string(r.found[i].startSector) + (described ? " " + r.found[i].description : ""));
    }
    EXPECT_EQ(found, c.found) << c.what;
    EXPECT_TRUE(r.returned && disk.partitions.size() == c.found.size()) << c.what;
  }
}

TEST(PartitionSearch, StopEndsAtTheNextCylinderOrPieceAndKeepsWhatWasFound) {
  DiskRecord disk = catalogued(fixtureImage("tools-search.img"));
  ProgressBlock progress;
  std::vector<FoundVolume> found;
  EXPECT_TRUE(searchPartitions(disk, SearchMode::Cylinder, 0, progress, [&](const FoundVolume& v) {
    found.push_back(v);
    progress.cancel();
  }));
  EXPECT_EQ(std::pair(found.size(), disk.partitions.size()), std::pair(size_t{1}, size_t{1}))
      << "the volume found before the stop stays listed";
  EXPECT_EQ(progress.text(), "exFat;TOOLSB;2,0,1;16384;主;");

  DiskRecord other = catalogued(fixtureImage("tools-search.img"));
  ProgressBlock stopped;
  stopped.cancel();
  EXPECT_FALSE(searchPartitions(other, SearchMode::Sector, 0, stopped) || !other.partitions.empty())
      << "a stopped sector search fails and finds nothing";
}

TEST(RegionInput, NumbersAreReadInTheirUnitsRangesBeyondTheDiskOrBackwardsAreRefusedAndRegionsAreAppended) {
  using U = RegionUnit;
  const struct {
    RegionInput input;
    uint64_t diskSectors;
    const char* result;  // "first-end" or the message
  } cases[] = {
      {{"100", U::Sectors, "1", U::MB}, 1000000, "100-2148"},
      {{"0.5", U::GB, "10", U::KB}, 2000000, "1048576-1048596"},
      {{"600000", U::Sectors, "300000", U::Sectors}, 1000000, "600000-900000"},
      {{"600000", U::Sectors, "400000", U::Sectors}, 1000000, "600000-1000000"},  // to the disk's end
      {{"600000", U::Sectors, "500000", U::Sectors}, 1000000, "数值填写过大，请改写！"},
      {{"600000", U::Sectors, "-5", U::Sectors}, 1000000, "数值填写错误，请改写！"},
      {{"500", U::Sectors, "0", U::Sectors}, 1000000, "500-500"},  // an empty region is accepted
      {{"-10", U::Sectors, "20", U::Sectors}, 1000000, "数值填写过大，请改写！"},  // before the disk's start
      {{"9e18", U::Sectors, "9e18", U::Sectors}, UINT64_MAX, "数值填写错误，请改写！"},  // the sum wraps
  };
  for (const auto& c : cases) {
    RecordingMessageSink m;
    auto r = regionRange(c.input, c.diskSectors, m);
    EXPECT_EQ(r ? std::to_string(r->start()) + "-" + std::to_string(r->end()) : m.messages.at(0).text, c.result);
    EXPECT_EQ(m.messages.size(), r ? 0u : 1u) << c.result;
  }
  // No unit: sectors.
  EXPECT_EQ(std::tuple(regionSectors("1.5", U::GB), regionSectors("16777217", U::Sectors), regionSectors("7", U::None),
                       regionSectors("1e300", U::GB)),
            std::tuple(3145728, 16777217, 7, INT64_MAX));

  // A created region is appended with its file system: its first sector is
  // an exFAT boot sector (type 5).
  DiskRecord disk = catalogued(fixtureImage("tools-search.img"));
  RecordingMessageSink m;
  ASSERT_TRUE(createRegion(disk, {"32130", U::Sectors, "8", U::MB}, m));
  EXPECT_FALSE(createRegion(disk, {"1", U::GB, "1", U::Sectors}, m));
  EXPECT_EQ(listing(disk), "Region 0 on tools-search.img 32130+16384 t5 k1 \n");
}

}  // namespace
}  // namespace dudorazu
