// Questions the backend asks of drives and volumes through DeviceIoControl.
#include "platform/windows/windows_handle.h"

#include <cstddef>

namespace dudorazu::platform {

UniqueHandle openForQuery(const std::wstring& devicePath) {
  return UniqueHandle(CreateFileW(devicePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  0, nullptr));
}

bool driveGeometry(HANDLE drive, DISK_GEOMETRY_EX& geometry) {
  DWORD returned = 0;
  return DeviceIoControl(drive, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, sizeof geometry, &returned,
                         nullptr) &&
         returned >= offsetof(DISK_GEOMETRY_EX, Data);
}

std::vector<VolumeExtent> volumeDiskExtents(HANDLE volume) {
  // Room for a volume spanning many disks; asked again when it is larger.
  std::vector<unsigned char> buffer(sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT));
  DWORD returned = 0;
  while (!DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(),
                          static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
    if (GetLastError() != ERROR_MORE_DATA || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 4);
  }
  const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
  const size_t room = (buffer.size() - offsetof(VOLUME_DISK_EXTENTS, Extents)) / sizeof(DISK_EXTENT);
  std::vector<VolumeExtent> out;
  for (DWORD i = 0; i < extents->NumberOfDiskExtents && i < room; ++i) {
    const DISK_EXTENT& e = extents->Extents[i];
    out.push_back({e.DiskNumber, static_cast<unsigned long long>(e.StartingOffset.QuadPart),
                   static_cast<unsigned long long>(e.ExtentLength.QuadPart)});
  }
  return out;
}

}  // namespace dudorazu::platform
