#pragma once
// Image files that are more than a plain copy of a disk: evidence files,
// virtual-machine disks and raw images cut into numbered pieces. Each opens
// as a read-only SectorDevice of the disk it holds, so nothing above the
// device knows which kind a disk came from.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sector_device.h"

namespace dudorazu::platform {

enum class ImageFormat {
  Raw,       // the file is the disk, byte for byte
  SplitRaw,  // NAME.001, NAME.002, ... read one after another
  Ewf,       // expert witness evidence, NAME.E01 ... (NAME.Ex01 ... for its second version)
  Vhd,
  Vhdx,
  Vmdk,
  Qcow,
};

// A name for messages ("EWF", "VHDX", ...).
const char* imageFormatName(ImageFormat format);

// What the file holds, by its signatures: `head` is its first bytes (512 are
// enough) and `tail` its last 512 (a fixed-size VHD marks only its end).
// Never SplitRaw: pieces carry no signature of their own.
ImageFormat recogniseImageFormat(const uint8_t* head, size_t headLength, const uint8_t* tail, size_t tailLength);

// The pieces of a split raw image whose first piece is `first` (a name
// ending in ".001", any number of digits equal to 1): `first` and each
// following number for which `exists` holds, up to the first gap. Just
// `first` when its name numbers no piece.
std::vector<std::string> splitRawPieces(const std::string& first, const std::function<bool(const std::string&)>& exists);

// Opens a plain file as it is, without looking into it.
using RawFileOpener = std::function<std::unique_ptr<SectorDevice>(const std::string& path)>;

// The device for the regular file at `path`, already open as `raw`: `raw`
// itself when the file is a plain disk image, else the backend of what it
// holds, read-only. nullptr when that backend cannot open it, when this
// build has no backend for it, or when it was to be written; lastOpenProblem
// then says why.
std::unique_ptr<SectorDevice> openImageFile(const std::string& path, std::unique_ptr<SectorDevice> raw, OpenMode mode,
                                            const RawFileOpener& openRaw);

// Why the last open on this thread of a recognised image failed, in one
// line; empty when it did not fail so (a missing file, a folder).
std::string lastOpenProblem();
void setOpenProblem(std::string problem);

}  // namespace dudorazu::platform
