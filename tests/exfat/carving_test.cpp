// Detectors and carvers on hand-made bytes; real photos of every kind: lost_file_scan_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "core/common/byte_order.h"
#include "core/exfat/directory_detector.h"
#include "core/exfat/jpeg_carver.h"
#include "core/exfat/ole2_carver.h"
#include "support/memory_device.h"

namespace dudorazu {
namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> list) { return {list.begin(), list.end()}; }

// Sized first: GCC 12 at -O3 misreads an insert here as out of bounds.
std::vector<uint8_t> operator+(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  std::vector<uint8_t> joined(a.size() + b.size());
  std::copy(a.begin(), a.end(), joined.begin());
  std::copy(b.begin(), b.end(), joined.begin() + static_cast<long>(a.size()));
  return joined;
}

// A JPEG's segments: start marker, a JFIF segment, then `body`.
std::vector<uint8_t> jpegWith(const std::vector<uint8_t>& body) {
  return bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}) + body;
}

// A scan header (one component) followed by entropy-coded bytes.
std::vector<uint8_t> scan(const std::vector<uint8_t>& data) {
  return bytes({0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0x3F, 0}) + data;
}

TEST(JpegCarver, EndsWithTheEndMarkerThatClosesTheImage) {
  const auto eoi = bytes({0xFF, 0xD9});
  const auto slack = bytes({0x5A, 0xFF, 0xD9, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // not zero, then a padded marker
  const auto stuffed = jpegWith(scan(bytes({0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD3, 0x56, 0xFF, 0xFF})) + eoi);
  const auto twoBytes = jpegWith(scan(bytes({1, 2})));
  struct Case {
    const char* what;
    std::vector<uint8_t> window;
    size_t length;
    bool endFound;
  } cases[] = {
      {"stuffed bytes, restart markers and fill are scan data", stuffed + slack, stuffed.size(), true},
      {"damage in the image data cuts it short", twoBytes + bytes({0xFF, 0x05, 7, 7}) + eoi + slack, twoBytes.size(), false},
      {"so does the end of what was read", twoBytes, twoBytes.size(), false},
      {"even where a segment claims more", jpegWith(bytes({0xFF, 0xE1, 0x40, 0, 1})), 25, false},
  };
  for (const Case& c : cases) {
    JpegEnd carve = findJpegEnd(c.window.data(), c.window.size(), 512);
    EXPECT_EQ(carve.length, c.length) << c.what;
    EXPECT_EQ(carve.endMarkerFound, c.endFound) << c.what;
  }
}

TEST(JpegCarver, UnknownHeadsEndAtAMarkerWithZerosAfterItInItsSector) {
  struct Case {
    const char* what;
    std::vector<size_t> markers;
    size_t zerosFrom, zerosTo;  // zero bytes in [from, to)
    uint32_t bytesPerSector;
    uint64_t length;  // 0: no marker accepted
  } cases[] = {
      {"r = 492, rest = 20, eight zeros follow", {1000}, 1002, 4096, 512, 1002},
      {"non-zero after the first marker: the next counts", {1000, 1500}, 1502, 4096, 512, 1502},
      {"a marker ending a sector exactly", {508}, 0, 0, 512, 510},
      {"near a sector's end one zero is enough", {1530}, 1533, 1534, 512, 1532},
      {"but none at all is not", {1530}, 0, 0, 512, 0},
      {"the volume's sector size decides where sectors end", {1000}, 1002, 1010, 4096, 1002},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> w(4096, 0x33);
    for (size_t at : c.markers) w[at] = 0xFF, w[at + 1] = 0xD9;
    std::fill(w.begin() + c.zerosFrom, w.begin() + c.zerosTo, 0);
    JpegEnd carve = findJpegEnd(w.data(), w.size(), c.bytesPerSector);
    EXPECT_EQ(carve.endMarkerFound, c.length != 0) << c.what;
    EXPECT_EQ(carve.length, c.length != 0 ? c.length : w.size()) << c.what << " (cut short: all that was read)";
  }
}

TEST(JpegCarver, ReadsTheWindowAsFarAsTheDeviceGoesAndImagesReachingItsSizeAreCutShort) {
  // The end marker fills the window's last two bytes: the image reaches it.
  std::vector<uint8_t> w(kJpegWindowBytes, 0x11);
  w[kJpegWindowBytes - 2] = 0xFF, w[kJpegWindowBytes - 1] = 0xD9;
  EXPECT_FALSE(findJpegEnd(w.data(), w.size(), 512).endMarkerFound) << "padded-marker search";
  auto body = jpegWith(scan({}));
  std::copy(body.begin(), body.end(), w.begin());
  JpegEnd c = findJpegEnd(w.data(), w.size(), 512);
  EXPECT_TRUE(!c.endMarkerFound && c.length == kJpegWindowBytes) << "segment walk";

  // The image ends 280 KiB in, on a device of 300 KiB: the walk reads on
  // past its first piece and finds the end in the short last one.
  auto head = jpegWith(scan({}));
  std::string disk(300 << 10, '\x11');
  std::copy(head.begin(), head.end(), disk.begin());
  disk[280 << 10] = '\xFF', disk[(280 << 10) + 1] = '\xD9';
  PartitionRecord p;
  LoadedVolume lv(p);
  p.clusterSectors = 8;
  p.clusterBase = 0 - 2 * 8ull;  // cluster 2 at sector 0
  std::vector<uint8_t> window;
  auto carve = [&](const std::string& bytes) {
    test::MemoryDevice device(bytes);
    auto c = carveJpeg(device, lv, 2, reinterpret_cast<const uint8_t*>(bytes.data()), window);
    return c ? std::to_string(c->length) + (c->kind == kCarvedIncomplete ? " cut" : " end") : "none";
  };
  EXPECT_EQ(carve(disk), std::to_string((280 << 10) + 2) + " end");
  disk[(280 << 10) + 1] = 0;  // no end before the device's end
  EXPECT_EQ(carve(disk), std::to_string(300 << 10) + " cut");
  disk[6] = 'X';
  EXPECT_EQ(carve(disk), "none") << "no JPEG start";
}

// A summary information property set as Office writes it.
struct PropertySet {
  uint8_t bytes[1040] = {};
  uint32_t next = 8 + 8 * 3, count = 0;
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

TEST(Ole2Carver, SummaryNamesTheDocumentAtItsClusterAndMalformedOnesAreRefusedInBounds) {
  for (auto [app, ext] : {std::pair{"Microsoft Office Word", ".doc"}, {"Microsoft Excel", ".xls"},
                          {"Microsoft PowerPoint", ".ppt"}, {"WPS Office", ""}}) {
    PropertySet p;
    p.add(2, "Report");
    p.add(4, "Li");
    p.add(18, app);
    SummaryInfo i;
    ASSERT_TRUE(parseSummaryInformation(p.bytes, i));
    EXPECT_EQ(i.title + "|" + i.author + "|" + i.extension, std::string("Report|Li|") + ext) << app;
  }
  // Refused: more properties than the 1024 bytes read hold (121 x 8 + 60 =
  // 1028), a count that would wrap 32 bits, an offset past them, a text
  // longer than a property may be.
  PropertySet many, wraps, far, longText;
  putLe32(many.bytes, 52, 121);
  putLe32(wraps.bytes, 52, 0xFFFFFFFF);
  far.add(2, "x");
  putLe32(far.bytes, 60, 977);
  longText.add(2, "t");
  putLe32(longText.bytes, 48 + 32 + 4, 2049);
  SummaryInfo info, edge;
  for (const PropertySet* refused : {&many, &wraps, &far, &longText})
    EXPECT_FALSE(parseSummaryInformation(refused->bytes, info)) << refused - &many;
  // Offset 976 is allowed: its length field lies past the 1024 bytes read
  // and reads as zero.
  putLe32(far.bytes, 60, 976);
  EXPECT_TRUE(parseSummaryInformation(far.bytes, edge) && edge.title.empty());
  // A document at cluster 5000 of a volume whose clusters start at sector
  // 0: header, directory at its sector 1, summary at 2, in sectors of the
  // document's own size (its sector shift), whatever the volume's. Two FAT
  // sectors map 2 x (sector / 4) sectors.
  const struct {
    uint16_t shift;
    uint16_t volumeSector;
    uint64_t length;  // 0: refused
  } docs[] = {{9, 512, 2 * 128 * 512},       {9, 4096, 2 * 128 * 512}, {12, 512, 2 * 1024 * 4096},
              {12, 4096, 2 * 1024 * 4096}, {10, 512, 0},             {0, 512, 0}};
  for (const auto& c : docs) {
    const uint64_t sector = uint64_t{1} << (c.shift == 12 ? 12 : 9);
    PartitionRecord p;
    p.bytesPerSector = c.volumeSector;
    p.clusterSectors = static_cast<uint32_t>(4 * sector / 512);
    p.clusterBase = 0;
    const uint64_t at = p.clusterPosition(5000);
    std::string disk(at + 8 * sector, '\0');
    auto* d = reinterpret_cast<uint8_t*>(disk.data()) + at;
    const uint8_t magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(d, magic, 8);
    putLe16(d, 30, c.shift);
    putLe32(d, 44, 2);
    putLe32(d, 48, 1);
    uint8_t* entry = d + 2 * sector + 128;  // directory sector 1 lies at (1 + 1) sectors
    const uint8_t name[8] = {5, 0, 'S', 0, 'u', 0, 'm', 0};
    std::memcpy(entry, name, 8);
    putLe32(entry, 116, 2);
    PropertySet s;
    s.add(4, "Li");
    s.add(18, "Microsoft Office Word");
    std::memcpy(d + 3 * sector, s.bytes, 1024);
    test::MemoryDevice device(disk);
    auto doc = carveOle2Document(device, 5000, d, p);
    ASSERT_EQ(doc.has_value(), c.length != 0) << c.shift << " " << c.volumeSector;
    if (!doc) continue;
    EXPECT_EQ(doc->name + " " + std::to_string(doc->length), "Li5000.doc " + std::to_string(c.length)) << c.shift;
    d[0] = 0;
    EXPECT_FALSE(carveOle2Document(device, 5000, d, p));
  }
}

// A root folder, sets in both forms, a set's tail first; forms must agree.
TEST(DirectoryDetector, FirstFourEntryTypes) {
  const std::pair<std::array<uint8_t, 4>, bool> cases[] = {
      {{0x83, 0x81, 0x82, 0x85}, true},  {{0x03, 0x81, 0x82, 0x05}, true},  {{0x85, 0xC0, 0xC1, 0x85}, true},
      {{0x05, 0x40, 0x41, 0x41}, true},  {{0xC1, 0x85, 0xC0, 0xC1}, true},  {{0x85, 0x40, 0x41, 0x85}, false},
      {{0x85, 0xC0, 0x85, 0xC0}, false}, {{0x81, 0x85, 0xC0, 0xC1}, false}, {{0x85, 0xC0, 0xC1, 0x00}, false},
      {{0, 0, 0, 0}, false}};
  for (const auto& [types, folder] : cases) {
    std::vector<uint8_t> c(512, 0);
    for (size_t i = 0; i < 4; ++i) c[32 * i] = types[i];
    EXPECT_EQ(looksLikeDirectoryCluster(c.data()), folder) << std::hex << int(types[0]) << " " << int(types[1]);
  }
}

}  // namespace
}  // namespace dudorazu
