// Linux backend of the sector device: pread/pwrite on a file descriptor,
// the block-device size ioctl for drives.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace dudorazu::platform {
namespace {

class FdSectorDevice : public SectorDevice {
 public:
  explicit FdSectorDevice(int fd) : fd_(fd) {}
  ~FdSectorDevice() override { ::close(fd_); }

  size_t readAt(uint64_t offset, void* buffer, size_t length) override {
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < length) {
      ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

  size_t writeAt(uint64_t offset, const void* buffer, size_t length) override {
    size_t done = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (done < length) {
      ssize_t n = ::pwrite(fd_, in + done, length - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

  uint64_t size() const override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return 0;
    if (S_ISBLK(st.st_mode)) {
      uint64_t bytes = 0;
      if (::ioctl(fd_, BLKGETSIZE64, &bytes) == 0) return bytes;
      return 0;
    }
    return static_cast<uint64_t>(st.st_size);
  }

  bool flush() override { return ::fsync(fd_) == 0; }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<SectorDevice> openSectorDevice(const std::string& path, OpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Read: flags |= O_RDONLY; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::CreateWrite: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    ::close(fd);  // a folder or a character device is no disk
    return nullptr;
  }
  return std::make_unique<FdSectorDevice>(fd);
}

bool freeBytesAvailable(const std::string& path, uint64_t& freeBytes) {
  struct statvfs vfs {};
  if (::statvfs(path.c_str(), &vfs) != 0) return false;
  freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  return true;
}

}  // namespace dudorazu::platform
