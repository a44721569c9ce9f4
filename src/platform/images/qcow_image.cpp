// QCOW virtual disks through libqcow.
#include <libqcow.h>

#include "platform/images/image_backends.h"

namespace dudorazu::platform::images {
namespace {

std::string errorText(libqcow_error_t*& error) { return takeError(error, libqcow_error_sprint, libqcow_error_free); }

class QcowImage : public LibraryImage {
 public:
  QcowImage(libqcow_file_t* file, uint64_t bytes) : LibraryImage(bytes), file_(file) {}
  ~QcowImage() override {
    libqcow_file_close(file_, nullptr);
    libqcow_file_free(&file_, nullptr);
  }

 protected:
  long long readPiece(uint64_t offset, uint8_t* buffer, size_t length) override {
    return libqcow_file_read_buffer_at_offset(file_, buffer, length, static_cast<off64_t>(offset), nullptr);
  }

 private:
  libqcow_file_t* file_;
};

}  // namespace

std::unique_ptr<SectorDevice> openQcowImage(const std::string& path) {
  libqcow_error_t* error = nullptr;
  libqcow_file_t* file = nullptr;
  if (libqcow_file_initialize(&file, &error) != 1) return refuse(ImageFormat::Qcow, errorText(error));
  if (libqcow_file_open(file, path.c_str(), LIBQCOW_OPEN_READ, &error) != 1) {
    libqcow_file_free(&file, nullptr);
    return refuse(ImageFormat::Qcow, errorText(error));
  }
  std::string why;
  uint32_t encryption = 0;
  size_t backingName = 0;
  size64_t bytes = 0;
  if (libqcow_file_get_encryption_method(file, &encryption, &error) != 1) why = errorText(error);
  else if (encryption != LIBQCOW_ENCRYPTION_METHOD_NONE) why = "it is encrypted";
  else if (libqcow_file_get_utf8_backing_filename_size(file, &backingName, nullptr) == 1 && backingName > 1)
    why = "an overlay holds only changes to its backing image";
  else if (libqcow_file_get_media_size(file, &bytes, &error) != 1) why = errorText(error);
  else if (!plausibleSize(bytes)) why = "it claims a disk of " + std::to_string(bytes) + " bytes";
  if (!why.empty()) {
    libqcow_file_close(file, nullptr);
    libqcow_file_free(&file, nullptr);
    return refuse(ImageFormat::Qcow, why);
  }
  return std::make_unique<QcowImage>(file, bytes);
}

}  // namespace dudorazu::platform::images
