// Documents: ZIP archives (and the office and book formats built on them)
// by their end of central directory, PDF by its cross-reference trailers.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/common/byte_order.h"
#include "core/exfat/structure_carver.h"

namespace dudorazu {
namespace {

// How far a search for an end record goes from the file's start.
constexpr uint64_t kMaxZipBytes = 4ull << 30;
constexpr uint64_t kMaxPdfBytes = 1ull << 30;
constexpr uint64_t kMaxCentralDirectory = 64u << 20;

StructureCarve cutShort(uint64_t length) { return {length, false, {}}; }

// As far as the local headers can be followed from the start: where a carve
// whose end record is not found stops.
uint64_t localHeadersReach(CarveSource& s) {
  uint64_t pos = 0;
  for (uint32_t n = 0; n < (1u << 20); ++n) {
    uint8_t h[30];
    if (!s.read(pos, h, 30) || std::memcmp(h, "PK\x03\x04", 4) != 0) break;
    // Sizes after the data (flag bit 3) cannot be followed without decoding.
    if (le16(h, 6) & 8) return std::min(s.limit(), pos + 30);
    const uint64_t next = pos + 30 + le16(h, 26) + le16(h, 28) + le32(h, 18);
    if (next > s.limit()) return s.limit();
    pos = next;
  }
  return std::max<uint64_t>(pos, 30);
}

// The extension the archive's entries give it.
std::string zipExtension(CarveSource& s, uint64_t cdOffset, uint64_t cdSize) {
  uint8_t h[30];
  if (!s.read(0, h, 30)) return ".zip";
  const uint16_t nameLength = le16(h, 26);
  std::string first(std::min<size_t>(nameLength, 64), '\0');
  s.read(30, first.data(), first.size());
  if (first == "mimetype" && le16(h, 8) == 0) {
    std::string type(std::min<size_t>(le32(h, 18), 80), '\0');
    s.read(30 + nameLength + le16(h, 28), type.data(), type.size());
    if (type == "application/epub+zip") return ".epub";
    constexpr std::string_view kOdf = "application/vnd.oasis.opendocument.";
    if (type.compare(0, kOdf.size(), kOdf) == 0) {
      const std::string kind = type.substr(kOdf.size());
      if (kind == "text") return ".odt";
      if (kind == "spreadsheet") return ".ods";
      if (kind == "presentation") return ".odp";
      if (kind == "graphics") return ".odg";
    }
    return ".zip";
  }
  // Office Open XML: the main part's folder, whatever entry comes first.
  std::vector<uint8_t> cd(static_cast<size_t>(std::min(cdSize, kMaxCentralDirectory)));
  if (!s.read(cdOffset, cd.data(), cd.size())) return ".zip";
  for (size_t at = 0; at + 46 <= cd.size() && std::memcmp(&cd[at], "PK\x01\x02", 4) == 0;) {
    const size_t n = le16(cd.data(), at + 28);
    if (at + 46 + n > cd.size()) break;
    const std::string_view name(reinterpret_cast<const char*>(&cd[at + 46]), n);
    if (name == "word/document.xml") return ".docx";
    if (name == "xl/workbook.xml") return ".xlsx";
    if (name == "ppt/presentation.xml") return ".pptx";
    at += 46 + n + le16(cd.data(), at + 30) + le16(cd.data(), at + 32);
  }
  return ".zip";
}

}  // namespace

std::optional<StructureCarve> carveZip(CarveSource& s) {
  uint8_t h[30];
  if (!s.read(0, h, 30) || le16(h, 26) == 0) return std::nullopt;
  // The first end record whose central directory ends right before it and
  // begins with an entry for the local header at the start: an archive
  // stored inside this one has its own, whose offsets do not fit.
  for (uint64_t from = 30; from < std::min(s.limit(), kMaxZipBytes);) {
    auto at = s.find("PK\x05\x06", from, kMaxZipBytes);
    if (!at) break;
    from = *at + 1;
    uint8_t e[22];
    if (!s.read(*at, e, 22)) break;
    uint64_t cdSize = le32(e, 12), cdOffset = le32(e, 16), cdEnd = *at;
    if (cdOffset == 0xFFFFFFFFu || cdSize == 0xFFFFFFFFu || le16(e, 10) == 0xFFFF) {
      // ZIP64: a locator right before the record points at the larger one.
      uint8_t loc[20], z[56];
      if (*at < 20 || !s.read(*at - 20, loc, 20) || std::memcmp(loc, "PK\x06\x07", 4) != 0) continue;
      const uint64_t z64 = le64(loc, 8);
      if (z64 >= *at || !s.read(z64, z, 56) || std::memcmp(z, "PK\x06\x06", 4) != 0) continue;
      cdSize = le64(z, 40), cdOffset = le64(z, 48), cdEnd = z64;
    }
    if (cdOffset > cdEnd || cdEnd - cdOffset != cdSize || cdSize < 46) continue;
    uint8_t c[46];
    if (!s.read(cdOffset, c, 46) || std::memcmp(c, "PK\x01\x02", 4) != 0) continue;
    if (le32(c, 42) != 0) continue;
    const uint64_t end = *at + 22 + le16(e, 20);
    if (end > s.limit()) return cutShort(s.limit());
    return StructureCarve{end, true, zipExtension(s, cdOffset, cdSize)};
  }
  return cutShort(localHeadersReach(s));
}

namespace {

bool isSpace(uint8_t c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0; }

// Whether `p` begins a cross-reference table ("xref" and a line end) or an
// object ("12 0 obj"), as a revision of the file begins and as a trailer's
// startxref points at: digits or a word alone come by chance in foreign bytes.
bool revisionStartsAt(std::string_view p) {
  if (p.substr(0, 4) == "xref") return p.size() > 4 && (p[4] == '\r' || p[4] == '\n' || p[4] == ' ');
  size_t i = 0;
  for (int number = 0; number < 2; ++number) {
    const size_t digits = i;
    while (i < p.size() && p[i] >= '0' && p[i] <= '9') ++i;
    if (i == digits || i - digits > 10) return false;
    const size_t spaces = i;
    while (i < p.size() && (p[i] == ' ' || p[i] == '\r' || p[i] == '\n')) ++i;
    if (i == spaces) return false;
  }
  return p.substr(i, 3) == "obj";
}

bool revisionStartsAt(CarveSource& s, uint64_t at) {
  char x[40] = {};
  const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof x, s.limit() - std::min(at, s.limit())));
  return n != 0 && s.read(at, x, n) && revisionStartsAt(std::string_view(x, n));
}

// Whether the "%%EOF" at `at` closes a trailer whose startxref points back
// at a cross-reference table or stream inside the file.
bool trailerReachesXref(CarveSource& s, uint64_t at) {
  const uint64_t back = std::min<uint64_t>(at, 1024);
  std::string tail(static_cast<size_t>(back), '\0');
  if (!s.read(at - back, tail.data(), tail.size())) return false;
  const size_t key = tail.rfind("startxref");
  if (key == std::string::npos) return false;
  uint64_t xref = 0;
  size_t i = key + 9, digits = 0;
  while (i < tail.size() && isSpace(static_cast<uint8_t>(tail[i]))) ++i;
  for (; i < tail.size() && tail[i] >= '0' && tail[i] <= '9' && digits < 19; ++i, ++digits)
    xref = xref * 10 + static_cast<uint64_t>(tail[i] - '0');
  return digits != 0 && xref < at && revisionStartsAt(s, xref);
}

}  // namespace

std::optional<StructureCarve> carvePdf(CarveSource& s) {
  uint64_t end = 0;
  for (uint64_t from = 5; from < std::min(s.limit(), kMaxPdfBytes);) {
    auto at = s.find("%%EOF", from, kMaxPdfBytes);
    if (!at) break;
    from = *at + 5;
    if (!trailerReachesXref(s, *at)) continue;
    end = *at + 5;
    // The line end after the marker belongs to the file.
    uint8_t t[2] = {};
    const bool two = s.read(end, t, 2);
    if (t[0] == '\r' && two && t[1] == '\n') end += 2;
    else if (t[0] == '\n' || t[0] == '\r') end += 1;
    // An incremental update (or the rest of a linearized file) goes on
    // with an object or a table; anything else (slack, another file) ends
    // the file here.
    if (!revisionStartsAt(s, end)) break;
  }
  if (end == 0) return cutShort(std::min(s.limit(), kOpenEndedCarveBytes));
  return StructureCarve{end, true, ".pdf"};
}

}  // namespace dudorazu
