#pragma once
// A Win32 handle closed when it goes out of scope, and the ioctls the
// backend asks of disks and volumes.
#include <windows.h>
#include <winioctl.h>

#include <string>
#include <vector>

namespace dudorazu::platform {

class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~UniqueHandle() {
    if (valid()) CloseHandle(h_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }

 private:
  HANDLE h_;
};

// Where a ReadFile or WriteFile on a synchronous handle starts.
inline OVERLAPPED overlappedAt(unsigned long long offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// Opens a drive or volume only to ask it questions (no read access needed).
UniqueHandle openForQuery(const std::wstring& devicePath);

// The drive's size and geometry; false when the drive does not answer.
bool driveGeometry(HANDLE drive, DISK_GEOMETRY_EX& geometry);

// The disks and byte offsets a volume ("\\.\E:") lies on.
struct VolumeExtent {
  unsigned long diskNumber = 0;
  unsigned long long startingOffset = 0;
  unsigned long long length = 0;
};
std::vector<VolumeExtent> volumeDiskExtents(HANDLE volume);

}  // namespace dudorazu::platform
