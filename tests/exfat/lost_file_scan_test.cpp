#include "core/exfat/lost_file_scan.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/device/disk_catalogue.h"
#include "core/exfat/jpeg_carver.h"
#include "core/exfat/upcase_scan.h"
#include "exfat/test_volume.h"
#include "support/faulty_device.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using test::fileSet;
using test::folderSet;
using test::TestVolume;

// What an .expected.txt file says the scan must find: "folder CLUSTER",
// "jpeg CLUSTER LENGTH SHA256", "photo CLUSTER LENGTH SHA256 NAME" (a
// photo's original file) and "ole2 CLUSTER NAME".
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
  while (in >> kind) {
    if (kind == "folder") {
      in >> e.lostFolder;
    } else if (kind == "jpeg" || kind == "photo") {
      CarveExpectation::Jpeg j;
      in >> j.cluster >> j.length >> j.sha256;
      if (kind == "photo") in >> name;
      e.jpegs.push_back(j);
    } else if (kind == "ole2") {
      uint32_t c;
      in >> c >> name;
      e.documents.push_back({c, name});
    }
  }
  return e;
}

const ExfatFileRecord* carvedAt(const PartitionRecord& p, uint32_t cluster) {
  auto it = p.carvedIndex.find(cluster);
  return it == p.carvedIndex.end() ? nullptr : it->second;
}

struct FixtureScan {
  DiskCatalogue catalogue;
  DiskRecord* disk = nullptr;
  PartitionRecord* partition = nullptr;
  ProgressBlock progress;
  explicit FixtureScan(const std::string& path) {
    test::require(openImageAsDisk(catalogue, path), "cannot open " + path);
    disk = &catalogue.disks.back();
    partition = findPartition(*disk, "Partition0");
    test::require(partition != nullptr, path + " has no Partition0");
  }
};

// exfat-carve.img scanned once without faults: the geometry and results the
// cases below compare with.
const PartitionRecord& cleanCarveScan() {
  static FixtureScan* clean = [] {
    auto* scan = new FixtureScan(test::fixtureImage("exfat-carve.img"));
    test::require(scanLostFiles(*scan->disk, *scan->partition, scan->progress), "the clean scan failed");
    return scan;
  }();
  return *clean->partition;
}

// exfat-carve.img: JPEGs and Word documents in clusters whose entries are
// gone, and a folder whose entry was wiped. exfat-photos.img: baseline,
// progressive, Exif-with-thumbnail and small photos written by the FUSE
// driver over a deleted file's clusters (so their slack holds its bytes,
// stray padded end markers included), then the card quick-formatted. Every
// expected JPEG is carved at its cluster with its length, its bytes those of
// the original, and no other JPEG is carved.
TEST(LostFileScan, RealVolumesGiveBackTheirJpegsByteExactAndTheLostFolderAndDocuments) {
  for (const std::string fixture : {"exfat-photos", "exfat-carve"}) {
    SCOPED_TRACE(fixture);
    std::string image = test::fixtureImage(fixture + ".img");
    CarveExpectation want = readExpectation(fixture + ".expected.txt");
    ASSERT_EQ(want.jpegs.size(), 4u);
    FixtureScan s(image);
    ASSERT_TRUE(scanLostFiles(*s.disk, *s.partition, s.progress));
    const PartitionRecord& p = *s.partition;
    size_t carvedJpegs = 0;
    for (const auto& [cluster, record] : p.carvedIndex) carvedJpegs += record->name.ends_with(".jpg");
    EXPECT_EQ(carvedJpegs, want.jpegs.size());
    for (const auto& j : want.jpegs) {
      const ExfatFileRecord* r = carvedAt(p, j.cluster);
      ASSERT_TRUE(r) << "no JPEG carved at cluster " << j.cluster;
      EXPECT_EQ(r->name, std::to_string(j.cluster) + ".jpg");
      EXPECT_EQ(r->dataLength, j.length) << r->name;
      EXPECT_EQ(r->state, kStateDeletedFile);
      EXPECT_EQ(r->allocationFlags, 3);
      EXPECT_EQ(r->parent, &p.extendedRecord);
      EXPECT_EQ(test::sha256OfFile(image, p.clusterPosition(j.cluster), r->dataLength), j.sha256) << r->name;
    }
    if (fixture != "exfat-carve") continue;
    EXPECT_EQ(p.carvedIndex.size(), want.jpegs.size() + want.documents.size()) << "and no other document";
    EXPECT_EQ(p.extendedRecord.name, "扩展目录");
    EXPECT_EQ(p.extendedRecord.firstCluster, 1u);
    for (const auto& [cluster, name] : want.documents) {
      const ExfatFileRecord* r = carvedAt(p, cluster);
      ASSERT_TRUE(r) << name;
      EXPECT_EQ(r->name, name);
      EXPECT_EQ(r->dataLength, 65536u) << "512 x 1 FAT sector x 128";
    }

    // The folder whose entry was wiped comes back under its cluster number,
    // with what it holds; its subfolder is read through it, not found again.
    const ExfatFileRecord* lost = test::childNamed(p.rootRecord, std::to_string(want.lostFolder));
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->state, kStateFolder);
    EXPECT_EQ(lost->firstCluster, want.lostFolder);
    for (const char* name : {"风景.jpg", "gradient.jpg", "Report.doc", "notitle.doc", "sub"})
      EXPECT_TRUE(test::hasChild(*lost, name)) << name;
    const ExfatFileRecord* sub = test::childNamed(*lost, "sub");
    ASSERT_TRUE(sub);
    EXPECT_TRUE(test::hasChild(*sub, "note.txt"));
    EXPECT_FALSE(test::hasChild(p.rootRecord, std::to_string(sub->firstCluster)));
    // The root folder's own cluster passes the detector too, with the live tree.
    const ExfatFileRecord* rootCopy = test::childNamed(p.rootRecord, "5");
    ASSERT_TRUE(rootCopy);
    EXPECT_TRUE(test::hasChild(*rootCopy, "readme.txt"));
    EXPECT_TRUE(test::hasChild(*rootCopy, "deleted.jpg"));
  }
}

TEST(LostFileScan, BadSectorsCostOnlyTheirOwnClusters) {
  std::string image = test::fixtureImage("exfat-carve.img");
  CarveExpectation want = readExpectation();
  // Two bad sectors in the middle of the first batch, away from every file.
  const PartitionRecord& cp = cleanCarveScan();
  uint64_t bad = cp.clusterPosition(600) / 512;
  test::FaultPlan plan;
  plan.badSectors = {bad, bad + 9};
  test::ScopedFaultInjection faults(image, plan);
  FixtureScan s(image);
  ASSERT_TRUE(scanLostFiles(*s.disk, *s.partition, s.progress));
  EXPECT_EQ(s.partition->carvedIndex.size(), cp.carvedIndex.size());
  EXPECT_EQ(test::childNames(s.partition->rootRecord), test::childNames(cp.rootRecord));
  for (const auto& j : want.jpegs) EXPECT_TRUE(carvedAt(*s.partition, j.cluster)) << j.cluster;
}

TEST(LostFileScan, CancelKeepsWhatWasFound) {
  std::string image = test::fixtureImage("exfat-carve.img");
  CarveExpectation want = readExpectation();
  FixtureScan s(image);
  const uint32_t second = want.jpegs[1].cluster;
  const uint64_t trigger = cleanCarveScan().clusterPosition(second);
  // Stop is pressed as the JPEG search reads at that cluster's position.
  test::FaultPlan plan;
  plan.onRead = [&](uint64_t offset) {
    if (offset == trigger) s.progress.cancel();
  };
  {
    test::ScopedFaultInjection cancelling(image, plan);
    ASSERT_TRUE(scanLostFiles(*s.disk, *s.partition, s.progress));
  }
  EXPECT_TRUE(s.progress.cancelled());
  EXPECT_TRUE(carvedAt(*s.partition, want.jpegs[0].cluster)) << "found before the cancel";
  EXPECT_TRUE(carvedAt(*s.partition, second)) << "the cluster being examined completes";
  EXPECT_FALSE(carvedAt(*s.partition, want.jpegs[2].cluster)) << "nothing after the cancel";
  for (const auto& d : want.documents) EXPECT_FALSE(carvedAt(*s.partition, d.first));
  EXPECT_TRUE(test::hasChild(s.partition->rootRecord, std::to_string(want.lostFolder)));
}

TEST(LostFileScan, WithoutBootSectorsEverySectorIsACluster) {
  // The formatter puts the up-case table further in than the default layout
  // guess reaches, so this volume falls back to one-sector clusters: JPEGs
  // and documents are still found (named by sector), folders are not.
  test::TempDir dir;
  std::string image = dir.file("noboot.img");
  std::string bytes = test::readFile(test::fixtureImage("exfat-carve.img"));
  std::fill(bytes.begin() + 2048 * 512, bytes.begin() + 2072 * 512, '\0');
  test::writeFile(image, bytes);
  CarveExpectation want = readExpectation();
  const uint32_t spc = cleanCarveScan().clusterSectors;
  const uint32_t heap = cleanCarveScan().clusterBase + 2 * spc - 2048;
  FixtureScan s(image);
  ASSERT_TRUE(scanLostFiles(*s.disk, *s.partition, s.progress));
  const PartitionRecord& p = *s.partition;
  EXPECT_EQ(p.clusterSectors, 1u);
  EXPECT_EQ(p.clusterBase, 2048u);
  EXPECT_TRUE(p.rootRecord.children.empty()) << "no folder detection with one-sector clusters";
  for (const auto& j : want.jpegs) {
    uint32_t sector = heap + (j.cluster - 2) * spc;
    const ExfatFileRecord* r = carvedAt(p, sector);
    ASSERT_TRUE(r) << "JPEG of cluster " << j.cluster;
    EXPECT_EQ(r->dataLength, j.length);
  }
  const ExfatFileRecord* document = carvedAt(p, heap + (want.documents[0].first - 2) * spc);
  ASSERT_TRUE(document);
  EXPECT_EQ(document->name.rfind("Report", 0), 0u);
}

TEST(LostFileScan, UpcaseTableLocatesAVolumeWithoutBootSectors) {
  // A partition of 16384 sectors: the default layout guess is 8 sectors per
  // cluster and one bitmap cluster, so the table at sector 1000 puts cluster
  // 3 there and cluster c at 1000 + (c - 3) x 8.
  const uint32_t start = 100;
  std::string disk((start + 16384) * 512ull, '\0');
  auto* d = reinterpret_cast<uint8_t*>(disk.data());
  auto at = [&](uint32_t c) { return d + (start + 1000 + (c - 3) * 8ull) * 512; };
  test::putUpcaseSector(at(3));
  std::vector<uint8_t> set = test::encodeSet(fileSet("found-me.txt", 40, 10));
  std::vector<uint8_t> set2 = test::encodeSet(fileSet("and-me.txt", 41, 10));
  set.insert(set.end(), set2.begin(), set2.end());
  std::copy(set.begin(), set.end(), at(12));
  const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 0xFF, 0xD9};
  std::copy(std::begin(jpeg), std::end(jpeg), at(20));

  test::MemoryDisks disks;
  disks.add("mem", disk);
  DiskRecord rec;
  rec.devicePath = "mem";
  PartitionRecord p;
  p.startSector = start;
  p.sizeSectors = 16384;
  p.typeCode = 5;
  ProgressBlock progress;
  ASSERT_TRUE(scanLostFiles(rec, p, progress));
  EXPECT_EQ(p.clusterSectors, 8u);
  EXPECT_EQ(p.clusterBase, start + 1000 - 3 * 8u);
  EXPECT_EQ(test::childNames(p.rootRecord), std::vector<std::string>{"12"});
  EXPECT_EQ(test::childNames(p.rootRecord.children.front()),
            (std::vector<std::string>{"and-me.txt", "found-me.txt"}));
  ASSERT_TRUE(carvedAt(p, 20));
  EXPECT_EQ(carvedAt(p, 20)->dataLength, 14u) << "up to and with its end marker";
}

struct SyntheticScan : test::ServedVolume {
  explicit SyntheticScan(const TestVolume& v) : ServedVolume(v) { scanLostFiles(disk, partition, progress); }
};

TEST(LostFileScan, FoundFoldersSubfoldersAreNotFoundTwice) {
  TestVolume v(2, 64);
  v.putSet({10}, 0, folderSet("child", 20, 1024));
  v.putSet({10}, 3, fileSet("file"));
  v.putSet({20}, 0, fileSet("grandchild"));
  v.putSet({20}, 3, fileSet("grandchild2"));
  v.putSet({8}, 0, fileSet("earlier"));
  v.putSet({8}, 3, fileSet("earlier2"));
  SyntheticScan s(v);
  // Cluster 4 (the empty root) is no folder; 8 and 10 are, 20 was read
  // through 10.
  EXPECT_EQ(test::childNames(s.partition.rootRecord), (std::vector<std::string>{"10", "8"}));
  const ExfatFileRecord& ten = s.partition.rootRecord.children.front();
  EXPECT_EQ(test::childNames(ten), (std::vector<std::string>{"file", "child"}));
  EXPECT_EQ(test::childNames(*test::childNamed(ten, "child")),
            (std::vector<std::string>{"grandchild2", "grandchild"}));
  for (const auto& [cluster, record] : {std::pair<uint32_t, const ExfatFileRecord*>{0, &s.partition.rootRecord},
                                        {1, &s.partition.extendedRecord}}) {
    auto it = s.partition.clusterIndex.find(cluster);
    ASSERT_NE(it, s.partition.clusterIndex.end()) << cluster;
    EXPECT_EQ(it->second, record) << cluster;
  }
  EXPECT_EQ(s.progress.upper(), 64u);
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
  p.clusterSectors = 2;
  p.clusterBase = v.clusterOffset(2) / 512 - 4;
  p.fatSectors = 1;
  ASSERT_TRUE(scanLostFiles(s.disk, p, s.progress));
  EXPECT_TRUE(p.fatTable.empty());
  const ExfatFileRecord* ten = test::childNamed(p.rootRecord, "10");
  ASSERT_TRUE(ten);
  EXPECT_EQ(test::childNames(*test::childNamed(*ten, "chained")), std::vector<std::string>{"first-cluster"});
}

TEST(LostFileScan, ClusterCountsThatScanNothingOrMoreThanTheDevice) {
  TestVolume small(2, 64);
  small.putSet({4}, 0, fileSet("x"));
  small.putSet({4}, 3, fileSet("w"));
  putLe32(small.bootSector(), 0x5C, 4);
  SyntheticScan s(small);
  EXPECT_TRUE(s.partition.rootRecord.children.empty());
  EXPECT_EQ(s.progress.position(), 0u);

  TestVolume huge(2, 64);
  huge.putSet({60}, 0, fileSet("y"));
  huge.putSet({60}, 3, fileSet("z"));
  putLe32(huge.bootSector(), 0x5C, 0xFFFFFFFF);
  SyntheticScan h(huge);
  EXPECT_EQ(test::childNames(h.partition.rootRecord), std::vector<std::string>{"60"});
  EXPECT_EQ(h.progress.upper(), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace dudorazu
