// Expert witness evidence files through libewf. A chunk whose checksum
// fails is not the evidence's own data: it reads as a failed read, so a file
// that lies in it is reported damaged instead of saved whole.
#include <libewf.h>

#include <iterator>
#include <map>

#include "platform/images/image_backends.h"

namespace dudorazu::platform::images {
namespace {

std::string errorText(libewf_error_t*& error) { return takeError(error, libewf_error_sprint, libewf_error_free); }

class EwfImage : public LibraryImage {
 public:
  EwfImage(libewf_handle_t* handle, uint64_t bytes, size_t chunk, uint32_t sector)
      : LibraryImage(bytes), handle_(handle), chunk_(chunk), sector_(sector) {}
  ~EwfImage() override {
    libewf_handle_close(handle_, nullptr);
    libewf_handle_free(&handle_, nullptr);
  }

 protected:
  long long readPiece(uint64_t offset, uint8_t* buffer, size_t length) override {
    const ssize_t n = libewf_handle_read_random(handle_, buffer, length, static_cast<off64_t>(offset), nullptr);
    // The library counts a bad chunk once, on its first read, and serves it
    // again from its cache: every read is checked against all found so far.
    if (!learnChecksumErrors() || touchesChecksumError(offset, length)) return -1;
    return n;
  }
  size_t pieceBytes() const override { return chunk_; }

 private:
  // Adds the errors found since the last call to bad_, merged, so a look-up
  // stays one search however many chunks are bad.
  bool learnChecksumErrors() {
    uint32_t count = 0;
    if (libewf_handle_get_number_of_checksum_errors(handle_, &count, nullptr) != 1) return false;
    for (; known_ < count; ++known_) {
      uint64_t first = 0, sectors = 0;
      if (libewf_handle_get_checksum_error(handle_, known_, &first, &sectors, nullptr) != 1) return false;
      const uint64_t limit = kMaxImageBytes / sector_;
      first = std::min(first, limit);
      sectors = std::min(sectors, limit - first);
      uint64_t start = first * sector_, end = (first + sectors) * sector_;
      auto it = bad_.upper_bound(start);
      if (it != bad_.begin() && std::prev(it)->second >= start) --it;
      while (it != bad_.end() && it->first <= end) {
        start = std::min(start, it->first);
        end = std::max(end, it->second);
        it = bad_.erase(it);
      }
      bad_.emplace(start, end);
    }
    return true;
  }

  bool touchesChecksumError(uint64_t offset, size_t length) const {
    auto it = bad_.lower_bound(offset + length);
    return it != bad_.begin() && std::prev(it)->second > offset;
  }

  libewf_handle_t* handle_;
  size_t chunk_;
  uint32_t sector_;
  std::map<uint64_t, uint64_t> bad_;  // start -> end, bytes
  uint32_t known_ = 0;
};

}  // namespace

std::unique_ptr<SectorDevice> openEwfImage(const std::string& path) {
  libewf_error_t* error = nullptr;
  // The other segments are found from the first one's name; a file named
  // otherwise is read as a set of one.
  char** globbed = nullptr;
  int count = 0;
  std::vector<char*> names;
  if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &globbed, &count, &error) == 1 && count > 0) {
    names.assign(globbed, globbed + count);
  } else {
    libewf_error_free(&error);
    names.push_back(const_cast<char*>(path.c_str()));
  }
  libewf_handle_t* handle = nullptr;
  std::string why;
  if (libewf_handle_initialize(&handle, &error) != 1) {
    why = errorText(error);
  } else if (libewf_handle_open(handle, names.data(), static_cast<int>(names.size()), LIBEWF_OPEN_READ, &error) != 1) {
    why = errorText(error);
    libewf_handle_free(&handle, nullptr);
  }
  if (globbed != nullptr) libewf_glob_free(globbed, count, nullptr);
  if (!why.empty()) return refuse(ImageFormat::Ewf, why);

  size64_t bytes = 0;
  uint32_t chunk = 0, sector = 0;
  if (libewf_handle_get_media_size(handle, &bytes, &error) != 1) why = errorText(error);
  else if (libewf_handle_get_chunk_size(handle, &chunk, &error) != 1) why = errorText(error);
  else if (libewf_handle_get_bytes_per_sector(handle, &sector, &error) != 1) why = errorText(error);
  else if (sector == 0 || sector > chunk) why = "it claims sectors of " + std::to_string(sector) + " bytes";
  else if (!plausibleSize(bytes)) why = "it claims a disk of " + std::to_string(bytes) + " bytes";
  else if (chunk == 0 || chunk > kMaxLibraryRead) why = "it claims chunks of " + std::to_string(chunk) + " bytes";
  if (!why.empty()) {
    libewf_handle_close(handle, nullptr);
    libewf_handle_free(&handle, nullptr);
    return refuse(ImageFormat::Ewf, why);
  }
  return std::make_unique<EwfImage>(handle, bytes, chunk, sector);
}

}  // namespace dudorazu::platform::images
