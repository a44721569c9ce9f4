#include "core/exfat/carve_signatures.h"

#include <array>
#include <bit>
#include <cstring>
#include <string_view>

namespace dudorazu {
namespace {

// One signature as two 64-bit words of value and mask over the first 16
// bytes, so a cluster is tested against all of them with a few ANDs and
// compares each, whatever the number of formats.
struct Signature {
  uint64_t value[2] = {0, 0};
  uint64_t mask[2] = {0, 0};
  CarveFormat format = CarveFormat::None;
};

constexpr Signature sig(CarveFormat format, size_t offset, std::string_view bytes,
                        size_t offset2 = 0, std::string_view bytes2 = {}) {
  Signature s;
  s.format = format;
  auto put = [&s](size_t at, std::string_view b) {
    for (size_t i = 0; i < b.size(); ++i) {
      const size_t k = at + i;
      const uint64_t shift = 8 * (k % 8);
      s.value[k / 8] |= uint64_t{static_cast<uint8_t>(b[i])} << shift;
      s.mask[k / 8] |= uint64_t{0xFF} << shift;
    }
  };
  put(offset, bytes);
  put(offset2, bytes2);
  return s;
}

using namespace std::string_view_literals;
constexpr std::array kSignatures = {
    sig(CarveFormat::Jpeg, 0, "\xFF\xD8\xFF"sv, 6, "JFIF"sv),
    sig(CarveFormat::Jpeg, 0, "\xFF\xD8\xFF"sv, 6, "Exif"sv),
    sig(CarveFormat::Ole2, 0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv),
    sig(CarveFormat::IsoMedia, 4, "ftyp"sv),
    sig(CarveFormat::Png, 0, "\x89PNG\r\n\x1A\n"sv),
    sig(CarveFormat::Zip, 0, "PK\x03\x04"sv),
    sig(CarveFormat::Pdf, 0, "%PDF-"sv),
    sig(CarveFormat::Tiff, 0, "II*\0"sv),
    sig(CarveFormat::Tiff, 0, "MM\0*"sv),
    sig(CarveFormat::Tiff, 0, "IIRO"sv),   // Olympus
    sig(CarveFormat::Tiff, 0, "IIRS"sv),   // Olympus
    sig(CarveFormat::Tiff, 0, "IIU\0"sv),  // Panasonic
    sig(CarveFormat::Gif, 0, "GIF87a"sv),
    sig(CarveFormat::Gif, 0, "GIF89a"sv),
    sig(CarveFormat::Riff, 0, "RIFF"sv),
    sig(CarveFormat::Bmp, 0, "BM"sv),
    sig(CarveFormat::Matroska, 0, "\x1A\x45\xDF\xA3"sv),
    sig(CarveFormat::Mp3, 0, "ID3"sv),
    // One sync byte is a weak sign: the carver wants eight packets in a row.
    sig(CarveFormat::MpegTs, 0, "\x47"sv),
    sig(CarveFormat::MpegTs, 4, "\x47"sv),
};

}  // namespace

CarveFormat matchCarveSignature(const uint8_t* c) {
  uint64_t w[2];
  std::memcpy(w, c, sizeof w);
  // The words are read as little-endian, as the table was built.
  if constexpr (std::endian::native == std::endian::big) {
    w[0] = __builtin_bswap64(w[0]);
    w[1] = __builtin_bswap64(w[1]);
  }
  for (const Signature& s : kSignatures)
    if (((w[0] & s.mask[0]) == s.value[0]) & ((w[1] & s.mask[1]) == s.value[1])) return s.format;
  return CarveFormat::None;
}

const char* carveFormatName(CarveFormat format) {
  switch (format) {
    case CarveFormat::None: return "";
    case CarveFormat::Jpeg: return "jpeg";
    case CarveFormat::Ole2: return "ole2";
    case CarveFormat::IsoMedia: return "iso-media";
    case CarveFormat::Png: return "png";
    case CarveFormat::Zip: return "zip";
    case CarveFormat::Pdf: return "pdf";
    case CarveFormat::Tiff: return "tiff";
    case CarveFormat::Gif: return "gif";
    case CarveFormat::Riff: return "riff";
    case CarveFormat::Bmp: return "bmp";
    case CarveFormat::Matroska: return "matroska";
    case CarveFormat::Mp3: return "mp3";
    case CarveFormat::MpegTs: return "mpeg-ts";
  }
  return "";
}

bool isWalkedByStructure(uint8_t format) {
  const auto f = static_cast<CarveFormat>(format);
  return f != CarveFormat::None && f != CarveFormat::Jpeg && f != CarveFormat::Ole2;
}

const char* carveEndName(uint8_t carve, uint8_t format) {
  switch (carve) {
    case kNotCarved: return "";
    case kCarvedLengthEstimated: return "estimated";
    case kCarvedIncomplete: return "cut-short";
    case kCarvedEndGuessed: return "end-guessed";
    case kCarvedToStructureEnd: return "structure";
    case kCarvedThroughFreeClusters: return isWalkedByStructure(format) ? "structure" : "end-marker";
    default: return "end-marker";
  }
}

std::string carvedFormatText(const ExfatFileRecord& r) {
  if (r.carve == kNotCarved) return {};
  const auto format = static_cast<CarveFormat>(r.carveFormat);
  // An Office document's name starts with its title, which may hold dots.
  if (format == CarveFormat::Ole2) {
    for (const char* ext : {".doc", ".xls", ".ppt"})
      if (r.name.size() > 4 && r.name.compare(r.name.size() - 4, 4, ext) == 0) return ext + 1;
    return carveFormatName(format);
  }
  const size_t dot = r.name.rfind('.');
  return dot != std::string::npos && dot + 1 < r.name.size() ? r.name.substr(dot + 1) : carveFormatName(format);
}

}  // namespace dudorazu
