// Telling what an image file holds, and the one place that picks the
// backend for it.
#include "platform/image_file.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

#include "platform/images/image_backends.h"

namespace dudorazu::platform {
namespace {

thread_local std::string openProblem;

bool startsWith(const uint8_t* bytes, size_t length, const char* signature, size_t signatureLength) {
  return length >= signatureLength && std::memcmp(bytes, signature, signatureLength) == 0;
}

// The digits a split raw image's first piece ends in (".001"), or 0.
size_t pieceNumberWidth(const std::string& name) {
  size_t digits = 0;
  while (digits < name.size() && name[name.size() - 1 - digits] >= '0' && name[name.size() - 1 - digits] <= '9')
    ++digits;
  if (digits < 3 || digits == name.size() || name[name.size() - 1 - digits] != '.') return 0;
  for (size_t i = name.size() - digits; i + 1 < name.size(); ++i)
    if (name[i] != '0') return 0;
  return name.back() == '1' ? digits : 0;
}

std::unique_ptr<SectorDevice> openContainer([[maybe_unused]] const std::string& path, ImageFormat format) {
  switch (format) {
#ifdef DUDORAZU_WITH_LIBEWF
    case ImageFormat::Ewf: return images::openEwfImage(path);
#endif
#ifdef DUDORAZU_WITH_LIBVHDI
    case ImageFormat::Vhd:
    case ImageFormat::Vhdx: return images::openVhdImage(path, format);
#endif
#ifdef DUDORAZU_WITH_LIBVMDK
    case ImageFormat::Vmdk: return images::openVmdkImage(path);
#endif
#ifdef DUDORAZU_WITH_LIBQCOW
    case ImageFormat::Qcow: return images::openQcowImage(path);
#endif
    default:
      setOpenProblem(std::string(imageFormatName(format)) + " images are not supported in this build");
      return nullptr;
  }
}

}  // namespace

const char* imageFormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::Raw: return "raw";
    case ImageFormat::SplitRaw: return "split raw";
    case ImageFormat::Ewf: return "EWF";
    case ImageFormat::Vhd: return "VHD";
    case ImageFormat::Vhdx: return "VHDX";
    case ImageFormat::Vmdk: return "VMDK";
    case ImageFormat::Qcow: return "QCOW";
  }
  return "unknown";
}

ImageFormat recogniseImageFormat(const uint8_t* head, size_t headLength, const uint8_t* tail, size_t tailLength) {
  struct Signature {
    const char* bytes;
    size_t length;
    ImageFormat format;
  };
  static const Signature heads[] = {
      {"EVF\x09\x0D\x0A\xFF\x00", 8, ImageFormat::Ewf},
      {"EVF2\x0D\x0A\x81\x00", 8, ImageFormat::Ewf},
      {"vhdxfile", 8, ImageFormat::Vhdx},
      {"conectix", 8, ImageFormat::Vhd},  // a dynamic VHD's copy of its footer
      {"KDMV", 4, ImageFormat::Vmdk},       // a sparse extent
      {"COWD", 4, ImageFormat::Vmdk},       // a sparse extent of the older hosts
      {"# Disk DescriptorFile", 21, ImageFormat::Vmdk},
      {"QFI\xFB", 4, ImageFormat::Qcow},
  };
  for (const Signature& s : heads)
    if (startsWith(head, headLength, s.bytes, s.length)) return s.format;
  // A fixed VHD is the disk followed by a 512-byte footer (511 bytes in the
  // oldest ones).
  if (tailLength == 512 && (startsWith(tail, 512, "conectix", 8) || startsWith(tail + 1, 511, "conectix", 8)))
    return ImageFormat::Vhd;
  return ImageFormat::Raw;
}

std::vector<std::string> splitRawPieces(const std::string& first, const std::function<bool(const std::string&)>& exists) {
  std::vector<std::string> pieces{first};
  const size_t width = pieceNumberWidth(first);
  if (width == 0) return pieces;
  const std::string stem = first.substr(0, first.size() - width);
  uint64_t limit = 1;
  for (size_t i = 0; i < width && limit < 1000000000; ++i) limit *= 10;
  for (uint64_t number = 2; number < limit; ++number) {
    std::string digits = std::to_string(number);
    std::string name = stem + std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
    if (!exists(name)) break;
    pieces.push_back(std::move(name));
  }
  return pieces;
}

std::unique_ptr<SectorDevice> openImageFile(const std::string& path, std::unique_ptr<SectorDevice> raw, OpenMode mode,
                                            const RawFileOpener& openRaw) {
  setOpenProblem({});
  if (!raw || mode == OpenMode::CreateWrite) return raw;
  uint8_t head[512], tail[512];
  raw->readZeroFilled(0, head, sizeof head);
  const uint64_t bytes = raw->size();
  const size_t tailLength = bytes >= sizeof tail ? sizeof tail : 0;
  if (tailLength != 0) raw->readZeroFilled(bytes - sizeof tail, tail, sizeof tail);
  const ImageFormat format = recogniseImageFormat(head, sizeof head, tail, tailLength);
  if (format != ImageFormat::Raw) {
    if (mode != OpenMode::Read) {
      setOpenProblem(std::string(imageFormatName(format)) + " images are opened for reading only");
      return nullptr;
    }
    raw.reset();
    auto device = openContainer(path, format);
    // A container whose header reads but whose data does not is broken, not
    // an empty disk.
    uint8_t first[512];
    if (device && device->readZeroFilled(0, first, sizeof first) != std::min<uint64_t>(sizeof first, device->size())) {
      setOpenProblem(std::string("not a readable ") + imageFormatName(format) + " image: its first sector cannot be read");
      return nullptr;
    }
    return device;
  }
  if (mode != OpenMode::Read) {
    // Written in place, the first piece alone would change, and a write past
    // its end would grow it over where the next piece's bytes belong.
    auto exists = [&openRaw](const std::string& name) { return openRaw(name) != nullptr; };
    if (splitRawPieces(path, exists).size() == 1) return raw;
    setOpenProblem("split raw images are opened for reading only");
    return nullptr;
  }
  // A piece that is there but cannot be read must not quietly end the disk.
  std::vector<std::unique_ptr<SectorDevice>> pieces;
  pieces.push_back(std::move(raw));
  std::string unreadable;
  splitRawPieces(path, [&](const std::string& name) {
    errno = 0;
    auto piece = openRaw(name);
    if (!piece) {
      if (errno != ENOENT) unreadable = name;
      return false;
    }
    pieces.push_back(std::move(piece));
    return true;
  });
  if (!unreadable.empty()) {
    setOpenProblem("piece " + unreadable + " of the split image cannot be opened");
    return nullptr;
  }
  if (pieces.size() == 1) return std::move(pieces.front());
  return images::openSplitRaw(std::move(pieces));
}

std::string lastOpenProblem() { return openProblem; }
void setOpenProblem(std::string problem) { openProblem = std::move(problem); }

}  // namespace dudorazu::platform
