#pragma once
// The formats the lost-file scan carves, and the one table of signatures
// each cluster's first bytes are checked against.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/exfat/exfat_file_record.h"

namespace dudorazu {

enum class CarveFormat : uint8_t {
  None = 0,
  Jpeg,
  Ole2,
  IsoMedia,  // MP4, MOV, M4A, 3GP, HEIC, AVIF, CR3
  Png,
  Zip,       // ZIP, Office Open XML, OpenDocument, EPUB
  Pdf,
  Tiff,      // TIFF and the raw formats built on it
  Gif,
  Riff,      // WebP, AVI, WAV
  Bmp,
  Matroska,  // MKV, WebM
  Mp3,       // with an ID3v2 tag in front
  MpegTs,    // MPEG transport streams: 188-byte packets, or AVCHD's 192
};

// Bytes of a cluster that the table looks at.
inline constexpr size_t kSignatureBytes = 16;

// The format whose signature the cluster's first kSignatureBytes bytes carry;
// None when no signature matches. A match is a candidate only: each
// format's carver confirms it from the structure.
CarveFormat matchCarveSignature(const uint8_t* clusterStart);

// A short lower-case word for the format family ("jpeg", "iso-media", ...).
const char* carveFormatName(CarveFormat format);

// The format of a carved record as the listings name it: the extension its
// name carries ("mp4", "docx", "dng"), or its family's word when the name
// carries none of its own. Empty for records not carved.
std::string carvedFormatText(const ExfatFileRecord& record);

// Whether carves of the format are walked by their structure (all but
// JPEG and Office compound documents).
bool isWalkedByStructure(uint8_t format);

// How a carve's end was found, as the listings and reports name it:
// "end-marker", "structure", "estimated", "cut-short", "end-guessed"; empty
// for records not carved.
const char* carveEndName(uint8_t carve, uint8_t format);

}  // namespace dudorazu
