// Linux backend of the sector device: pread/pwrite on a file descriptor,
// the block-device size ioctl for drives, copy_file_range or sendfile for
// copies into files.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/devices.h"
#include "platform/drive_grants.h"
#include "platform/image_file.h"

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

  uint32_t logicalSectorSize() const override {
    struct stat st {};
    int bytes = 0;
    if (::fstat(fd_, &st) != 0 || !S_ISBLK(st.st_mode) || ::ioctl(fd_, BLKSSZGET, &bytes) != 0) return 0;
    return bytes > 0 ? static_cast<uint32_t>(bytes) : 0;
  }

  bool flush() override { return ::fsync(fd_) == 0; }

  uint64_t copyToFile(uint64_t offset, uint64_t length, OutputHandle& out, uint64_t outOffset) override {
    if (copyMethod_ == CopyMethod::None || !out.isOpen()) return 0;
    const int outFd = static_cast<int>(out.native());
    if (deviceSize_ == 0) deviceSize_ = size();
    // Past the end nothing is copied here: readAt tells the caller so.
    if (offset >= deviceSize_) return 0;
    const uint64_t end = offset + std::min(length, deviceSize_ - offset);
    uint64_t pos = offset;
    uint64_t copiedEnd = offset;  // where the last bytes written into the file end
    // A short stretch is copied whole: a hole in it would not be left as a
    // hole anyway, and a save of many small files asks one question less
    // for each.
    const bool askHoles = seekHoles_ && end - offset >= kHoleQuestionBytes;
    while (pos < end) {
      uint64_t stretchEnd = end;
      // Mostly the bytes are data and one question settles it; a file
      // system that cannot tell holes answers as if all were data.
      if (askHoles && seekHoles_) {
        off_t hole = ::lseek(fd_, static_cast<off_t>(pos), SEEK_HOLE);
        if (hole < 0) {
          seekHoles_ = false;
        } else if (static_cast<uint64_t>(hole) > pos) {
          stretchEnd = std::min<uint64_t>(static_cast<uint64_t>(hole), end);
        } else {
          off_t data = ::lseek(fd_, static_cast<off_t>(pos), SEEK_DATA);
          if (data < 0 && errno == ENXIO) {  // a hole up to the end of the file
            pos = end;
            break;
          }
          if (data < 0) {
            seekHoles_ = false;
          } else {
            pos = std::min<uint64_t>(static_cast<uint64_t>(data), end);
            continue;
          }
        }
      }
      uint64_t copied = copyStretch(pos, stretchEnd - pos, outFd, outOffset + (pos - offset));
      pos += copied;
      if (copied != 0) copiedEnd = pos;
      if (pos < stretchEnd) break;
    }
    // A hole passed over last leaves the file short of what was dealt with.
    if (pos > copiedEnd && !reachesAtLeast(outFd, outOffset + (pos - offset))) return copiedEnd - offset;
    return pos - offset;
  }

 private:
  enum class CopyMethod { CopyRange, SendFile, None };

  // copy_file_range wants regular files on one kind of file system; sendfile
  // takes a block device too and any target file. A device that refuses a
  // method once is not asked again.
  uint64_t copyStretch(uint64_t from, uint64_t length, int outFd, uint64_t to) {
    uint64_t done = 0;
    while (done < length) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(length - done, kMaxCopyCall));
      ssize_t n;
      if (copyMethod_ == CopyMethod::CopyRange) {
        loff_t in = static_cast<loff_t>(from + done);
        loff_t out = static_cast<loff_t>(to + done);
        n = ::copy_file_range(fd_, &in, outFd, &out, want, 0);
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == ENOSYS)) {
          copyMethod_ = CopyMethod::SendFile;
          continue;
        }
      } else if (copyMethod_ == CopyMethod::SendFile) {
        if (::lseek(outFd, static_cast<off_t>(to + done), SEEK_SET) < 0) break;
        off_t in = static_cast<off_t>(from + done);
        n = ::sendfile(outFd, fd_, &in, want);
        if (n < 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
          copyMethod_ = CopyMethod::None;
          break;
        }
      } else {
        break;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // a read or write error, or the end of the data
      done += static_cast<uint64_t>(n);
    }
    return done;
  }

  // The file at `fd` ends at `length` at least, made longer where it was not.
  static bool reachesAtLeast(int fd, uint64_t length) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    return static_cast<uint64_t>(st.st_size) >= length || ::ftruncate(fd, static_cast<off_t>(length)) == 0;
  }

  static constexpr uint64_t kMaxCopyCall = 1ull << 30;
  static constexpr uint64_t kHoleQuestionBytes = 64 * 1024;
  int fd_;
  uint64_t deviceSize_ = 0;
  bool seekHoles_ = true;
  CopyMethod copyMethod_ = CopyMethod::CopyRange;
};

// The file or block device itself; `regular` tells which.
std::unique_ptr<SectorDevice> openPlain(const std::string& path, OpenMode mode, bool& regular) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::Read: flags |= O_RDONLY; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::CreateWrite: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  // Opened without waiting, so a FIFO is refused below instead of blocking
  // here until someone writes to it; the flag is dropped before any read.
  int fd = ::open(path.c_str(), flags | O_NONBLOCK, 0644);
  if (fd < 0 && (errno == EACCES || errno == EPERM)) fd = duplicateGrantedDescriptor(path, mode);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);  // a folder, a FIFO or a character device is no disk
    errno = 0;
    return nullptr;
  }
  regular = S_ISREG(st.st_mode);
  return std::make_unique<FdSectorDevice>(fd);
}

}  // namespace

std::unique_ptr<SectorDevice> openSectorDevice(const std::string& path, OpenMode mode) {
  setOpenProblem({});
  bool regular = false;
  auto device = openPlain(path, mode, regular);
  if (!device || !regular) return device;
  // An image file may hold a disk in a container, or be one piece of it.
  return openImageFile(path, std::move(device), mode, [](const std::string& piece) -> std::unique_ptr<SectorDevice> {
    bool pieceRegular = false;
    auto d = openPlain(piece, OpenMode::Read, pieceRegular);
    if (d && !pieceRegular) {
      errno = 0;
      return nullptr;
    }
    return d;
  });
}

}  // namespace dudorazu::platform
