// VMDK virtual disks through libvmdk: a descriptor and its extent files,
// or a sparse extent that carries its own descriptor.
#include <libvmdk.h>

#include "platform/images/image_backends.h"

namespace dudorazu::platform::images {
namespace {

std::string errorText(libvmdk_error_t*& error) { return takeError(error, libvmdk_error_sprint, libvmdk_error_free); }

class VmdkImage : public LibraryImage {
 public:
  VmdkImage(libvmdk_handle_t* handle, uint64_t bytes) : LibraryImage(bytes), handle_(handle) {}
  ~VmdkImage() override {
    libvmdk_handle_close(handle_, nullptr);
    libvmdk_handle_free(&handle_, nullptr);
  }

 protected:
  long long readPiece(uint64_t offset, uint8_t* buffer, size_t length) override {
    return libvmdk_handle_read_buffer_at_offset(handle_, buffer, length, static_cast<off64_t>(offset), nullptr);
  }

 private:
  libvmdk_handle_t* handle_;
};

}  // namespace

std::unique_ptr<SectorDevice> openVmdkImage(const std::string& path) {
  libvmdk_error_t* error = nullptr;
  libvmdk_handle_t* handle = nullptr;
  if (libvmdk_handle_initialize(&handle, &error) != 1) return refuse(ImageFormat::Vmdk, errorText(error));
  if (libvmdk_handle_open(handle, path.c_str(), LIBVMDK_OPEN_READ, &error) != 1) {
    libvmdk_handle_free(&handle, nullptr);
    return refuse(ImageFormat::Vmdk, errorText(error));
  }
  std::string why;
  size_t parentName = 0;
  size64_t bytes = 0;
  if (libvmdk_handle_get_utf8_parent_filename_size(handle, &parentName, nullptr) == 1 && parentName > 1)
    why = "a delta disk holds only changes to its parent disk";
  else if (libvmdk_handle_open_extent_data_files(handle, &error) != 1) why = errorText(error);
  else if (libvmdk_handle_get_media_size(handle, &bytes, &error) != 1) why = errorText(error);
  else if (!plausibleSize(bytes)) why = "it claims a disk of " + std::to_string(bytes) + " bytes";
  if (!why.empty()) {
    libvmdk_handle_close(handle, nullptr);
    libvmdk_handle_free(&handle, nullptr);
    return refuse(ImageFormat::Vmdk, why);
  }
  return std::make_unique<VmdkImage>(handle, bytes);
}

}  // namespace dudorazu::platform::images
