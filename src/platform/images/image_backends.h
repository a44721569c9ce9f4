#pragma once
// The backends behind openImageFile, one per library, and what they share.
// A backend is compiled only when its library was found (DUDORAZU_WITH_*).
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/image_file.h"

namespace dudorazu::platform::images {

// The largest disk an image may claim to hold. A header is read from a file
// anyone can make; past this its size is a lie, not a disk (64 PiB).
inline constexpr uint64_t kMaxImageBytes = 1ull << 56;
// The most one library call is asked to read.
inline constexpr size_t kMaxLibraryRead = 16u << 20;

std::unique_ptr<SectorDevice> openSplitRaw(std::vector<std::unique_ptr<SectorDevice>> pieces);
std::unique_ptr<SectorDevice> openEwfImage(const std::string& path);
std::unique_ptr<SectorDevice> openVhdImage(const std::string& path, ImageFormat format);  // Vhd or Vhdx
std::unique_ptr<SectorDevice> openVmdkImage(const std::string& path);
std::unique_ptr<SectorDevice> openQcowImage(const std::string& path);

// A read-only image read through a library, in pieces no longer than
// pieceBytes(), each fully inside the disk.
class LibraryImage : public SectorDevice {
 public:
  explicit LibraryImage(uint64_t bytes) : size_(bytes) {}

  size_t readAt(uint64_t offset, void* buffer, size_t length) override {
    if (offset >= size_) return 0;
    length = static_cast<size_t>(std::min<uint64_t>(length, size_ - offset));
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < length) {
      const uint64_t at = offset + done;
      const size_t piece = static_cast<size_t>(std::min<uint64_t>(length - done, pieceBytes() - at % pieceBytes()));
      const long long n = readPiece(at, out + done, piece);
      if (n <= 0) {
        // The library may have filled some of it before it gave up.
        std::memset(out + done, 0, piece);
        break;
      }
      done += static_cast<size_t>(std::min<long long>(n, static_cast<long long>(piece)));
      if (static_cast<size_t>(n) < piece) break;
    }
    return done;
  }
  size_t writeAt(uint64_t, const void*, size_t) override { return 0; }
  uint64_t size() const override { return size_; }

 protected:
  // Reads `length` bytes at `offset`; the count read, or -1 when the
  // library failed or cannot vouch for the bytes.
  virtual long long readPiece(uint64_t offset, uint8_t* buffer, size_t length) = 0;
  virtual size_t pieceBytes() const { return kMaxLibraryRead; }

 private:
  uint64_t size_;
};

// One line of a library's error: its first, with control bytes made
// visible, since it carries the file's name.
inline std::string oneLine(const char* text) {
  std::string line(text, strnlen(text, 512));
  line = line.substr(0, line.find('\n'));
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return line;
}

// Takes the text of a library's error object and frees it.
template <typename Error, typename Print, typename Free>
std::string takeError(Error*& error, Print print, Free free) {
  if (error == nullptr) return "unknown error";
  char text[512] = {};
  print(error, text, sizeof text);
  free(&error);
  error = nullptr;
  std::string line = oneLine(text);
  return line.empty() ? "unknown error" : line;
}

// The problem named when a library refuses a file, and nullptr.
inline std::unique_ptr<SectorDevice> refuse(ImageFormat format, const std::string& why) {
  setOpenProblem(std::string("not a readable ") + imageFormatName(format) + " image: " + why);
  return nullptr;
}

// A size a header claims, accepted only within reason.
inline bool plausibleSize(uint64_t bytes) { return bytes > 0 && bytes <= kMaxImageBytes; }

}  // namespace dudorazu::platform::images
