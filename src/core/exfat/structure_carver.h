#pragma once
// Carving by structure: a file whose format gives its own length (boxes,
// chunks, directories, an end record) is walked header by header from the
// cluster where its signature was found, payloads skipped by their sizes.
#include <cstdint>
#include <optional>
#include <string>

#include "core/exfat/carve_signatures.h"
#include "core/exfat/carve_source.h"

namespace dudorazu {

struct StructureCarve {
  uint64_t length = 0;
  // The structure was walked to its end. False: it broke off, claimed more
  // than the device holds, or gave no end; `length` is then as far as the
  // walk could follow it (never past the limit).
  bool complete = false;
  std::string extension;  // ".mp4", ".docx", ... as the file's own fields name it
};

// None when the bytes are not of `format` after all (the signature matched
// by chance). Every walk is bounded: by the source's limit, and by a count
// of headers, so no input makes it loop or read without end.
std::optional<StructureCarve> carveByStructure(CarveFormat format, CarveSource& source);

std::optional<StructureCarve> carveIsoMedia(CarveSource& source);
std::optional<StructureCarve> carveRiff(CarveSource& source);
std::optional<StructureCarve> carveMatroska(CarveSource& source);
std::optional<StructureCarve> carveMp3(CarveSource& source);
std::optional<StructureCarve> carveMpegTs(CarveSource& source);
std::optional<StructureCarve> carvePng(CarveSource& source);
std::optional<StructureCarve> carveGif(CarveSource& source);
std::optional<StructureCarve> carveBmp(CarveSource& source);
std::optional<StructureCarve> carveTiff(CarveSource& source);
std::optional<StructureCarve> carveZip(CarveSource& source);
std::optional<StructureCarve> carvePdf(CarveSource& source);

// Carves whose end the structure does not give are kept to at most this.
inline constexpr uint64_t kOpenEndedCarveBytes = 16u << 20;

}  // namespace dudorazu
