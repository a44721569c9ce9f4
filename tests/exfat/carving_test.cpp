// The detectors and carvers of the lost-file scan, on hand-made bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "core/common/byte_order.h"
#include "core/exfat/directory_detector.h"
#include "core/exfat/jpeg_carver.h"
#include "core/exfat/ole2_carver.h"

namespace dudorazu {
namespace {

std::vector<uint8_t> windowWithMarker(size_t at) {
  std::vector<uint8_t> w(4096, 0x33);
  w[at] = 0xFF;
  w[at + 1] = 0xD9;
  return w;
}

TEST(JpegCarver, EndMarkerNeedsZerosAfterItInItsSector) {
  auto w = windowWithMarker(1000);
  std::fill(w.begin() + 1002, w.end(), 0);
  EXPECT_EQ(findJpegEnd(w.data(), w.size(), 512), 1004u) << "r = 492, rest = 20, eight zeros follow";

  // Non-zero bytes after the first marker: skipped, the next one counts.
  auto g = windowWithMarker(1000);
  g[1500] = 0xFF, g[1501] = 0xD9;
  std::fill(g.begin() + 1502, g.end(), 0);
  EXPECT_EQ(findJpegEnd(g.data(), g.size(), 512), 1504u);

  // A marker ending a sector exactly is accepted whatever follows.
  auto e = windowWithMarker(508);
  EXPECT_EQ(findJpegEnd(e.data(), e.size(), 512), 512u);

  // Near the sector's end one zero among the remaining bytes is enough...
  auto n = windowWithMarker(1530);  // r = 510, rest = 2
  n[1533] = 0;
  EXPECT_EQ(findJpegEnd(n.data(), n.size(), 512), 1534u);
  // ...but none at all is not.
  auto none = windowWithMarker(1530);
  EXPECT_FALSE(findJpegEnd(none.data(), none.size(), 512));

  // The sector size of the volume decides where sectors end.
  auto big = windowWithMarker(1000);
  std::fill(big.begin() + 1002, big.begin() + 1010, 0);
  EXPECT_EQ(findJpegEnd(big.data(), big.size(), 4096), 1004u);
}

TEST(JpegCarver, ImagesReachingTheWindowSizeAreNotCarved) {
  std::vector<uint8_t> w(kJpegWindowBytes, 0x11);
  w[kJpegWindowBytes - 4] = 0xFF, w[kJpegWindowBytes - 3] = 0xD9;
  w[kJpegWindowBytes - 2] = 0, w[kJpegWindowBytes - 1] = 0;
  EXPECT_FALSE(findJpegEnd(w.data(), w.size(), 512));
  w[kJpegWindowBytes - 6] = 0xFF, w[kJpegWindowBytes - 5] = 0xD9;
  EXPECT_FALSE(findJpegEnd(w.data(), w.size(), 512)) << "0xD9 0xFF follows: not zero";
  // Bytes past a short read count as zeros but hold no marker.
  std::vector<uint8_t> s = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 'J', 'F', 'I', 'F', 0xFF, 0xD9};
  EXPECT_EQ(findJpegEnd(s.data(), s.size(), 512), 14u);
  EXPECT_FALSE(findJpegEnd(s.data(), 11, 512));
}

TEST(JpegCarver, ReadsTheWindowAsFarAsTheDeviceGoes) {
  // The image ends 280 KiB in, on a device of 300 KiB: the search reads on
  // past its first piece and finds the end in the short last one.
  std::string disk(300 << 10, '\x11');
  const uint8_t head[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'};
  std::memcpy(disk.data(), head, sizeof head);
  disk[280 << 10] = '\xFF';
  disk[(280 << 10) + 1] = '\xD9';
  std::fill(disk.begin() + (280 << 10) + 2, disk.end(), '\0');
  MemoryDevice device(disk);
  PartitionRecord p;
  p.clusterSectors = 8;
  p.clusterBase = 0 - 2 * 8ull;  // cluster 2 at sector 0
  std::vector<uint8_t> window;
  auto length = carveJpeg(device, p, 2, reinterpret_cast<const uint8_t*>(disk.data()), window);
  ASSERT_TRUE(length);
  EXPECT_EQ(*length, (280u << 10) + 4);
  disk[(280 << 10) + 3] = 1;  // the end marker's sector is no longer zero after it
  MemoryDevice spoiled(disk);
  EXPECT_FALSE(carveJpeg(spoiled, p, 2, reinterpret_cast<const uint8_t*>(disk.data()), window));
}

// A summary information property set as Office writes it.
struct PropertySet {
  uint8_t bytes[1040] = {};
  uint32_t next = 8 + 8 * 3;
  uint32_t count = 0;
  void add(uint32_t id, const std::string& text) {
    putLe32(bytes, 56 + 8 * count, id);
    putLe32(bytes, 60 + 8 * count, next);
    putLe32(bytes, 48 + next, 0x1E);
    putLe32(bytes, 48 + next + 4, static_cast<uint32_t>(text.size() + 1));
    std::memcpy(bytes + 48 + next + 8, text.data(), text.size());
    next += 8 + static_cast<uint32_t>((text.size() + 4) & ~3u);
    putLe32(bytes, 52, ++count);
  }
};

TEST(Ole2Carver, SummaryGivesTitleAuthorAndExtension) {
  PropertySet a;
  a.add(2, "Report");
  a.add(18, "Microsoft Office Word");
  SummaryInfo info;
  ASSERT_TRUE(parseSummaryInformation(a.bytes, info));
  EXPECT_EQ(info.title, "Report");
  EXPECT_EQ(info.extension, ".doc");

  for (auto [app, ext] : {std::pair{"Microsoft Excel", ".xls"}, std::pair{"Microsoft PowerPoint", ".ppt"},
                          std::pair{"WPS Office", ""}}) {
    PropertySet p;
    p.add(4, "Li");
    p.add(18, app);
    SummaryInfo i;
    ASSERT_TRUE(parseSummaryInformation(p.bytes, i));
    EXPECT_EQ(i.author, "Li");
    EXPECT_EQ(i.extension, ext) << app;
  }
}

TEST(Ole2Carver, MalformedSummariesAreRefusedWithoutReadingPastTheBlock) {
  PropertySet many;
  putLe32(many.bytes, 52, 121);  // 121 x 8 + 60 = 1028
  SummaryInfo info;
  EXPECT_FALSE(parseSummaryInformation(many.bytes, info));
  putLe32(many.bytes, 52, 0xFFFFFFFF);
  EXPECT_FALSE(parseSummaryInformation(many.bytes, info)) << "no 32-bit wrap of the count";

  PropertySet far;
  far.add(2, "x");
  putLe32(far.bytes, 60, 977);
  EXPECT_FALSE(parseSummaryInformation(far.bytes, info));
  // Offset 976 is allowed: its length field lies past the 1024 bytes read
  // and reads as zero.
  putLe32(far.bytes, 60, 976);
  SummaryInfo edge;
  EXPECT_TRUE(parseSummaryInformation(far.bytes, edge));
  EXPECT_EQ(edge.title, "");

  PropertySet longText;
  longText.add(2, "t");
  putLe32(longText.bytes, 48 + 32 + 4, 2049);
  EXPECT_FALSE(parseSummaryInformation(longText.bytes, info));
}

TEST(Ole2Carver, DocumentNamedFromItsSummaryAtItsCluster) {
  // A document at cluster 5000 of a volume whose clusters are one sector
  // and start at sector 0: header, directory at sector 1, summary at 2.
  PartitionRecord p;
  p.clusterSectors = 1;
  p.clusterBase = 0;
  std::string disk((5000 + 8) * 512, '\0');
  auto* d = reinterpret_cast<uint8_t*>(disk.data()) + 5000 * 512;
  const uint8_t magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(d, magic, 8);
  putLe32(d, 44, 2);
  putLe32(d, 48, 1);
  uint8_t* entry = d + 2 * 512 + 128;  // directory sector 1 lies at (1 + 1) x 512
  const uint8_t name[8] = {5, 0, 'S', 0, 'u', 0, 'm', 0};
  std::memcpy(entry, name, 8);
  putLe32(entry, 116, 2);
  PropertySet s;
  s.add(4, "Li");
  s.add(18, "Microsoft Office Word");
  std::memcpy(d + 3 * 512, s.bytes, 1024);
  MemoryDevice device(disk);
  auto doc = carveOle2Document(device, 5000, d, p);
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->name, "Li5000.doc");
  EXPECT_EQ(doc->length, 512u * 2 * 128);

  d[0] = 0;
  EXPECT_FALSE(carveOle2Document(device, 5000, d, p));
}

TEST(DirectoryDetector, FirstFourEntryTypes) {
  auto cluster = [](std::initializer_list<uint8_t> types) {
    std::vector<uint8_t> c(512, 0);
    size_t i = 0;
    for (uint8_t t : types) c[32 * i++] = t;
    return c;
  };
  EXPECT_TRUE(looksLikeDirectoryCluster(cluster({0x83, 0x81, 0x82, 0x85}).data())) << "a root folder";
  EXPECT_TRUE(looksLikeDirectoryCluster(cluster({0x03, 0x81, 0x82, 0x05}).data()));
  EXPECT_TRUE(looksLikeDirectoryCluster(cluster({0x85, 0xC0, 0xC1, 0x85}).data()));
  EXPECT_TRUE(looksLikeDirectoryCluster(cluster({0x05, 0x40, 0x41, 0x41}).data()));
  EXPECT_TRUE(looksLikeDirectoryCluster(cluster({0xC1, 0x85, 0xC0, 0xC1}).data())) << "a set's tail first";
  EXPECT_FALSE(looksLikeDirectoryCluster(cluster({0x85, 0x40, 0x41, 0x85}).data())) << "forms must agree";
  EXPECT_FALSE(looksLikeDirectoryCluster(cluster({0x85, 0xC0, 0x85, 0xC0}).data()));
  EXPECT_FALSE(looksLikeDirectoryCluster(cluster({0x81, 0x85, 0xC0, 0xC1}).data()));
  EXPECT_FALSE(looksLikeDirectoryCluster(cluster({0x85, 0xC0, 0xC1, 0x00}).data()));
  EXPECT_FALSE(looksLikeDirectoryCluster(cluster({0, 0, 0, 0}).data()));
}

}  // namespace
}  // namespace dudorazu
