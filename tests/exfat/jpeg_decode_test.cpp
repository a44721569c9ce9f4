// The JPEG decoder on images coded by cjpeg (jpeg-samples.txt lists them),
// whole, cut short and with a piece of other data in place of their own; the
// carve that decodes them cluster by cluster.
#include "core/exfat/jpeg_decode.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/sector_device.h"
#include "core/exfat/jpeg_carver.h"
#include "support/fixtures.h"
#include "support/memory_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

struct Sample {
  std::string name, bytes;
  bool decodes = false;
};

std::vector<Sample> samples() {
  const std::string blob = test::readFile(test::fixtureImage("jpeg-samples.bin"));
  std::istringstream list(test::fixtureText("jpeg-samples.txt"));
  std::vector<Sample> out;
  std::string name, kind;
  uint64_t offset = 0, length = 0;
  while (list >> name >> offset >> length >> kind) {
    test::require(offset + length <= blob.size(), "jpeg-samples.bin is shorter than its list");
    out.push_back({name, blob.substr(offset, length), kind == "decodes"});
  }
  test::require(out.size() >= 7, "jpeg-samples.txt lists too few images");
  return out;
}

const uint8_t* u8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// `size` bytes of a text file's lines, as the clusters of another file hold.
std::string textPiece(size_t size) {
  std::string t;
  while (t.size() < size) t += "<keep.txt@" + std::to_string(t.size()) + "> keep this text\n";
  return t.substr(0, size);
}

// Fed `piece` bytes more at each call, as clusters come: the step after the
// last call, and how many bytes had been given then.
std::pair<JpegDecodeStep, uint64_t> decodeInPieces(JpegDecoder& d, const std::string& bytes, uint64_t piece) {
  uint64_t given = 0;
  JpegDecodeStep step = JpegDecodeStep::NeedBytes;
  while (step == JpegDecodeStep::NeedBytes && given < bytes.size()) {
    given = std::min<uint64_t>(given + piece, bytes.size());
    step = d.decode(u8(bytes), given);
  }
  return {step, given};
}

TEST(JpegDecoder, RealImagesDecodeToTheirEndMarkerBreakWhereOtherDataTakesAPieceAndComeBackFromACheckpoint) {
  constexpr uint64_t kPiece = 2048;
  const std::string text = textPiece(kPiece);
  const std::vector<Sample> all = samples();
  for (const Sample& s : all) {
    SCOPED_TRACE(s.name);
    ASSERT_GT(s.bytes.size(), 3 * kPiece);
    {
      JpegDecoder whole;
      const JpegDecodeStep step = whole.decode(u8(s.bytes), s.bytes.size());
      if (!s.decodes) {
        EXPECT_EQ(step, JpegDecodeStep::Unverifiable);
        continue;
      }
      ASSERT_EQ(step, JpegDecodeStep::Complete);
      EXPECT_EQ(whole.endOffset(), s.bytes.size());
    }
    // What follows the end marker does not matter; pieces give the same end.
    JpegDecoder pieces;
    const std::string trailed = s.bytes + std::string(3000, '\x5A');
    auto [step, given] = decodeInPieces(pieces, trailed, kPiece);
    EXPECT_EQ(std::tuple(step, pieces.endOffset()), std::tuple(JpegDecodeStep::Complete, s.bytes.size()));
    EXPECT_LT(given - pieces.endOffset(), kPiece) << "it stopped at the piece holding the end marker";

    JpegDecoder cut;
    EXPECT_EQ(cut.decode(u8(s.bytes), s.bytes.size() - 700), JpegDecodeStep::NeedBytes) << "cut short";

    // A checkpoint taken before a piece brings the decoder back: the right
    // piece then decodes to the end as if the wrong one had never been given.
    JpegDecoder resumed;
    const std::string first = s.bytes.substr(0, kPiece);
    ASSERT_EQ(resumed.decode(u8(first), first.size()), JpegDecodeStep::NeedBytes);
    const JpegDecoder::Checkpoint before = resumed.checkpoint();
    const std::string wrong = first + s.bytes.substr(s.bytes.size() / 2, kPiece);
    EXPECT_EQ(decodeInPieces(resumed, wrong, kPiece).first, JpegDecodeStep::Broken);
    resumed.restore(before);
    EXPECT_EQ(decodeInPieces(resumed, s.bytes, kPiece).first, JpegDecodeStep::Complete);
    EXPECT_EQ(resumed.endOffset(), s.bytes.size()) << "after the checkpoint was restored";

    // Piece 1 (bytes 2048 to 4096) replaced: by text, by zeros, by the same
    // piece of another image, by this image's own later piece.
    const Sample& other = all[(&s - all.data() + 1) % all.size()];
    const std::pair<const char*, std::string> foreign[] = {
        {"text", text},
        {"another image", other.bytes.substr(other.bytes.size() / 2, kPiece)},
        {"a later piece of its own", s.bytes.substr(s.bytes.size() - 2 * kPiece, kPiece)},
    };
    for (const auto& [what, bytes] : foreign) {
      std::string mixed = s.bytes;
      mixed.replace(kPiece, kPiece, bytes);
      JpegDecoder d;
      auto [brokeStep, brokeGiven] = decodeInPieces(d, mixed, kPiece);
      EXPECT_EQ(brokeStep, JpegDecodeStep::Broken) << what;
      if (brokeStep != JpegDecodeStep::Broken) continue;
      EXPECT_GE(d.breakOffset() + 64, kPiece) << what << ": no break before the foreign piece (a few bytes' slack)";
      EXPECT_LT(d.breakOffset(), 3 * kPiece) << what << ": within the piece or the next";
      EXPECT_LE(brokeGiven, 3 * kPiece) << what;
    }
  }
}

// Heads and scans that lie: refused in bounds, never taken as a whole image.
TEST(JpegDecoder, HostileHeadsAreBrokenOrUnverifiableInBounds) {
  const std::string base = samples().front().bytes;
  auto at = [&](const std::string& marker) { return base.find(marker); };
  struct Case {
    const char* what;
    std::string bytes;
    JpegDecodeStep step;
  };
  std::string noScan = base.substr(0, at("\xFF\xDA")) + "\xFF\xD9", hugeDqt = base;
  hugeDqt[at("\xFF\xDB") + 2] = '\xFF', hugeDqt[at("\xFF\xDB") + 3] = '\xFF';
  std::string wideFrame = base;
  const size_t sof = at("\xFF\xC0");
  wideFrame[sof + 7] = '\xFF', wideFrame[sof + 8] = '\xFF';  // 65,535 pixels wide: the data ends long before
  std::string noTables = base;
  noTables[at("\xFF\xC4") + 1] = '\xFE';  // the Huffman tables become a comment
  std::string overfull = base;  // seven codes of 3 bits in the first table: more than 3 bits hold
  const size_t dht = at("\xFF\xC4");
  overfull[dht + 7] = 7, overfull[dht + 8] = 0, overfull[dht + 9] = 0;
  std::string badSampling = base;
  badSampling[sof + 11] = 0x55;  // 5 x 5
  const Case cases[] = {
      {"an end marker before any scan", noScan, JpegDecodeStep::Broken},
      {"a quantisation table of 65,535 bytes", hugeDqt, JpegDecodeStep::NeedBytes},
      {"more blocks than the data holds", wideFrame, JpegDecodeStep::Broken},
      {"a scan without its Huffman tables", noTables, JpegDecodeStep::Broken},
      {"sampling factors past 4", badSampling, JpegDecodeStep::Broken},
      {"a Huffman table with more codes than their lengths hold", overfull, JpegDecodeStep::Broken},
      {"no start marker", base.substr(2), JpegDecodeStep::Broken},
  };
  for (const Case& c : cases) {
    JpegDecoder d;
    EXPECT_EQ(d.decode(u8(c.bytes), c.bytes.size()), c.step) << c.what;
  }
}

// Clusters of 2 KiB from cluster 2 at byte 0, laid out as each case says
// ('i': the image's next cluster, 'x': a live file's, '0': zeros,
// 'h': a head that cannot be followed, 'e': other data with an end marker
// padded by zeros), the bitmap marking the 'x' clusters in use.
TEST(JpegCarve, DecodedCarvesGoOnInFreeClustersAndSearchedEndsAreGuesses) {
  constexpr uint64_t kCluster = 2048;
  const std::vector<Sample> all = samples();
  const std::string& image = all[0].bytes;   // baseline
  const std::string& arithmetic = all.back().bytes;
  ASSERT_FALSE(all.back().decodes);
  const std::string text = textPiece(kCluster);
  std::string head = image.substr(0, 20) + "\xFF\xDB\xFF\xFF";
  while (head.size() < kCluster) head += static_cast<char>(head.size() * 37 % 251);
  std::string other(kCluster, 'o');
  other.replace(300, 2, "\xFF\xD9");
  std::fill(other.begin() + 302, other.begin() + 512, '\0');
  const uint64_t imageClusters = (image.size() + kCluster - 1) / kCluster;

  struct Case {
    const char* what;
    std::string layout;
    std::string firstBytes;  // the image's bytes for a layout of 'i' ("" for `image`)
    CarveKind kind;
    uint64_t length;  // 0: the image's own
    bool sameBytes;   // the carve's clusters in order hold the image
  };
  const std::string i(imageClusters, 'i');
  const Case cases[] = {
      {"whole and in order", i + "00", "", kCarvedToEndMarker, 0, true},
      {"a live file's clusters inside it", "iixxx" + i.substr(2) + "0", "", kCarvedThroughFreeClusters, 0, true},
      {"text in free clusters inside it", "iix" + i.substr(2) + "0", "", kCarvedThroughFreeClusters, 0, true},
      {"its rest overwritten", "iiixxxxxxxxxxxxx", "", kCarvedIncomplete, 3 * kCluster, true},
      {"a live file inside it, then its rest overwritten", "iixxiixxxxxxxxxx", "", kCarvedIncomplete, 4 * kCluster,
       true},
      {"a head that cannot be followed, then a foreign end marker", "he" + std::string(40, '0'), head, kCarvedEndGuessed, kCluster + 302,
       false},
      {"arithmetic coding: the end is searched for",
       std::string((arithmetic.size() + kCluster - 1) / kCluster, 'i') + "0", arithmetic, kCarvedEndGuessed,
       arithmetic.size(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string& own = c.firstBytes.empty() ? image : c.firstBytes;
    std::string disk;
    std::vector<uint8_t> bitmap((c.layout.size() + 7) / 8, 0);
    uint64_t next = 0;
    for (size_t k = 0; k < c.layout.size(); ++k) {
      std::string cluster;
      switch (c.layout[k]) {
        case 'i': cluster = own.substr(std::min<uint64_t>(next, own.size()), kCluster), next += kCluster; break;
        case 'x': cluster = text, bitmap[k / 8] |= static_cast<uint8_t>(1u << (k % 8)); break;
        case 'h': cluster = head; break;
        case 'e': cluster = other; break;
        default: break;
      }
      cluster.resize(kCluster, '\0');
      disk += cluster;
    }
    PartitionRecord p;
    LoadedVolume lv(p);
    p.clusterSectors = kCluster / 512;
    p.clusterBase = 0 - 2ull * p.clusterSectors;
    p.clusterCount = static_cast<uint32_t>(c.layout.size());
    lv.allocationBitmap = bitmap;
    test::MemoryDevice device(disk);
    std::vector<uint8_t> window;
    auto carve = carveJpeg(device, lv, 2, u8(disk), window);
    ASSERT_TRUE(carve);
    EXPECT_EQ(std::tuple(int{carve->kind}, carve->length), std::tuple(int{c.kind}, c.length ? c.length : image.size()));
    if (!c.sameBytes) continue;
    // The clusters it takes, in order, hold the image (as far as it goes)
    // and nothing else.
    std::string taken;
    if (carve->runs.empty()) taken = disk.substr(0, carve->length);
    for (const ClusterRun& r : carve->runs) taken += disk.substr((r.first - 2) * kCluster, r.count * kCluster);
    EXPECT_GE(taken.size(), carve->length) << "its clusters cover its length";
    EXPECT_TRUE(taken.substr(0, carve->length) == image.substr(0, carve->length)) << "other bytes than the image's";
  }
}

}  // namespace
}  // namespace dudorazu
