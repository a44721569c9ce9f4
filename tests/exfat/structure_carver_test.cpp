// Structure walks on hand-made files, hostile ones above all; real files of
// every format: lost_file_scan_test.
#include "core/exfat/structure_carver.h"

#include <gtest/gtest.h>

#include "core/common/byte_order.h"
#include "support/memory_device.h"

namespace dudorazu {
namespace {

using namespace std::string_literals;

std::string be32s(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string le32s(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string le16s(uint16_t v) { return le32s(v).substr(0, 2); }
std::string be64s(uint64_t v) { return be32s(static_cast<uint32_t>(v >> 32)) + be32s(static_cast<uint32_t>(v)); }

std::string box(const std::string& type, const std::string& body) { return be32s(uint32_t(8 + body.size())) + type + body; }
const std::string kFtyp = box("ftyp", "isom" + be32s(512) + "isomiso2mp41");

uint32_t crc32(const std::string& s) {
  uint32_t c = 0xFFFFFFFF;
  for (unsigned char b : s) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFF;
}
std::string chunk(const std::string& type, const std::string& data) {
  return be32s(uint32_t(data.size())) + type + data + be32s(crc32(type + data));
}
const std::string kPng = "\x89PNG\r\n\x1A\n" + chunk("IHDR", std::string(13, '\1'));

// A TIFF (little-endian) with one directory at 8 holding `entries`
// (tag, type, count, value) and `next` as the following directory.
std::string tiff(std::initializer_list<std::array<uint32_t, 4>> entries, uint32_t next = 0) {
  std::string t = "II*\0"s + le32s(8) + le16s(uint16_t(entries.size()));
  for (const auto& e : entries) t += le16s(uint16_t(e[0])) + le16s(uint16_t(e[1])) + le32s(e[2]) + le32s(e[3]);
  return t + le32s(next);
}

// A ZIP of one stored entry holding `data`; `cdOffset` overrides the
// central directory's offset in the end record.
std::string zip(std::optional<uint32_t> cdOffset = {}, const std::string& data = "hello") {
  const std::string name = "a.txt";
  const auto size = le32s(uint32_t(data.size()));
  std::string local = "PK\x03\x04"s + std::string(14, '\0') + size + size + le16s(5) + le16s(0) + name + data;
  std::string central = "PK\x01\x02"s + std::string(24, '\0') + le16s(5) + std::string(12, '\0') + le32s(0) + name;
  return local + central + "PK\x05\x06"s + std::string(4, '\0') + le16s(1) + le16s(1) +
         le32s(uint32_t(central.size())) + le32s(cdOffset.value_or(uint32_t(local.size()))) + le16s(0);
}

std::string pdfRevision(const std::string& before, const std::string& body) {
  const size_t xref = before.size() + body.size();
  return body + "xref\n0 1\n0000000000 65535 f \ntrailer\n<<>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

// A big-endian TIFF whose first directory points at an Exif directory and
// a SubIFD, each holding a strip further on than the last.
std::string tiffWithSubdirectories() {
  std::string t(9000, '\0');
  auto put = [&](size_t at, const std::string& b) { t.replace(at, b.size(), b); };
  auto be16s = [](uint16_t v) { return be32s(v).substr(2); };
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    return be16s(tag) + be16s(type) + be32s(count) + (type == 3 && count == 1 ? be16s(uint16_t(value)) + "\0\0"s : be32s(value));
  };
  put(0, "MM\0*"s + be32s(8));
  put(8, be16s(3) + entry(273, 4, 1, 100) + entry(279, 4, 1, 50) + entry(34665, 4, 1, 200) + be32s(0));
  put(200, be16s(2) + entry(330, 13, 1, 300) + entry(37500, 7, 2000, 1000) + be32s(0));  // maker note to 3000
  put(300, be16s(2) + entry(273, 4, 1, 8000) + entry(279, 4, 1, 800) + be32s(0));       // a strip to 8800
  return t.substr(0, 8800);
}

// Each file is followed by bytes of the card that are not its own; the walk
// must end where the file does, or say that it could not.
TEST(StructureCarver, EndsWhereTheStructureEndsAndNamesWhatItCannotEnd) {
  using enum CarveFormat;
  const std::string junk(3000, '\x5A'), pdf1 = pdfRevision("", "%PDF-1.4\n1 0 obj<<>>endobj\n");
  const std::string pdf2 = pdf1 + pdfRevision(pdf1, "2 0 obj<<>>endobj\n");
  const std::string wav = "RIFF"s + le32s(4 + 8 + 16 + 8 + 6) + "WAVE" + "fmt " + le32s(16) + std::string(16, '\1') +
                          "data" + le32s(6) + "abcdef";
  const std::string gif = "GIF89a"s + le16s(2) + le16s(2) + "\x80\0\0"s + std::string(6, '\7') +
                          "\x21\xF9\x04\0\0\0\0\0"s + "\x2C"s + std::string(8, '\0') + "\0"s + "\x02\x02\x44\x01\0"s + ";";
  const std::string bmp = "BM"s + le32s(54 + 8 * 2) + le32s(0) + le32s(54) + le32s(40) + le32s(2) + le32s(2) +
                          le16s(1) + le16s(24) + le32s(0) + le32s(0) + std::string(16, '\0') + std::string(16, '\3');
  std::string bmpWrongSize = bmp;
  bmpWrongSize[2] = 54 + 40;
  const std::string mp3 = "ID3\x03\0\0\0\0\0\x02"s + "\0\0"s + "\xFF\xFB\x90\x00"s + std::string(413, '\1') +
                          "\xFF\xFB\x90\x00"s + std::string(413, '\2');
  std::string bigTiff(5000, '\0');
  const std::string head = tiff({{256, 3, 1, 2}, {273, 4, 1, 4000}, {279, 4, 1, 900}, {271, 2, 6, 100}});
  bigTiff.replace(0, head.size(), head);
  bigTiff.replace(100, 6, "NIKON\0"s);
  const std::string avi = "RIFF"s + le32s(4 + 12) + "AVI " + "LIST" + le32s(4) + "hdrl";
  const std::string avix = "RIFF"s + le32s(4 + 10) + "AVIX" + "00dc" + le32s(1) + "x" + "\0"s;
  const std::string webm = "\x1A\x45\xDF\xA3\x87\x42\x82\x84webm"s + "\x18\x53\x80\x67\x83"s + "abc", inner = zip();
  const std::string outer = zip({}, inner);  // an archive stored inside another
  const std::string linear = pdfRevision("", "%PDF-1.4\n1 0 obj<<>>endobj\n");
  const std::string linearized = linear + pdfRevision(linear, "3 0 obj<<>>endobj\n");
  std::string ts, m2ts, longTs;
  for (int i = 0; i < 9; ++i) ts += "\x47"s + std::string(187, char(i)), m2ts += "tttt\x47"s + std::string(187, char(i));
  for (int i = 0; i < 300; ++i) longTs += "\x47\x41"s + (i % 2 ? "\x00"s : "\x11"s) + std::string(185, 'v');
  longTs += "\x47\x1F\xFF"s + std::string(185, '\xFF');  // padding comes late, and belongs
  const struct {
    const char* what;
    CarveFormat format;
    std::string file;
    std::string after;    // what follows on the card
    int64_t length;       // -1: not this format
    bool complete;
    const char* extension;
  } cases[] = {
      {"boxes summed, a 64-bit mdat", IsoMedia,
       kFtyp + box("moov", "x") + be32s(1) + "mdat" + be64s(20) + "four", junk, 57, true, ".mp4"},
      {"a box claiming 2^63 bytes", IsoMedia, kFtyp + be32s(1) + "mdat" + be64s(1ull << 63), junk, 28, false, ".mp4"},
      {"no movie box: the index is missing", IsoMedia, kFtyp + box("mdat", "data"), junk, 40, false, ".mp4"},
      {"mdat of size 0 runs to an end nothing gives", IsoMedia,
       kFtyp + box("moov", "") + be32s(0) + "mdat", junk, 36 + 8 + 3000, false, ".mp4"},
      {"HEIC named by its brand", IsoMedia, box("ftyp", "heic" + be32s(0) + "mif1heic") + box("meta", ""),
       junk, 32, true, ".heic"},
      {"chunks to IEND, each CRC checked", Png, kPng + chunk("IDAT", "data") + chunk("IEND", ""), junk, 61,
       true, ".png"},
      {"a PNG chunk of 4 GiB", Png, kPng + be32s(0xFFFFFFF0) + "IDAT", junk, 33, false, ".png"},
      {"a CRC that does not match ends the walk", Png, kPng + chunk("IDAT", "data").replace(12, 1, "?"),
       junk, 33, false, ".png"},
      {"a directory, its strip and the maker's name", Tiff, bigTiff, junk, 4900, true, ".nef"},
      {"a directory that points back at itself", Tiff, tiff({{256, 3, 1, 2}}, 8), junk, 26, false, ".tif"},
      {"a strip past the card's end", Tiff, tiff({{273, 4, 1, 10}, {279, 4, 1, 0xFFFFFF00}}), junk, 38, false, ".tif"},
      {"the end record gives the length", Zip, zip(), junk, 113, true, ".zip"},
      {"a central directory outside the card", Zip, zip(0xFFFFFF00u), junk, 40, false, ".zip"},
      {"incremental updates to the last trailer", Pdf, pdf2, "\0\0\0"s + junk, int64_t(pdf2.size()), true, ".pdf"},
      {"a trailer whose startxref points nowhere does not end it", Pdf,
       "%PDF-1.4\nstartxref\n99999\n%%EOF\n"s, "\0"s + junk, 64 << 10, false, ".pdf"},
      {"RIFF chunks adding up to its size", Riff, wav, junk, int64_t(wav.size()), true, ".wav"},
      {"RIFF chunks that do not", Riff, wav.substr(0, 40) + le32s(8) + "abcdef", junk, 50, false, ".wav"},
      {"GIF blocks to the trailer", Gif, gif, junk, int64_t(gif.size()), true, ".gif"},
      {"BMP size field matching its pixels", Bmp, bmp, junk, int64_t(bmp.size()), true, ".bmp"},
      {"BMP size field the pixels do not fill", Bmp, bmpWrongSize, junk, -1, false, ""},
      {"MP3 frames after the tag", Mp3, mp3, junk, int64_t(mp3.size()), true, ".mp3"},
      {"an AVI goes on in the AVIX list after it", Riff, avi + avix, junk, int64_t(avi.size() + avix.size()),
       true, ".avi"},
      {"WebM by its document type", Matroska, webm, junk, int64_t(webm.size()), true, ".webm"},
      {"an MP3 frame past the card's end", Mp3, mp3 + "\xFF\xFB\x90\x00"s, "", int64_t(mp3.size()), false, ".mp3"},
      {"a header of another MPEG version after the last frame", Mp3, mp3,
       "\xFF\xF3\x90\x00"s + std::string(413, '\3') + junk, int64_t(mp3.size()), true, ".mp3"},
      // Foreign bytes after the file, then a trailer (another file's) whose
      // startxref happens to point at an object of this one.
      {"a digit after the marker is no update", Pdf, pdf1, "7 junk\nstartxref\n9\n%%EOF\n"s + junk,
       int64_t(pdf1.size()), true, ".pdf"},
      {"GIF sub-blocks past the card's end", Gif, gif.substr(0, 38) + "\x40", "", 39, false, ".gif"},
      {"the archive's own end record, not the one stored inside", Zip, outer, junk,
       int64_t(outer.size()), true, ".zip"},
      {"a trailer followed by objects is not the last", Pdf, linearized, "\n\0"s + junk,
       int64_t(linearized.size()), true, ".pdf"},
      {"a next file's type box ends the boxes", IsoMedia, kFtyp + box("moov", ""), kFtyp + junk, 36, true, ".mp4"},
      {"strips, Exif, SubIFD and maker note: the furthest byte", Tiff, tiffWithSubdirectories(), junk,
       8800, true, ".tif"},
      {"transport stream packets to the last sync byte", MpegTs, ts, "\x46" + junk, int64_t(ts.size()), true, ".ts"},
      {"AVCHD's packets with their time stamps", MpegTs, m2ts, junk, int64_t(m2ts.size()), true, ".mts"},
      {"a packet of a stream the file never had ends it", MpegTs, longTs,
       "\x47\x05\x55"s + std::string(185, 'v') + junk, int64_t(longTs.size()), true, ".ts"},
      {"seven packets are too few to tell", MpegTs, ts.substr(0, 7 * 188), junk, -1, false, ""},
      {"Matroska segment of unknown size", Matroska,
       "\x1A\x45\xDF\xA3\x84\x42\x82\x81m"s + "\x18\x53\x80\x67\xFF"s, junk, 64 << 10, false, ".mkv"},
  };
  for (const auto& c : cases) {
    // A card that ends after the junk, or at 64 KiB where the carve has no
    // end and runs as far as the card.
    std::string card = c.file + c.after;
    if (c.length == (64 << 10)) card.resize(64 << 10, '\x5A');
    test::MemoryDevice device(card);
    CarveSource source(device, 0, card.size());
    auto carve = carveByStructure(c.format, source);
    ASSERT_EQ(carve.has_value(), c.length >= 0) << c.what;
    if (!carve) continue;
    EXPECT_EQ(std::tuple(carve->length, carve->complete, carve->extension), std::tuple(uint64_t(c.length), c.complete, c.extension))
        << c.what;
  }
}

// The table tells the formats apart by their first bytes alone; near misses are nothing.
TEST(StructureCarver, SignatureTableMatchesEachFormatsFirstBytes) {
  const std::pair<std::string, CarveFormat> cases[] = {
      {"\xFF\xD8\xFF\xE0\0\x10JFIF"s, CarveFormat::Jpeg},  {"\xFF\xD8\xFF\xE1\0\x10JFXX"s, CarveFormat::None},
      {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"s, CarveFormat::Ole2}, {"\0\0\0\x18""ftypheic"s, CarveFormat::IsoMedia},
      {"\0\0\0\x18""ftyx"s, CarveFormat::None},             {"\x89PNG\r\n\x1A\n"s, CarveFormat::Png},
      {"PK\x03\x04"s, CarveFormat::Zip},                    {"PK\x05\x06"s, CarveFormat::None},
      {"%PDF-1.7"s, CarveFormat::Pdf},                      {"MM\0*"s, CarveFormat::Tiff},
      {"IIRO"s, CarveFormat::Tiff},                         {"GIF89a"s, CarveFormat::Gif},
      {"GIF90a"s, CarveFormat::MpegTs},                     {"RIFF"s, CarveFormat::Riff},
      {"BM"s, CarveFormat::Bmp},                            {"\x1A\x45\xDF\xA3"s, CarveFormat::Matroska},
      {"ID3"s, CarveFormat::Mp3},                           {std::string(16, '\0'), CarveFormat::None},
      {"\x47\x40\x11"s, CarveFormat::MpegTs},             {"\0\0\0\0\x47"s, CarveFormat::MpegTs},
  };
  // 'G' is also a transport stream's sync byte: a candidate its carver
  // confirms or refuses.
  for (const auto& [start, format] : cases) {
    std::string cluster = start;
    cluster.resize(kSignatureBytes, '\x11');
    EXPECT_EQ(matchCarveSignature(reinterpret_cast<const uint8_t*>(cluster.data())), format)
        << carveFormatName(format) << " " << start.size();
  }
}

// Searches cross the source's read blocks: an end record straddling two is
// found, one past the limit is not.
TEST(StructureCarver, EndRecordsAcrossReadBlocksAndPastTheLimit) {
  for (size_t before = 0; before < 6; ++before) {
    // The end record starts `before` bytes ahead of the 256 KiB mark.
    const std::string card = zip({}, std::string((256u << 10) - before - 86, 'x'));
    ASSERT_EQ(card.rfind("PK\x05\x06"), (256u << 10) - before);
    test::MemoryDevice device(card + std::string(100, 'z'));
    CarveSource source(device, 0, card.size() + 100);
    auto carve = carveZip(source);
    ASSERT_TRUE(carve);
    EXPECT_TRUE(carve->length == card.size() && carve->complete) << before;
    CarveSource cut(device, 0, card.size() - 1);
    EXPECT_FALSE(carveZip(cut)->complete) << "an end record past the limit is not read";
  }
}

// A file taken over chosen clusters reads across them as one, and names them.
TEST(StructureCarver, ClusterChoiceReadsTheChosenClustersInOrder) {
  std::string card;
  for (char c = 'a'; c <= 'h'; ++c) card += std::string(512, c);  // cluster n (from 2) holds 'a' + n - 2
  test::MemoryDevice device(card);
  ClusterChoice choice{3, 10, 512, [](uint32_t c) { return uint64_t{c - 2} * 512; },
                       [](uint32_t c) { return c != 5 && c != 6; }};
  CarveSource source(device, std::move(choice), 6 * 512);
  std::string seen(4 * 512, '\0');
  ASSERT_TRUE(source.read(0, seen.data(), seen.size()));
  EXPECT_EQ(seen, std::string(512, 'b') + std::string(512, 'c') + std::string(512, 'f') + std::string(512, 'g'));
  EXPECT_EQ(source.find("cf", 0, 4096), std::optional<uint64_t>(1023)) << "a match across the skipped clusters";
  std::string runs;
  for (const ClusterRun& run : source.clustersOf(3 * 512 + 1)) runs += std::to_string(run.first) + "+" + std::to_string(run.count) + " ";
  EXPECT_EQ(runs, "3+2 7+2 ");
  std::string past(512, '\0');
  EXPECT_TRUE(source.read(4 * 512, past.data(), 512) && past == std::string(512, 'h'));
  EXPECT_FALSE(source.read(5 * 512, past.data(), 512)) << "cluster 9 is the last one: the choice ends before 10";
}

// Heads whose end record is far off or gone, one after another, do not each
// search the card again: what a search read is remembered for the next.
TEST(StructureCarver, SearchesOfOneScanReadTheCardOnce) {
  struct CountingDevice : test::MemoryDevice {
    using MemoryDevice::MemoryDevice;
    uint64_t bytesRead = 0;
    size_t readAt(uint64_t offset, void* buffer, size_t length) override {
      bytesRead += length;
      return MemoryDevice::readAt(offset, buffer, length);
    }
  };
  // 64 heads 4 KiB apart whose archives are gone, then 4 MiB of other data
  // and a whole archive.
  std::string card;
  for (int i = 0; i < 64; ++i) card += zip().substr(0, 40) + std::string(4096 - 40, 'h');
  card += std::string(4u << 20, 'o');
  const size_t whole = card.size();
  card += zip() + std::string(100, 'z');
  CountingDevice device(card);
  SearchMemo memo;
  for (int i = 0; i < 64; ++i) {
    CarveSource source(device, uint64_t(i) * 4096, card.size() - uint64_t(i) * 4096);
    source.useSearchMemo(&memo);
    auto carve = carveZip(source);
    EXPECT_TRUE(carve && !carve->complete) << i;
  }
  CarveSource source(device, whole, card.size() - whole);
  source.useSearchMemo(&memo);
  auto carve = carveZip(source);
  ASSERT_TRUE(carve && carve->complete && carve->length == 113);
  EXPECT_LT(device.bytesRead, 4 * card.size()) << "the card is read a few times, not once per head";
}

}  // namespace
}  // namespace dudorazu
