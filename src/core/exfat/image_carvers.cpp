// Still images: PNG chunks, GIF blocks, the BMP header, TIFF directories.
#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

#include "core/common/byte_order.h"
#include "core/exfat/structure_carver.h"

namespace dudorazu {
namespace {

StructureCarve cutShort(uint64_t length) { return {length, false, {}}; }

// Walks that read every byte stop at sizes no real picture has.
constexpr uint64_t kMaxPngBytes = 1ull << 30;
constexpr uint64_t kMaxGifBytes = 256u << 20;

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[n] = c;
  }
  return t;
}
constexpr auto kCrcTable = makeCrcTable();

uint32_t crcUpdate(uint32_t crc, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

bool isLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::optional<StructureCarve> carvePng(CarveSource& s) {
  uint8_t h[16];
  if (!s.read(8, h, 8) || std::memcmp(h + 4, "IHDR", 4) != 0 || be32(h, 0) != 13) return std::nullopt;
  std::vector<uint8_t> piece(64u << 10);
  uint64_t pos = 8;
  for (;;) {
    if (!s.read(pos, h, 8)) return cutShort(pos);
    const uint32_t length = be32(h, 0);
    // Chunk lengths are limited to 2^31 - 1.
    if (length > 0x7FFFFFFFu || !isLetter(h[4]) || !isLetter(h[5]) || !isLetter(h[6]) || !isLetter(h[7]))
      return cutShort(pos);
    if (uint64_t{length} + 12 > std::min(s.limit(), kMaxPngBytes) - std::min(pos, s.limit())) return cutShort(pos);
    // The CRC covers the type and the data: a chunk read across clusters
    // that are not its own does not match it.
    uint32_t crc = crcUpdate(0xFFFFFFFFu, h + 4, 4);
    for (uint64_t done = 0; done < length;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), length - done));
      if (!s.read(pos + 8 + done, piece.data(), n)) return cutShort(pos);
      crc = crcUpdate(crc, piece.data(), n);
      done += n;
    }
    uint8_t stored[4];
    if (!s.read(pos + 8 + length, stored, 4) || be32(stored, 0) != (crc ^ 0xFFFFFFFFu)) return cutShort(pos);
    pos += uint64_t{length} + 12;
    if (std::memcmp(h + 4, "IEND", 4) == 0) return StructureCarve{pos, true, ".png"};
  }
}

std::optional<StructureCarve> carveGif(CarveSource& s) {
  uint8_t h[13];
  if (!s.read(0, h, 13)) return std::nullopt;
  auto table = [](uint8_t flags) -> uint64_t { return (flags & 0x80) ? 3u << ((flags & 7) + 1) : 0; };
  uint64_t pos = 13 + table(h[10]);
  // Data sub-blocks: a length byte and that many bytes, to a zero length.
  auto skipSubBlocks = [&]() -> bool {
    while (pos < kMaxGifBytes) {
      auto n = s.byte(pos);
      if (!n) return false;
      ++pos;
      if (*n == 0) return true;
      pos += *n;
    }
    return false;
  };
  for (;;) {
    auto b = pos < kMaxGifBytes ? s.byte(pos) : std::nullopt;
    if (!b) return cutShort(std::min(pos, s.limit()));
    if (*b == 0x3B) return StructureCarve{pos + 1, true, ".gif"};
    if (*b == 0x21) {
      pos += 2;  // introducer and label
    } else if (*b == 0x2C) {
      uint8_t d[10];
      if (!s.read(pos, d, 10)) return cutShort(pos);
      pos += 10 + table(d[9]) + 1;  // descriptor, local table, LZW code size
    } else {
      return cutShort(pos);
    }
    if (!skipSubBlocks()) return cutShort(std::min(pos, s.limit()));
  }
}

std::optional<StructureCarve> carveBmp(CarveSource& s) {
  uint8_t h[54] = {};
  if (!s.read(0, h, 26)) return std::nullopt;
  const uint64_t fileSize = le32(h, 2);
  const uint64_t dataOffset = le32(h, 10);
  const uint32_t headerSize = le32(h, 14);
  uint64_t width = 0, height = 0, imageBytes = 0;
  uint32_t bits = 0, compression = 0;
  if (headerSize == 12) {
    width = le16(h, 18), height = le16(h, 20), bits = le16(h, 24);
    if (le16(h, 22) != 1) return std::nullopt;
  } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 || headerSize == 108 ||
             headerSize == 124) {
    if (!s.read(0, h, 54)) return std::nullopt;
    const auto w = static_cast<int32_t>(le32(h, 18));
    const auto hh = static_cast<int32_t>(le32(h, 22));
    width = static_cast<uint64_t>(w < 0 ? -static_cast<int64_t>(w) : w);
    height = static_cast<uint64_t>(hh < 0 ? -static_cast<int64_t>(hh) : hh);
    if (w <= 0 || le16(h, 26) != 1) return std::nullopt;
    bits = le16(h, 28), compression = le32(h, 30), imageBytes = le32(h, 34);
  } else {
    return std::nullopt;
  }
  if (width == 0 || height == 0 || width > (1u << 16) || height > (1u << 16)) return std::nullopt;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return std::nullopt;
  if (dataOffset < 14 + headerSize || dataOffset > fileSize) return std::nullopt;
  // Uncompressed rows are padded to four bytes: the size field must cover
  // them and no more than a few bytes past them.
  if (compression == 0 || compression == 3 || compression == 6) {
    imageBytes = (width * bits + 31) / 32 * 4 * height;
    if (fileSize < dataOffset + imageBytes || fileSize > dataOffset + imageBytes + 4) return std::nullopt;
  } else if (compression == 1 || compression == 2) {
    if (imageBytes == 0 || fileSize < dataOffset + imageBytes) return std::nullopt;
  } else {
    return std::nullopt;
  }
  if (fileSize > s.limit()) return cutShort(s.limit());
  return StructureCarve{fileSize, true, ".bmp"};
}

namespace {

// The sizes of the TIFF field types, 0 for those unknown.
uint32_t tiffTypeSize(uint16_t type) {
  static constexpr uint8_t kSizes[19] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
  return type < 19 ? kSizes[type] : 0;
}

constexpr uint32_t kMaxDirectories = 4096;
constexpr uint32_t kMaxEntries = 4096;
constexpr uint64_t kMaxArrayValues = 1u << 20;
// Offsets and counts read over the whole walk: thousands of directories
// each claiming a million strips cost no more than this.
constexpr uint64_t kValueBudget = 1u << 22;

struct TiffWalk {
  TiffWalk(CarveSource& source, bool littleEndian) : s(source), little(littleEndian) {}
  CarveSource& s;
  bool little;
  uint64_t end = 8;
  bool brokenOff = false;  // something points past the limit
  bool looped = false;     // a directory is pointed at twice
  uint64_t budget = kValueBudget;
  std::string make;
  bool dng = false;
  std::vector<uint64_t> pending;
  std::set<uint64_t> seen;

  uint32_t u16(const uint8_t* p) const { return little ? le16(p) : be16(p); }
  uint32_t u32(const uint8_t* p) const { return little ? le32(p) : be32(p); }

  void reach(uint64_t offset, uint64_t bytes) {
    if (offset > s.limit() || bytes > s.limit() - offset) brokenOff = true;
    else end = std::max(end, offset + bytes);
  }

  // The values of an entry as numbers (SHORT or LONG), as many as fit the
  // bound; empty when they cannot be read.
  std::vector<uint64_t> values(const uint8_t* entry) {
    const uint16_t type = static_cast<uint16_t>(u16(entry + 2));
    uint64_t count = std::min<uint64_t>(u32(entry + 4), kMaxArrayValues);
    const uint32_t size = type == 3 ? 2 : (type == 4 || type == 13) ? 4 : 0;
    std::vector<uint64_t> out;
    if (size == 0) return out;
    if (count > budget) {
      brokenOff = true;  // the walk is cut short: its end is not known
      count = budget;
    }
    budget -= count;
    std::vector<uint8_t> raw(static_cast<size_t>(count * size));
    if (count * size <= 4) std::memcpy(raw.data(), entry + 8, raw.size());
    else if (!s.read(u32(entry + 8), raw.data(), raw.size())) return out;
    for (uint64_t i = 0; i < count; ++i) out.push_back(size == 2 ? u16(&raw[i * 2]) : u32(&raw[i * 4]));
    return out;
  }

  void directory(uint64_t at) {
    uint8_t c[2];
    if (!s.read(at, c, 2)) return reach(at, 2);
    const uint32_t count = u16(c);
    if (count == 0 || count > kMaxEntries) return;
    std::vector<uint8_t> entries(count * 12 + 4);
    if (!s.read(at + 2, entries.data(), entries.size())) return reach(at, 2 + entries.size());
    reach(at, 2 + entries.size());
    std::vector<uint64_t> stripOffsets, stripCounts, tileOffsets, tileCounts;
    uint64_t thumbOffset = 0, thumbLength = 0;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = &entries[i * 12];
      const uint32_t tag = u16(e);
      const uint16_t type = static_cast<uint16_t>(u16(e + 2));
      const uint64_t bytes = uint64_t{u32(e + 4)} * tiffTypeSize(type);
      if (bytes > 4) reach(u32(e + 8), bytes);
      switch (tag) {
        case 271: {  // Make
          char text[16] = {};
          const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, sizeof text - 1));
          if (bytes <= 4) std::memcpy(text, e + 8, n);
          else s.read(u32(e + 8), text, n);
          make.assign(text, strnlen(text, n));
          break;
        }
        case 273: stripOffsets = values(e); break;
        case 279: stripCounts = values(e); break;
        case 324: tileOffsets = values(e); break;
        case 325: tileCounts = values(e); break;
        case 513: thumbOffset = u32(e + 8); break;
        case 514: thumbLength = u32(e + 8); break;
        case 50706: dng = true; break;
        case 330:    // SubIFDs
        case 34665:  // Exif
        case 34853:  // GPS
        case 40965:  // interoperability
          for (uint64_t v : values(e)) pending.push_back(v);
          break;
        default: break;
      }
    }
    for (size_t i = 0; i < std::min(stripOffsets.size(), stripCounts.size()); ++i)
      reach(stripOffsets[i], stripCounts[i]);
    for (size_t i = 0; i < std::min(tileOffsets.size(), tileCounts.size()); ++i) reach(tileOffsets[i], tileCounts[i]);
    if (thumbOffset != 0) reach(thumbOffset, thumbLength);
    const uint64_t next = u32(&entries[count * 12]);
    if (next != 0) pending.push_back(next);
  }
};

std::string rawExtension(std::string_view make) {
  struct Maker {
    std::string_view prefix, extension;
  };
  static constexpr Maker kMakers[] = {{"NIKON", ".nef"},   {"SONY", ".arw"},      {"PENTAX", ".pef"},
                                      {"RICOH", ".pef"},   {"OLYMPUS", ".orf"},   {"OM Digital", ".orf"},
                                      {"Panasonic", ".rw2"}, {"LEICA", ".rw2"},   {"Canon", ".cr2"},
                                      {"FUJIFILM", ".raf"}};
  for (const Maker& m : kMakers)
    if (make.substr(0, m.prefix.size()) == m.prefix) return std::string(m.extension);
  return ".tif";
}

}  // namespace

std::optional<StructureCarve> carveTiff(CarveSource& s) {
  uint8_t h[12];
  if (!s.read(0, h, 12)) return std::nullopt;
  TiffWalk walk(s, h[0] == 'I');
  const uint32_t magic = walk.u16(h + 2);
  const bool olympus = magic == 0x4F52 || magic == 0x5352;
  const bool panasonic = magic == 0x55;
  if (magic != 42 && !olympus && !panasonic) return std::nullopt;
  walk.pending.push_back(walk.u32(h + 4));
  // A directory met twice (a loop) is walked once.
  for (uint32_t n = 0; !walk.pending.empty() && n < kMaxDirectories; ++n) {
    const uint64_t at = walk.pending.back();
    walk.pending.pop_back();
    if (at < 8) continue;
    if (!walk.seen.insert(at).second) {
      walk.looped = true;
      continue;
    }
    walk.directory(at);
  }
  if (walk.seen.empty() || walk.end <= 8) return std::nullopt;
  StructureCarve carve{walk.end, !walk.brokenOff && !walk.looped && walk.pending.empty(), {}};
  if (walk.dng) carve.extension = ".dng";
  else if (std::memcmp(h + 8, "CR", 2) == 0) carve.extension = ".cr2";
  else if (olympus) carve.extension = ".orf";
  else if (panasonic) carve.extension = ".rw2";
  else carve.extension = rawExtension(walk.make);
  return carve;
}

}  // namespace dudorazu
