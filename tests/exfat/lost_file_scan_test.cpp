#include "core/exfat/lost_file_scan.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/common/text.h"
#include "core/device/disk_catalogue.h"
#include "core/exfat/carve_signatures.h"
#include "core/exfat/jpeg_carver.h"
#include "core/exfat/upcase_scan.h"
#include "exfat/served_volume.h"
#include "support/faulty_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

// An .expected.txt: "folder C", "jpeg C LENGTH SHA256", "photo C LENGTH SHA256 NAME", "ole2 C NAME".
struct CarveExpectation {
  uint32_t lostFolder = 0;
  struct Jpeg {
    uint32_t cluster;
    uint64_t length;
    std::string sha256;
  };
  std::vector<Jpeg> jpegs;
  std::vector<std::pair<uint32_t, std::string>> documents;
};

CarveExpectation readExpectation(const std::string& file = "exfat-carve.expected.txt") {
  CarveExpectation e;
  std::istringstream in(test::fixtureText(file));
  std::string kind, name;
  uint32_t cluster = 0;
  while (in >> kind >> cluster) {
    if (kind == "folder") e.lostFolder = cluster;
    if (kind == "ole2" && in >> name) e.documents.push_back({cluster, name});
    if (kind != "jpeg" && kind != "photo") continue;
    e.jpegs.push_back({cluster, 0, ""});
    in >> e.jpegs.back().length >> e.jpegs.back().sha256;
    if (kind == "photo") in >> name;
  }
  return e;
}

const ExfatFileRecord* carvedAt(const LoadedVolume& p, uint32_t cluster) {
  auto it = p.carvedIndex.find(cluster);
  return it == p.carvedIndex.end() ? nullptr : it->second;
}

// A "KIND NAME CLUSTER LENGTH SHA256" line per file a fixture holds.
struct ListedFile {
  std::string name;
  uint32_t cluster = 0;
  uint64_t length = 0;
  std::string sha256;
};
std::vector<ListedFile> listedFiles(const std::string& fixture) {
  std::istringstream in(fixtureText(fixture));
  std::vector<ListedFile> out;
  ListedFile f;
  for (std::string kind; in >> kind >> f.name >> f.cluster >> f.length >> f.sha256;) out.push_back(f);
  return out;
}

struct FixtureScan : CataloguedVolume {
  using CataloguedVolume::CataloguedVolume;
  bool scan() { return scanLostFiles(disk, volume, progress); }
};

// exfat-carve.img scanned once without faults, for the cases to compare with.
const LoadedVolume& cleanCarveScan() {
  static FixtureScan* clean = [] {
    auto* s = new FixtureScan(test::fixtureImage("exfat-carve.img"));
    test::require(s->scan(), "the clean scan failed");
    return s;
  }();
  return clean->volume;
}

// Deleted JPEGs and documents, a wiped folder, photos over a formatted card: each carved byte-exact, no other.
TEST(LostFileScan, RealVolumesGiveBackTheirJpegsByteExactAndTheLostFolderAndDocuments) {
  for (const std::string fixture : {"exfat-photos", "exfat-carve"}) {
    SCOPED_TRACE(fixture);
    std::string image = test::fixtureImage(fixture + ".img");
    CarveExpectation want = readExpectation(fixture + ".expected.txt");
    ASSERT_EQ(want.jpegs.size(), 4u);
    FixtureScan s(image);
    ASSERT_TRUE(s.scan());
    const LoadedVolume& p = s.volume;
    size_t carvedJpegs = 0;
    for (const auto& [cluster, record] : p.carvedIndex) carvedJpegs += record->name.ends_with(".jpg");
    EXPECT_EQ(carvedJpegs, want.jpegs.size());
    for (const auto& j : want.jpegs) {
      const ExfatFileRecord* r = carvedAt(p, j.cluster);
      ASSERT_TRUE(r) << "no JPEG carved at cluster " << j.cluster;
      EXPECT_EQ(r->name + " " + std::to_string(r->dataLength) + " " +
                    test::sha256OfFile(image, p.clusterPosition(j.cluster), r->dataLength),
                std::to_string(j.cluster) + ".jpg " + std::to_string(j.length) + " " + j.sha256);
      EXPECT_TRUE(r->state == kStateDeletedFile && r->allocationFlags == 3 && r->parent == &p.extendedRecord);
    }
    if (fixture != "exfat-carve") continue;
    EXPECT_EQ(p.carvedIndex.size(), want.jpegs.size() + want.documents.size()) << "and no other document";
    EXPECT_EQ(p.extendedRecord.name + std::to_string(p.extendedRecord.firstCluster), "扩展目录1");
    for (const auto& [cluster, name] : want.documents)  // 512 x 1 FAT sector x 128 bytes
      EXPECT_EQ(carvedAt(p, cluster) ? carvedAt(p, cluster)->name + std::to_string(carvedAt(p, cluster)->dataLength) : "",
                name + "65536");
    // The wiped folder comes back under its cluster number with what it
    // holds; its subfolder is read through it, not found again.
    const ExfatFileRecord* lost = childNamed(p.rootRecord, std::to_string(want.lostFolder));
    EXPECT_TRUE(lost->state == kStateFolder && lost->firstCluster == want.lostFolder);
    for (const char* name : {"风景.jpg", "gradient.jpg", "Report.doc", "notitle.doc", "sub"})
      EXPECT_TRUE(hasChild(*lost, name)) << name;
    const ExfatFileRecord* sub = childNamed(*lost, "sub");
    EXPECT_TRUE(hasChild(*sub, "note.txt"));
    EXPECT_FALSE(hasChild(p.rootRecord, std::to_string(sub->firstCluster)));
    // The root folder's own cluster passes the detector too, with the live tree.
    const ExfatFileRecord* rootCopy = childNamed(p.rootRecord, "5");
    EXPECT_TRUE(hasChild(*rootCopy, "readme.txt") && hasChild(*rootCopy, "deleted.jpg"));
  }
}

// Files of every kind the structure walks know, made by their own tools and
// written to a card that was quick-formatted since: each is carved at its
// cluster under its extension, byte for byte, and no other file is.
TEST(LostFileScan, RealFilesOfEveryFormatAreCarvedByteExactFromTheirStructure) {
  const std::string image = fixtureImage("carve-formats.img");
  const std::vector<ListedFile> files = listedFiles("carve-formats.expected.txt");
  FixtureScan s(image);
  ASSERT_TRUE(s.scan());
  const LoadedVolume& p = s.volume;
  uint32_t png = 0;  // its walk reads every byte, for the chunks' CRCs
  for (const ListedFile& f : files) {
    const ExfatFileRecord* r = carvedAt(p, f.cluster);
    ASSERT_TRUE(r) << f.name << ": nothing carved at cluster " << f.cluster;
    const std::string extension = f.name.substr(f.name.rfind('.'));
    EXPECT_EQ(r->name + " " + std::to_string(r->dataLength) + " " +
                  sha256OfFile(image, p.clusterPosition(f.cluster), r->dataLength) + " " + carvedFormatText(*r),
              std::to_string(f.cluster) + extension + " " + std::to_string(f.length) + " " + f.sha256 + " " +
                  extension.substr(1))
        << f.name;
    EXPECT_EQ(r->carve, kCarvedToStructureEnd) << f.name;
    if (f.name == "plasma.png") png = f.cluster;
  }
  EXPECT_GE(files.size(), 25u) << "the fixture lists the files";
  EXPECT_EQ(p.carvedIndex.size(), files.size()) << "nothing else carved: no file found inside another";

  // Stop is pressed as a walk reads into a file: the walk ends, and a file
  // it did not finish is not listed as if it had.
  FixtureScan stopped(image);
  test::FaultPlan plan;
  plan.onRead = [&](uint64_t offset) {
    if (offset == p.clusterPosition(png) + 16384) stopped.progress.cancel();
  };
  {
    test::ScopedFaultInjection cancelling(image, plan);
    ASSERT_TRUE(stopped.scan());
  }
  EXPECT_TRUE(stopped.progress.cancelled());
  EXPECT_FALSE(carvedAt(stopped.volume, png)) << "the walk through the PNG file was stopped";
  EXPECT_TRUE(carvedAt(stopped.volume, p.carvedIndex.begin()->first)) << "found before the stop";
}

// Files written in two pieces around a cluster of a file that stays: each
// walk breaks at the foreign cluster and goes on over the free ones to its
// end; the carve names its clusters and is a guess.
TEST(LostFileScan, FilesInPiecesAroundLiveClustersAreCarvedThroughTheFreeClustersAsAGuess) {
  const std::string image = fixtureImage("carve-pieces.img"), bytes = readFile(image);
  FixtureScan s(image);
  ASSERT_TRUE(s.scan());
  const LoadedVolume& p = s.volume;
  TempDir dir;
  const std::vector<ListedFile> files = listedFiles("carve-pieces.expected.txt");
  for (const ListedFile& f : files) {
    const ExfatFileRecord* r = carvedAt(p, f.cluster);
    ASSERT_TRUE(r) << f.name;
    EXPECT_EQ(r->carve, kCarvedThroughFreeClusters) << f.name;
    EXPECT_EQ(r->dataLength, f.length) << f.name;
    auto runs = p.carvedClusters.find(r);
    ASSERT_NE(runs, p.carvedClusters.end()) << f.name;
    EXPECT_GE(runs->second.size(), 2u) << f.name;
    std::string data;
    for (const ClusterRun& run : runs->second)
      data += bytes.substr(p.clusterPosition(run.first), uint64_t{run.count} * p.clusterBytes());
    writeFile(dir.file(f.name), data.substr(0, f.length));
    EXPECT_EQ(sha256OfFile(dir.file(f.name)), f.sha256) << f.name << " over the clusters chosen";
  }
  EXPECT_EQ(files.size(), 6u);
}

TEST(LostFileScan, BadSectorsCostOnlyTheirOwnClustersAndCancelKeepsWhatWasFound) {
  std::string image = test::fixtureImage("exfat-carve.img");
  CarveExpectation want = readExpectation();
  const LoadedVolume& clean = cleanCarveScan();
  {
    // Two bad sectors in the middle of the first batch, away from every file.
    test::FaultPlan plan;
    plan.badSectors = {clean.clusterPosition(600) / 512, clean.clusterPosition(600) / 512 + 9};
    test::ScopedFaultInjection faults(image, plan);
    FixtureScan s(image);
    ASSERT_TRUE(s.scan());
    EXPECT_EQ(std::pair(s.volume.carvedIndex.size(), childNames(s.volume.rootRecord)),
              std::pair(clean.carvedIndex.size(), childNames(clean.rootRecord)));
    for (const auto& j : want.jpegs) EXPECT_TRUE(carvedAt(s.volume, j.cluster)) << j.cluster;
  }
  // Stop is pressed as the JPEG search reads at the second JPEG's cluster.
  FixtureScan s(image);
  test::FaultPlan plan;
  plan.onRead = [&](uint64_t offset) {
    if (offset == clean.clusterPosition(want.jpegs[1].cluster)) s.progress.cancel();
  };
  {
    test::ScopedFaultInjection cancelling(image, plan);
    ASSERT_TRUE(s.scan());
  }
  EXPECT_TRUE(s.progress.cancelled());
  std::string carved;  // found before the cancel; the cluster being examined completes; nothing after
  for (size_t i = 0; i < 3; ++i) carved += carvedAt(s.volume, want.jpegs[i].cluster) ? "+" : "-";
  for (const auto& d : want.documents) carved += carvedAt(s.volume, d.first) ? "+" : "-";
  EXPECT_EQ(carved, "++-" + std::string(want.documents.size(), '-'));
  EXPECT_TRUE(hasChild(s.volume.rootRecord, std::to_string(want.lostFolder)));
}

TEST(LostFileScan, WithoutBootSectorsEverySectorIsACluster) {
  // The formatter puts the up-case table further in than the default layout
  // guess reaches: one-sector clusters, JPEGs and documents still found
  // (named by sector), folders not.
  test::TempDir dir;
  std::string image = dir.file("noboot.img"), bytes = test::readFile(test::fixtureImage("exfat-carve.img"));
  std::fill(bytes.begin() + 2048 * 512, bytes.begin() + 2072 * 512, '\0');
  test::writeFile(image, bytes);
  CarveExpectation want = readExpectation();
  const uint32_t spc = cleanCarveScan().partition.clusterSectors;
  const uint32_t heap = cleanCarveScan().partition.clusterBase + 2 * spc - 2048;
  FixtureScan s(image);
  ASSERT_TRUE(s.scan());
  const PartitionRecord& p = s.partition;
  const LoadedVolume& lv = s.volume;
  EXPECT_EQ(std::pair(p.clusterSectors, p.clusterBase), std::pair(1u, uint64_t{2048}));
  EXPECT_TRUE(lv.rootRecord.children.empty()) << "no folder detection with one-sector clusters";
  for (const auto& j : want.jpegs) {
    const ExfatFileRecord* r = carvedAt(lv, heap + (j.cluster - 2) * spc);
    EXPECT_EQ(r ? r->dataLength : 0, j.length) << "JPEG of cluster " << j.cluster;
  }
  const ExfatFileRecord* document = carvedAt(lv, heap + (want.documents[0].first - 2) * spc);
  EXPECT_TRUE(document && document->name.starts_with("Report"));
}

TEST(LostFileScan, UpcaseTableLocatesAVolumeWithoutBootSectors) {
  // 16384 sectors: the default layout guess is 8 sectors per cluster and one
  // bitmap cluster, so the table at sector 1000 puts cluster c at 1000 + (c - 3) x 8.
  const uint32_t start = 100;
  std::string disk((start + 16384) * 512ull, '\0');
  auto at = [&](uint32_t c) { return reinterpret_cast<uint8_t*>(disk.data()) + (start + 1000 + (c - 3) * 8ull) * 512; };
  putUpcaseSector(at(3));
  std::vector<uint8_t> set = encodeSet(fileSet("found-me.txt", 40, 10)), set2 = encodeSet(fileSet("and-me.txt", 41, 10));
  std::copy(set2.begin(), set2.end(), std::copy(set.begin(), set.end(), at(12)));
  const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 0xFF, 0xD9};
  std::copy(std::begin(jpeg), std::end(jpeg), at(20));
  test::TempDir dir;
  DiskRecord rec;
  test::writeFile(rec.devicePath = dir.file("disk.img"), disk);
  PartitionRecord p;
  LoadedVolume lv(p);
  p.startSector = start, p.sizeSectors = 16384, p.typeCode = 5;
  ProgressBlock progress;
  ASSERT_TRUE(scanLostFiles(rec, lv, progress));
  EXPECT_EQ(std::pair(p.clusterSectors, p.clusterBase), std::pair(8u, uint64_t{start + 1000 - 3 * 8u}));
  EXPECT_EQ(childNames(lv.rootRecord) + "/" + childNames(lv.rootRecord.children.front()), "12/and-me.txt,found-me.txt");
  EXPECT_EQ(carvedAt(lv, 20) ? carvedAt(lv, 20)->dataLength : 0, 14u) << "up to and with its end marker";
}

struct SyntheticScan : test::ServedVolume {
  explicit SyntheticScan(const TestVolume& v) : ServedVolume(v) { scanLostFiles(disk, volume, progress); }
};

TEST(LostFileScan, FoundFoldersSubfoldersAreNotFoundTwiceAndClusterCountsAreBounded) {
  TestVolume v(2, 64);
  v.putSet({10}, 0, folderSet("child", 20, 1024));
  v.putSet({10}, 3, fileSet("file"));
  // The heap's last cluster is 65 (ClusterCount + 1).
  for (auto [cluster, first, second] : {std::tuple{20u, "grandchild", "grandchild2"}, {8u, "earlier", "earlier2"},
                                        {60u, "y", "z"}, {4u, "x", "w"}, {65u, "last", "last2"}}) {
    v.putSet({cluster}, 0, fileSet(first));
    v.putSet({cluster}, 3, fileSet(second));
  }
  SyntheticScan s(v);
  // 4 (the root), 8, 10, 60 and 65 are folders; 20 was read through 10.
  EXPECT_EQ(childNames(s.volume.rootRecord), "65,60,10,8,4");
  const ExfatFileRecord& ten = *childNamed(s.volume.rootRecord, "10");
  EXPECT_EQ(childNames(ten), "file,child");
  EXPECT_EQ(childNames(*childNamed(ten, "child")), "grandchild2,grandchild");
  auto root = s.volume.clusterIndex.find(0), extended = s.volume.clusterIndex.find(1);
  ASSERT_TRUE(root != s.volume.clusterIndex.end() && extended != s.volume.clusterIndex.end());
  EXPECT_TRUE(root->second == &s.volume.rootRecord && extended->second == &s.volume.extendedRecord);
  EXPECT_EQ(s.progress.upper(), 64u) << "clusters 2 to 65";

  // A heap of four clusters (2 to 5), and counts far beyond the device: the
  // scan ends where the device does.
  putLe32(v.bootSector(), 0x5C, 4);
  SyntheticScan small(v);
  EXPECT_EQ(childNames(small.volume.rootRecord) + " " + std::to_string(small.progress.upper()), "4 4");
  for (uint32_t count : {65u, 0xFFFFFFFDu, 0xFFFFFFFFu}) {
    putLe32(v.bootSector(), 0x5C, count);
    SyntheticScan huge(v);
    EXPECT_EQ(childNames(huge.volume.rootRecord) + " " + std::to_string(huge.progress.upper()), "65,60,10,8,4 64") << count;
  }
}

TEST(LostFileScan, AFoundVolumeIsScannedOnItsStoredGeometryWithoutAFat) {
  TestVolume v(2, 64);
  v.putSet({10}, 0, folderSet("chained", 20, 0, 1));
  v.putSet({10}, 3, fileSet("file"));
  v.chain({20, 21});
  v.putSet({20}, 0, fileSet("first-cluster"));
  v.putSet({21}, 0, fileSet("second-cluster"));
  test::ServedVolume s(v);
  PartitionRecord& p = s.partition;
  p.searchKind = 2;  // found by a search: geometry kept, boot sector not read again
  p.clusterSectors = 2, p.clusterBase = v.clusterOffset(2) / 512 - 4, p.fatSectors = 1;
  ASSERT_TRUE(scanLostFiles(s.disk, s.volume, s.progress));
  EXPECT_TRUE(s.volume.fatTable.empty());
  EXPECT_EQ(childNames(*childNamed(*childNamed(s.volume.rootRecord, "10"), "chained")), "first-cluster");
}

std::string diskWithTableAt(std::initializer_list<uint64_t> sectors, uint64_t size) {
  std::string disk(size * 512, '\0');
  for (uint64_t s : sectors) putUpcaseSector(reinterpret_cast<uint8_t*>(disk.data()) + s * 512);
  return disk;
}

TEST(UpcaseScan, DefaultLayoutByVolumeSizeBoundsTheSearchThatNeverCountsTheFirstSectorRead) {
  auto layout = [](uint64_t sectors) {  // sectors per cluster, FAT sectors, bitmap clusters, search range
    auto l = defaultExfatLayout(sectors);
    return l ? format("%u %llu %u %llu", l->sectorsPerCluster, static_cast<unsigned long long>(l->fatSectors),
                      l->bitmapClusters, static_cast<unsigned long long>(l->searchRange))
             : "none";
  };
  // 65535 clusters: 512 FAT sectors, 2 bitmap clusters; 32 GiB: 262144 of 128 KiB.
  EXPECT_EQ(layout(0x7FFFF), format("8 512 2 %u", 3 * 8 + 2 * 512 + 2048));
  EXPECT_EQ(std::tuple(layout(0x80000).substr(0, 3), layout(0x4000000).substr(0, 11)), std::tuple("64 ", "256 2048 1 "));
  EXPECT_EQ(layout(16ull << 32), "none");
  EXPECT_EQ(defaultExfatLayout((16ull << 32) - 256)->bitmapClusters, 0u) << "kept to 8 bits: 2^30 clusters need 256";

  test::TempDir dir;
  DiskRecord a, b, far, missing;
  test::writeFile(a.devicePath = dir.file("a"), diskWithTableAt({50, 700}, 4096));
  test::writeFile(b.devicePath = dir.file("b"), diskWithTableAt({50}, 4096));
  test::writeFile(far.devicePath = dir.file("far"), diskWithTableAt({3000}, 4096));
  missing.devicePath = dir.file("nowhere");
  ProgressBlock progress;
  uint64_t found = 0;
  ASSERT_TRUE(scanForUpcaseTable(a, progress, 50, 4000, &found));
  EXPECT_EQ(found, 700u) << "the first sector read does not count";
  EXPECT_FALSE(scanForUpcaseTable(b, progress, 50, 4000));
  ASSERT_TRUE(scanForUpcaseTable(b, progress, 0, 4000, &found));
  EXPECT_EQ(found, 50u);
  // 4000 sectors: range (1 + 1) x 8 + 2 x 8 + 2048 = 2080 sectors.
  EXPECT_FALSE(scanForUpcaseTable(far, progress, 0, 4000)) << "beyond the search range";
  EXPECT_FALSE(scanForUpcaseTable(a, progress, 0, 16ull << 32)) << "too large to guess a layout";
  // A range claiming 2^32 sectors of a 4096-sector disk reads only the disk.
  ProgressBlock claimed;
  EXPECT_FALSE(scanForUpcaseTable(b, claimed, 100, 0xFFFFFFFF));
  EXPECT_EQ(claimed.upper(), 4096u - 100) << "the range stops at the device's end";
  EXPECT_FALSE(scanForUpcaseTable(missing, progress, 0, 4000));
  progress.cancel();
  EXPECT_FALSE(scanForUpcaseTable(a, progress, 50, 4000));
}

}  // namespace
}  // namespace dudorazu
