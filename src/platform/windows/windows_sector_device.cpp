// Windows backend of the sector device: ReadFile/WriteFile at explicit
// 64-bit offsets on a handle from CreateFileW. A drive takes only whole,
// aligned sectors, so its reads and writes go through an aligned buffer
// covering the sectors around the asked range.
#include <windows.h>
#include <winioctl.h>

#include <malloc.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/devices.h"
#include "platform/image_file.h"
#include "platform/files.h"
#include "platform/windows/windows_handle.h"
#include "platform/windows/windows_paths.h"
#include "platform/windows/windows_sector_device.h"

namespace dudorazu::platform {
namespace {

constexpr size_t kMaxTransfer = 1u << 20;  // bytes per ReadFile/WriteFile call

// ReadFile or WriteFile calls from `offset`, looping over short transfers.
template <typename Call>
size_t transfer(uint64_t offset, size_t length, Call call) {
  size_t done = 0;
  while (done < length) {
    OVERLAPPED at = overlappedAt(offset + done);
    DWORD want = static_cast<DWORD>(std::min(length - done, kMaxTransfer));
    DWORD moved = 0;
    if (!call(done, want, &moved, &at) || moved == 0) break;
    done += moved;
  }
  return done;
}

struct AlignedBuffer {
  explicit AlignedBuffer(size_t size, size_t alignment) : data(static_cast<char*>(_aligned_malloc(size, alignment))) {}
  ~AlignedBuffer() { _aligned_free(data); }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;
  char* data;
};

class HandleSectorDevice : public SectorDevice {
 public:
  HandleSectorDevice(HANDLE h, uint32_t sectorSize, uint64_t driveSize)
      : handle_(h), sectorSize_(sectorSize), driveSize_(driveSize) {}

  size_t readAt(uint64_t offset, void* buffer, size_t length) override {
    auto* out = static_cast<char*>(buffer);
    if (sectorSize_ == 0) return readRaw(offset, out, length);
    if (offset >= driveSize_) return 0;
    length = static_cast<size_t>(std::min<uint64_t>(length, driveSize_ - offset));
    size_t done = 0;
    while (done < length && bounce()) {
      Window w = windowAt(offset + done, length - done);
      size_t got = readRaw(w.first, bounce_->data, w.span);
      if (got <= w.skip) break;
      size_t take = std::min(got - w.skip, length - done);
      std::memcpy(out + done, bounce_->data + w.skip, take);
      done += take;
      if (got < w.span) break;
    }
    return done;
  }

  size_t writeAt(uint64_t offset, const void* buffer, size_t length) override {
    const auto* in = static_cast<const char*>(buffer);
    if (sectorSize_ == 0 || (offset % sectorSize_ == 0 && length % sectorSize_ == 0 &&
                             reinterpret_cast<uintptr_t>(buffer) % sectorSize_ == 0))
      return writeRaw(offset, in, length);
    // Partial sectors: read, change and write back the sectors around.
    size_t done = 0;
    while (done < length && bounce()) {
      Window w = windowAt(offset + done, length - done);
      size_t take = std::min(w.span - w.skip, length - done);
      if (readRaw(w.first, bounce_->data, w.span) != w.span) break;
      std::memcpy(bounce_->data + w.skip, in + done, take);
      if (writeRaw(w.first, bounce_->data, w.span) != w.span) break;
      done += take;
    }
    return done;
  }

  uint64_t size() const override {
    if (sectorSize_ != 0) return driveSize_;
    LARGE_INTEGER bytes{};
    return GetFileSizeEx(handle_.get(), &bytes) ? static_cast<uint64_t>(bytes.QuadPart) : 0;
  }

  uint32_t logicalSectorSize() const override { return sectorSize_; }

  bool flush() override { return FlushFileBuffers(handle_.get()) != 0; }

 private:
  // The whole sectors around `remaining` bytes from `pos`, at most one
  // bounce buffer and never past the drive's end; `skip` bytes lie before `pos`.
  struct Window {
    uint64_t first;
    size_t skip;
    size_t span;
  };
  Window windowAt(uint64_t pos, size_t remaining) const {
    Window w;
    w.first = pos - pos % sectorSize_;
    w.skip = static_cast<size_t>(pos - w.first);
    w.span = std::min(kMaxTransfer, roundUp(w.skip + remaining));
    if (w.first < driveSize_) w.span = std::min(w.span, roundUp(driveSize_ - w.first));
    return w;
  }

  bool bounce() {
    if (!bounce_) bounce_ = std::make_unique<AlignedBuffer>(kMaxTransfer, std::max<size_t>(sectorSize_, 4096));
    return bounce_->data != nullptr;
  }

  size_t roundUp(uint64_t n) const {
    return static_cast<size_t>(std::min<uint64_t>((n + sectorSize_ - 1) / sectorSize_ * sectorSize_, SIZE_MAX));
  }

  size_t readRaw(uint64_t offset, char* out, size_t length) {
    return transfer(offset, length, [&](size_t done, DWORD want, DWORD* moved, OVERLAPPED* at) {
      return ReadFile(handle_.get(), out + done, want, moved, at);
    });
  }

  size_t writeRaw(uint64_t offset, const char* in, size_t length) {
    return transfer(offset, length, [&](size_t done, DWORD want, DWORD* moved, OVERLAPPED* at) {
      return WriteFile(handle_.get(), in + done, want, moved, at);
    });
  }

  UniqueHandle handle_;
  std::unique_ptr<AlignedBuffer> bounce_;
  uint32_t sectorSize_;  // 0 for a file, which takes any offset and length
  uint64_t driveSize_;
};

}  // namespace

std::unique_ptr<SectorDevice> openFileAsDrive(const std::string& path, uint32_t sectorSize) {
  UniqueHandle h(CreateFileW(win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!h.valid() || !GetFileSizeEx(h.get(), &size)) return nullptr;
  return std::make_unique<HandleSectorDevice>(h.release(), sectorSize, static_cast<uint64_t>(size.QuadPart));
}

std::unique_ptr<SectorDevice> openSectorDevice(const std::string& path, OpenMode mode) {
  setOpenProblem({});
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  if (mode != OpenMode::Read) access |= GENERIC_WRITE;
  if (mode == OpenMode::CreateWrite) disposition = CREATE_ALWAYS;
  const PathKind kind = pathKind(path);
  if (kind == PathKind::Folder) {
    errno = 0;  // a folder is no disk
    return nullptr;
  }
  const bool drive = kind == PathKind::BlockDevice;
  UniqueHandle h(CreateFileW(win32Path(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) {
    errno = errnoFromWin32(GetLastError());
    return nullptr;
  }
  if (drive) {
    DISK_GEOMETRY_EX geometry{};
    if (!driveGeometry(h.get(), geometry) || geometry.Geometry.BytesPerSector == 0) {
      errno = errnoFromWin32(GetLastError());
      return nullptr;
    }
    return std::make_unique<HandleSectorDevice>(h.release(), geometry.Geometry.BytesPerSector,
                                                static_cast<uint64_t>(geometry.DiskSize.QuadPart));
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      GetFileType(h.get()) != FILE_TYPE_DISK) {
    errno = 0;  // a folder, a pipe or a console is no disk
    return nullptr;
  }
  // An image file may hold a disk in a container, or be one piece of it.
  return openImageFile(path, std::make_unique<HandleSectorDevice>(h.release(), 0, 0), mode,
                       [](const std::string& piece) { return openSectorDevice(piece, OpenMode::Read); });
}

}  // namespace dudorazu::platform
