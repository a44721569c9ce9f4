// Video and audio containers: ISO base media boxes, RIFF chunks, EBML
// elements and MPEG audio frames.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/common/byte_order.h"
#include "core/exfat/structure_carver.h"

namespace dudorazu {
namespace {

// No real file has this many top-level boxes, chunks or frames... except
// MPEG audio, whose frames are counted against the limit instead.
constexpr uint32_t kMaxTopLevel = 1u << 20;

StructureCarve cutShort(uint64_t length) { return {length, false, {}}; }

// A recording of many hours; the walk reads a byte per packet.
constexpr uint64_t kMaxTsBytes = 64ull << 30;

bool isTopLevelBox(std::string_view type) {
  static constexpr std::array<std::string_view, 18> kTypes = {
      "ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta", "moof",
      "mfra", "styp", "sidx", "pdin", "udta", "prft", "emsg", "ssix", "pnot"};
  return std::find(kTypes.begin(), kTypes.end(), type) != kTypes.end();
}

std::string isoExtension(std::string_view major, std::string_view compatible) {
  struct Brand {
    std::string_view brand, extension;
  };
  static constexpr Brand kBrands[] = {
      {"qt  ", ".mov"}, {"M4A ", ".m4a"}, {"M4B ", ".m4a"}, {"M4V ", ".m4v"},  {"crx ", ".cr3"},
      {"heic", ".heic"}, {"heix", ".heic"}, {"heim", ".heic"}, {"heis", ".heic"}, {"hevc", ".heic"},
      {"avif", ".avif"}, {"avis", ".avif"}, {"3g2a", ".3g2"}, {"3g2b", ".3g2"}, {"3g2c", ".3g2"}};
  for (const Brand& b : kBrands)
    if (major == b.brand) return std::string(b.extension);
  if (major.substr(0, 3) == "3gp") return ".3gp";
  // An image item container names its codec among the compatible brands.
  if (major == "mif1" || major == "msf1") {
    for (size_t i = 0; i + 4 <= compatible.size(); i += 4) {
      std::string_view c = compatible.substr(i, 4);
      if (c == "avif" || c == "avis") return ".avif";
      if (c == "heic" || c == "heix") return ".heic";
    }
    return ".heif";
  }
  return ".mp4";
}

}  // namespace

std::optional<StructureCarve> carveIsoMedia(CarveSource& s) {
  uint8_t head[32] = {};
  if (!s.read(0, head, 16)) return std::nullopt;
  const uint64_t ftypSize = be32(head, 0);
  if (ftypSize < 16 || ftypSize > 4096) return std::nullopt;
  std::string brands(static_cast<size_t>(ftypSize - 8), '\0');
  if (!s.read(8, brands.data(), brands.size())) return std::nullopt;
  StructureCarve carve;
  carve.extension = isoExtension(std::string_view(brands).substr(0, 4),
                                 brands.size() > 8 ? std::string_view(brands).substr(8) : std::string_view());
  bool sawIndex = false;  // moov, or meta for images
  uint64_t pos = 0;
  for (uint32_t boxes = 0; boxes < kMaxTopLevel; ++boxes) {
    if (pos == s.limit()) break;
    uint8_t h[16];
    if (!s.read(pos, h, 8)) break;
    const std::string_view type(reinterpret_cast<const char*>(h + 4), 4);
    if (!isTopLevelBox(type) || (type == "ftyp" && pos != 0)) break;
    uint64_t size = be32(h, 0);
    if (size == 1) {
      if (!s.read(pos + 8, h + 8, 8)) return cutShort(pos);
      size = (uint64_t{be32(h, 8)} << 32) | be32(h, 12);
      if (size < 16) break;
    } else if (size == 0) {
      // Runs to the end of a file whose end nothing records: a recording
      // that was never closed.
      carve.length = std::min(s.limit(), pos + kOpenEndedCarveBytes);
      carve.complete = false;
      return carve;
    } else if (size < 8) {
      break;
    }
    if (size > s.limit() - pos) {
      carve.length = pos;
      carve.complete = false;
      return carve;
    }
    if (type == "moov" || type == "meta" || type == "moof") sawIndex = true;
    pos += size;
  }
  carve.length = pos;
  carve.complete = sawIndex;
  return carve;
}

std::optional<StructureCarve> carveRiff(CarveSource& s) {
  uint8_t h[12];
  if (!s.read(0, h, 12)) return std::nullopt;
  const std::string_view form(reinterpret_cast<const char*>(h + 8), 4);
  std::string extension = form == "WEBP" ? ".webp" : form == "AVI " ? ".avi" : form == "WAVE" ? ".wav" : "";
  if (extension.empty()) return std::nullopt;
  StructureCarve carve{0, false, extension};
  auto cutShort = [&](uint64_t length) { return StructureCarve{length, false, extension}; };
  // The chunks inside must add up to the size the header gives; an AVI past
  // 1 GiB goes on in further RIFF 'AVIX' lists right after it.
  uint64_t riffStart = 0;
  for (uint32_t lists = 0; lists < kMaxTopLevel; ++lists) {
    const uint64_t riffEnd = riffStart + 8 + le32(h, 4);
    if (riffEnd > s.limit()) return cutShort(riffStart == 0 ? std::min<uint64_t>(s.limit(), 12) : riffStart);
    uint64_t pos = riffStart + 12;
    uint32_t chunks = 0;
    while (pos + 8 <= riffEnd && chunks++ < kMaxTopLevel) {
      uint8_t c[8];
      if (!s.read(pos, c, 8)) return cutShort(riffStart);
      for (int i = 0; i < 4; ++i)
        if (c[i] < 0x20 || c[i] > 0x7E) return cutShort(riffStart == 0 ? pos : riffStart);
      const uint64_t size = le32(c, 4);
      pos += 8 + size + (size & 1);
    }
    // A last chunk of odd size may go without its pad byte.
    if (pos != riffEnd && pos != riffEnd + 1) return cutShort(riffStart == 0 ? std::min(pos, riffEnd) : riffStart);
    carve.length = riffEnd;
    if (extension != ".avi" || !s.read(riffEnd, h, 12) || std::memcmp(h, "RIFF", 4) != 0 ||
        std::memcmp(h + 8, "AVIX", 4) != 0)
      break;
    riffStart = riffEnd;
  }
  carve.complete = true;
  return carve;
}

namespace {

// An EBML variable-length number at `pos`: its value (the length marker
// removed) and width; `allOnes` for the reserved "unknown size".
struct Vint {
  uint64_t value = 0;
  uint32_t width = 0;
  bool allOnes = false;
};

std::optional<Vint> readVint(CarveSource& s, uint64_t pos, bool keepMarker) {
  auto first = s.byte(pos);
  if (!first || *first == 0) return std::nullopt;
  Vint v;
  v.width = static_cast<uint32_t>(std::countl_zero(*first)) + 1;
  uint8_t bytes[8] = {};
  if (!s.read(pos, bytes, v.width)) return std::nullopt;
  v.value = keepMarker ? bytes[0] : bytes[0] & (0xFFu >> v.width);
  bool ones = (bytes[0] | (~(0xFFu >> v.width) & 0xFFu)) == 0xFF;
  for (uint32_t i = 1; i < v.width; ++i) {
    v.value = (v.value << 8) | bytes[i];
    ones = ones && bytes[i] == 0xFF;
  }
  v.allOnes = ones;
  return v;
}

}  // namespace

std::optional<StructureCarve> carveMatroska(CarveSource& s) {
  constexpr uint64_t kEbmlHeader = 0x1A45DFA3;
  constexpr uint64_t kSegment = 0x18538067;
  constexpr uint64_t kDocType = 0x4282;
  auto id = readVint(s, 0, true);
  auto size = id ? readVint(s, id->width, false) : std::nullopt;
  if (!id || id->value != kEbmlHeader || !size || size->allOnes || size->value > 4096) return std::nullopt;
  StructureCarve carve{0, false, ".mkv"};
  auto cutShort = [&](uint64_t length) { return StructureCarve{length, false, carve.extension}; };
  // The header names the document type.
  const uint64_t headerEnd = id->width + size->width + size->value;
  for (uint64_t pos = id->width + size->width; pos < headerEnd;) {
    auto childId = readVint(s, pos, true);
    auto childSize = childId ? readVint(s, pos + childId->width, false) : std::nullopt;
    if (!childSize || childSize->value > headerEnd) return std::nullopt;
    const uint64_t data = pos + childId->width + childSize->width;
    if (childId->value == kDocType && childSize->value == 4) {
      char type[4];
      if (s.read(data, type, 4) && std::memcmp(type, "webm", 4) == 0) carve.extension = ".webm";
    }
    pos = data + childSize->value;
  }
  // Then the segment, whose size covers the rest of the file.
  auto segId = readVint(s, headerEnd, true);
  auto segSize = segId ? readVint(s, headerEnd + segId->width, false) : std::nullopt;
  if (!segId || segId->value != kSegment || !segSize) return cutShort(std::min(headerEnd, s.limit()));
  const uint64_t segData = headerEnd + segId->width + segSize->width;
  if (segSize->allOnes) return cutShort(std::min(s.limit(), segData + kOpenEndedCarveBytes));
  if (segSize->value > s.limit() - std::min(segData, s.limit())) return cutShort(headerEnd);
  carve.length = segData + segSize->value;
  carve.complete = true;
  return carve;
}

namespace {

// The length of the MPEG audio frame whose header is `h`, 0 when it is none.
uint32_t mpegFrameLength(const uint8_t* h) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
  const uint32_t version = (h[1] >> 3) & 3;  // 0: 2.5, 2: 2, 3: 1
  const uint32_t layer = (h[1] >> 1) & 3;    // 1: III, 2: II, 3: I
  const uint32_t bitrateIndex = h[2] >> 4;
  const uint32_t rateIndex = (h[2] >> 2) & 3;
  if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return 0;
  static constexpr uint16_t kRates[3] = {44100, 48000, 32000};
  static constexpr uint16_t kBitrates[2][3][15] = {
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
  const bool mpeg1 = version == 3;
  const uint32_t rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
  const uint32_t kbps = kBitrates[mpeg1 ? 0 : 1][3 - layer][bitrateIndex];
  const uint32_t padding = (h[2] >> 1) & 1;
  if (layer == 3) return (12 * kbps * 1000 / rate + padding) * 4;
  const uint32_t perFrame = layer == 1 && !mpeg1 ? 72 : 144;
  return perFrame * kbps * 1000 / rate + padding;
}

}  // namespace

std::optional<StructureCarve> carveMp3(CarveSource& s) {
  uint8_t h[10];
  if (!s.read(0, h, 10) || h[3] < 2 || h[3] > 4) return std::nullopt;
  for (int i = 6; i < 10; ++i)
    if (h[i] & 0x80) return std::nullopt;
  const uint64_t tagSize = (uint64_t{h[6]} << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
  uint64_t pos = 10 + tagSize + ((h[5] & 0x10) ? 10 : 0);
  // Some writers pad the tag further with zeros.
  for (uint32_t n = 0; n < 65536; ++n) {
    auto b = s.byte(pos);
    if (!b || *b != 0) break;
    ++pos;
  }
  uint64_t frames = 0;
  // Hours of audio, no more: the walk reads a header per frame.
  constexpr uint64_t kMaxMp3Bytes = 2ull << 30;
  uint8_t first[4] = {};
  while (pos < kMaxMp3Bytes) {
    uint8_t f[4];
    if (!s.read(pos, f, 4)) break;
    const uint32_t length = mpegFrameLength(f);
    if (length < 4) break;
    // A stream keeps its version, layer and sample rate: bytes after its
    // end that pass for a frame header seldom keep them too.
    if (frames == 0) std::memcpy(first, f, 4);
    else if ((f[1] & 0xFE) != (first[1] & 0xFE) || (f[2] & 0x0C) != (first[2] & 0x0C)) break;
    if (length > s.limit() - pos) return cutShort(pos);
    pos += length;
    ++frames;
  }
  if (frames < 2) return std::nullopt;
  if (pos >= kMaxMp3Bytes) return cutShort(pos);
  uint8_t tag[3];
  if (s.read(pos, tag, 3) && std::memcmp(tag, "TAG", 3) == 0 && pos + 128 <= s.limit()) pos += 128;
  return StructureCarve{pos, true, ".mp3"};
}

std::optional<StructureCarve> carveMpegTs(CarveSource& s) {
  // Packets of 188 bytes, or 192 with a 4-byte time stamp in front (AVCHD).
  constexpr uint32_t kFirstPackets = 8;
  auto syncedFor = [&s](uint64_t size, uint64_t sync, uint32_t packets) {
    for (uint32_t k = 0; k < packets; ++k) {
      auto b = s.byte(k * size + sync);
      if (!b || *b != 0x47) return false;
    }
    return true;
  };
  uint64_t size = 188, sync = 0;
  if (!syncedFor(188, 0, kFirstPackets)) {
    size = 192, sync = 4;
    if (!syncedFor(192, 4, kFirstPackets)) return std::nullopt;
  }
  // The stream ends with the last packet whose sync byte is in place and
  // whose stream (PID) is one of those its first packets carry: foreign
  // bytes with a sync byte where the next packet would be end it there.
  constexpr uint64_t kLearningPackets = 256;
  std::vector<bool> knownPid(8192, false);
  uint64_t pos = 0;
  for (uint64_t packet = 0; pos <= s.limit() - std::min(s.limit(), size) && pos < kMaxTsBytes; ++packet) {
    uint8_t h[3];
    if (!s.read(pos + sync, h, 3) || h[0] != 0x47) break;
    const uint32_t pid = ((h[1] & 0x1Fu) << 8) | h[2];
    // Tables (PIDs below 32) and the null packets that pad a stream (8191)
    // may come at any time.
    if (packet < kLearningPackets) knownPid[pid] = true;
    else if (!knownPid[pid] && pid >= 32 && pid != 8191) break;
    pos += size;
  }
  if (pos >= kMaxTsBytes) return StructureCarve{pos, false, sync == 0 ? ".ts" : ".mts"};
  return StructureCarve{pos, true, sync == 0 ? ".ts" : ".mts"};
}

}  // namespace dudorazu
