// VHD and VHDX virtual disks through libvhdi.
#include <libvhdi.h>

#include "platform/images/image_backends.h"

namespace dudorazu::platform::images {
namespace {

std::string errorText(libvhdi_error_t*& error) { return takeError(error, libvhdi_error_sprint, libvhdi_error_free); }

class VhdImage : public LibraryImage {
 public:
  VhdImage(libvhdi_file_t* file, uint64_t bytes) : LibraryImage(bytes), file_(file) {}
  ~VhdImage() override {
    libvhdi_file_close(file_, nullptr);
    libvhdi_file_free(&file_, nullptr);
  }

 protected:
  long long readPiece(uint64_t offset, uint8_t* buffer, size_t length) override {
    return libvhdi_file_read_buffer_at_offset(file_, buffer, length, static_cast<off64_t>(offset), nullptr);
  }

 private:
  libvhdi_file_t* file_;
};

}  // namespace

std::unique_ptr<SectorDevice> openVhdImage(const std::string& path, ImageFormat format) {
  libvhdi_error_t* error = nullptr;
  libvhdi_file_t* file = nullptr;
  if (libvhdi_file_initialize(&file, &error) != 1) return refuse(format, errorText(error));
  if (libvhdi_file_open(file, path.c_str(), LIBVHDI_OPEN_READ, &error) != 1) {
    libvhdi_file_free(&file, nullptr);
    return refuse(format, errorText(error));
  }
  std::string why;
  uint32_t type = 0;
  size64_t bytes = 0;
  if (libvhdi_file_get_disk_type(file, &type, &error) != 1) why = errorText(error);
  else if (type == LIBVHDI_DISK_TYPE_DIFFERENTIAL) why = "a differencing disk holds only changes to its parent disk";
  else if (libvhdi_file_get_media_size(file, &bytes, &error) != 1) why = errorText(error);
  else if (!plausibleSize(bytes)) why = "it claims a disk of " + std::to_string(bytes) + " bytes";
  if (!why.empty()) {
    libvhdi_file_close(file, nullptr);
    libvhdi_file_free(&file, nullptr);
    return refuse(format, why);
  }
  return std::make_unique<VhdImage>(file, bytes);
}

}  // namespace dudorazu::platform::images
