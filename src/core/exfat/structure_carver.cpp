#include "core/exfat/structure_carver.h"

namespace dudorazu {

std::optional<StructureCarve> carveByStructure(CarveFormat format, CarveSource& source) {
  std::optional<StructureCarve> carve;
  switch (format) {
    case CarveFormat::IsoMedia: carve = carveIsoMedia(source); break;
    case CarveFormat::Riff: carve = carveRiff(source); break;
    case CarveFormat::Matroska: carve = carveMatroska(source); break;
    case CarveFormat::Mp3: carve = carveMp3(source); break;
    case CarveFormat::MpegTs: carve = carveMpegTs(source); break;
    case CarveFormat::Png: carve = carvePng(source); break;
    case CarveFormat::Gif: carve = carveGif(source); break;
    case CarveFormat::Bmp: carve = carveBmp(source); break;
    case CarveFormat::Tiff: carve = carveTiff(source); break;
    case CarveFormat::Zip: carve = carveZip(source); break;
    case CarveFormat::Pdf: carve = carvePdf(source); break;
    default: return std::nullopt;
  }
  if (carve && carve->length == 0) return std::nullopt;
  if (carve && carve->extension.empty()) carve->extension = std::string(".") + carveFormatName(format);
  return carve;
}

}  // namespace dudorazu
